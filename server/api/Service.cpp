#include "server/api/Service.h"

#include "server/api/Endpoints.h"
#include "server/api/JsonReply.h"
#include "server/api/Pages.h"
#include "server/ServerLog.h"
#include "server/net/SourceAddress.h"

#include <array>
#include <chrono>
#include <exception>

namespace api {
namespace {

constexpr std::string_view kApiPrefix = "/api/";

struct Route {
    std::string_view name;
    Endpoint endpoint;
};

constexpr std::array<Route, 10> kRoutes{{
    {"status_codigo.php", StatusCodigo},  // first: the hot path
    {"cadastro.php", Cadastro},
    {"ativar.php", Ativar},
    {"validar_token.php", ValidarToken},
    {"gerar_codigo.php", GerarCodigo},
    {"solicitar_acesso.php", SolicitarAcesso},
    {"responder_acesso.php", ResponderAcesso},
    {"credenciais_sessao.php", CredenciaisSessao},
    {"registrar_conexao.php", RegistrarConexao},
    {"encerrar_sessao.php", EncerrarSessao},
}};

HttpReply JsonRefusal(int status, std::string_view erro)
{
    HttpReply reply;
    reply.status = status;
    reply.body = JsonReply::Refusal(erro);
    reply.erro = erro;
    return reply;
}

}  // namespace

EndpointReply Ok(std::string json) { return EndpointReply{std::move(json), {}, 200}; }

EndpointReply Refuse(std::string_view erro, int status)
{
    return EndpointReply{JsonReply::Refusal(erro), erro, status};
}

store::Millis SystemMillis()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Service::Service(store::Store& store, mail::Mailer& mailer, ServiceConfig config, Clock clock)
    : store_(store), mailer_(mailer), config_(config), clock_(std::move(clock)), throttle_(store, config_.throttle)
{
}

HttpReply Service::Handle(const HttpRequestView& request)
{
    const std::string_view path = request.target.substr(0, request.target.find('?'));
    if (path.substr(0, kApiPrefix.size()) == kApiPrefix)
        return HandleApi(path.substr(kApiPrefix.size()), request);
    if (request.method != "GET")
        return JsonRefusal(405, erro::MetodoNaoPermitido);
    if (std::optional<HttpReply> page = Page(path, config_))
        return *page;
    return JsonRefusal(404, erro::EndpointDesconhecido);
}

HttpReply Service::HandleApi(std::string_view name, const HttpRequestView& request)
{
    const Route* route = nullptr;
    for (const Route& candidate : kRoutes) {
        if (candidate.name == name)
            route = &candidate;
    }
    if (!route)
        return JsonRefusal(404, erro::EndpointDesconhecido);
    if (request.method != "POST")
        return JsonRefusal(405, erro::MetodoNaoPermitido);
    const std::optional<FormFields> form = FormFields::Parse(request.body);
    if (!form)
        return JsonRefusal(400, erro::PedidoInvalido);
    try {
        const std::string source = net::SourceText(request.clientAddress);
        EndpointContext ctx{store_, mailer_, config_, throttle_, clock_(), request.clientAddress, source, *form};
        EndpointReply reply = route->endpoint(ctx);
        HttpReply http;
        http.status = reply.status;
        http.body = std::move(reply.json);
        http.erro = reply.erro;
        return http;
    } catch (const std::exception& e) {
        ServerLog("api: %.*s failed: %s", static_cast<int>(name.size()), name.data(), e.what());
        return JsonRefusal(500, erro::FalhaInterna);
    }
}

}  // namespace api
