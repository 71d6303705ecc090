#include "core/shell/MainControls.h"

namespace shell {

std::vector<Control*> MainControls::All()
{
    return {&frmMain, &mnuArquivo, &mnuMinhaConta, &mnuNovoCodigo, &mnuSair, &mnuQuorvantele,
            &mnuOutrosSoftwares, &mnuAjuda, &mnuManual, &mnuSobre, &fraConta, &lblNome, &txtNome,
            &lblEmail, &txtEmail, &lblCodigoAtivacao, &txtCodigoAtivacao, &lblDispositivo,
            &txtDispositivo, &lblToken, &txtToken, &cmdCadastrar, &cmdAtivar, &cmdValidar, &fraReceber,
            &lblCodigoReceber, &txtCodigoReceber, &cmdCopiarCodigo, &cmdGerarCodigo, &fraAcessar,
            &lblCodigoAcessar, &txtCodigoAcessar, &cmdSolicitar, &fraSessao, &lblStatus, &cmdPermitir,
            &cmdRecusar, &cmdEncerrar, &fraRemoto, &lblTelaAjuda, &lblTelaIp, &txtTelaIp, &lblTelaPorta,
            &txtTelaPorta, &cmdClienteTransmitirTela, &cmdTecnicoConectarTela, &cmdPararRemoto,
            &picRemote, &lblAjustesTela, &scrNitidez, &lblNitidez, &scrAtualizacao, &lblAtualizacao,
            &txtLog};
}

}  // namespace shell
