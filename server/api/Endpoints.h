#pragma once

#include "server/api/FormFields.h"
#include "server/api/Service.h"

#include <string>
#include <string_view>

// The endpoints under /api/, one function each, grouped by what they serve:
// accounts, support codes, sessions. Each reads its fields and answers one
// JSON object; Service finds them by name in its table.

namespace api {

struct EndpointContext {
    store::Store& store;
    mail::Mailer& mailer;
    const ServiceConfig& config;
    Throttle& throttle;
    store::Millis now;
    const std::string& clientAddress;
    const std::string& clientSource;  // what per-source counters key on: the address, or its IPv6 /64
    const FormFields& form;
};

struct EndpointReply {
    std::string json;
    std::string_view erro;  // "" when ok
    int status = 200;
};

EndpointReply Ok(std::string json);
EndpointReply Refuse(std::string_view erro, int status = 200);

using Endpoint = EndpointReply (*)(EndpointContext&);

EndpointReply Cadastro(EndpointContext& ctx);
EndpointReply Ativar(EndpointContext& ctx);
EndpointReply ValidarToken(EndpointContext& ctx);
EndpointReply GerarCodigo(EndpointContext& ctx);
EndpointReply SolicitarAcesso(EndpointContext& ctx);
EndpointReply ResponderAcesso(EndpointContext& ctx);
EndpointReply StatusCodigo(EndpointContext& ctx);
EndpointReply CredenciaisSessao(EndpointContext& ctx);
EndpointReply RegistrarConexao(EndpointContext& ctx);
EndpointReply EncerrarSessao(EndpointContext& ctx);

// Refusal reasons of the service. The first ones are those the program
// turns into sentences; the rest it shows with its default sentence.
namespace erro {
inline constexpr std::string_view CodigoIndisponivel = "codigo_indisponivel";
inline constexpr std::string_view CodigoInvalido = "codigo_invalido_ou_expirado";
inline constexpr std::string_view PropriaMaquina = "nao_pode_acessar_propria_maquina";
inline constexpr std::string_view SessaoIndisponivel = "sessao_indisponivel";
inline constexpr std::string_view SolicitacaoIndisponivel = "solicitacao_indisponivel";
inline constexpr std::string_view TokenInvalido = "token_invalido";
inline constexpr std::string_view AutenticacaoIncompleta = "autenticacao_incompleta";
inline constexpr std::string_view AcaoInvalida = "acao_invalida";
inline constexpr std::string_view DadosInvalidos = "dados_invalidos";
inline constexpr std::string_view MuitasTentativas = "muitas_tentativas";
inline constexpr std::string_view FalhaEnvioEmail = "falha_envio_email";
inline constexpr std::string_view EndpointDesconhecido = "endpoint_desconhecido";
inline constexpr std::string_view MetodoNaoPermitido = "metodo_nao_permitido";
inline constexpr std::string_view CorpoGrandeDemais = "corpo_grande_demais";
inline constexpr std::string_view PedidoInvalido = "pedido_invalido";
inline constexpr std::string_view FalhaInterna = "falha_interna";
}  // namespace erro

}  // namespace api
