#pragma once

#include "core/shell/Control.h"

#include <vector>

namespace shell {

// Every control of the main window with its design-time caption. The widget
// builds itself from these (object names and captions come from here only).
struct MainControls {
    Control frmMain{"frmMain", "Marquelin"};

    // Menu.
    Control mnuArquivo{"mnuArquivo", "&Arquivo"};
    Control mnuMinhaConta{"mnuMinhaConta", "Cadastro - Ativacao"};
    Control mnuNovoCodigo{"mnuNovoCodigo", "Gerar novo codigo"};
    Control mnuSair{"mnuSair", "Sair"};
    Control mnuQuorvantele{"mnuQuorvantele", "&Quorvantele"};
    Control mnuOutrosSoftwares{"mnuOutrosSoftwares", "Conheca nossos Softwares"};
    Control mnuAjuda{"mnuAjuda", "&Ajuda"};
    Control mnuManual{"mnuManual", "Manual de ajuda"};
    Control mnuSobre{"mnuSobre", QString::fromUtf8("Sobre - Licença")};

    // Account.
    Control fraConta{"fraConta", "Conta"};
    Control lblNome{"lblNome", "Nome"};
    Control txtNome{"txtNome"};
    Control lblEmail{"lblEmail", "E-mail"};
    Control txtEmail{"txtEmail"};
    Control lblCodigoAtivacao{"lblCodigoAtivacao", "Codigo"};
    Control txtCodigoAtivacao{"txtCodigoAtivacao"};
    Control lblDispositivo{"lblDispositivo", "Dispositivo"};
    Control txtDispositivo{"txtDispositivo"};  // read-only
    Control lblToken{"lblToken", "Token"};
    Control txtToken{"txtToken"};
    Control cmdCadastrar{"cmdCadastrar", "Criar conta"};
    Control cmdAtivar{"cmdAtivar", "Ativar"};
    Control cmdValidar{"cmdValidar", "Validar token"};

    // Supported side.
    Control fraReceber{"fraReceber"};
    Control lblCodigoReceber{"lblCodigoReceber", "SEU CODIGO DE SUPORTE:"};
    Control txtCodigoReceber{"txtCodigoReceber"};
    Control cmdCopiarCodigo{"cmdCopiarCodigo", "Copiar codigo"};
    Control cmdGerarCodigo{"cmdGerarCodigo", QString::fromUtf8("Gerar novo código")};

    // Technician side.
    Control fraAcessar{"fraAcessar", "Acessar computador"};
    Control lblCodigoAcessar{"lblCodigoAcessar", "Codigo informado pelo cliente"};
    Control txtCodigoAcessar{"txtCodigoAcessar"};
    Control cmdSolicitar{"cmdSolicitar", "Solicitar acesso"};

    // Session.
    Control fraSessao{"fraSessao", QString::fromUtf8("Sessão")};
    Control lblStatus{"lblStatus", "Nenhuma sessao ativa."};
    Control cmdPermitir{"cmdPermitir", "Permitir acesso"};
    Control cmdRecusar{"cmdRecusar", "Recusar"};
    Control cmdEncerrar{"cmdEncerrar", "Desconectar agora"};

    // Remote screen.
    Control fraRemoto{"fraRemoto", "Tela remota - rede local"};
    Control lblTelaAjuda{"lblTelaAjuda", "A conexao da tela e automatica apos o cliente permitir."};
    Control lblTelaIp{"lblTelaIp", "Conexao"};
    Control txtTelaIp{"txtTelaIp"};
    Control lblTelaPorta{"lblTelaPorta", "Porta"};
    Control txtTelaPorta{"txtTelaPorta", "50555"};
    Control cmdClienteTransmitirTela{"cmdClienteTransmitirTela", "Transmitir minha tela"};
    Control cmdTecnicoConectarTela{"cmdTecnicoConectarTela", "Conectar a tela"};
    Control cmdPararRemoto{"cmdPararRemoto", "Parar tela"};
    Control picRemote{"picRemote"};

    // Quality panel.
    Control lblAjustesTela{"lblAjustesTela", "Ajustes da tela remota"};
    Control scrNitidez{"scrNitidez"};
    Control lblNitidez{"lblNitidez"};
    Control scrAtualizacao{"scrAtualizacao"};
    Control lblAtualizacao{"lblAtualizacao"};

    // Activity log (its text lives in the ActivityLog).
    Control txtLog{"txtLog"};

    std::vector<Control*> All();
};

}  // namespace shell
