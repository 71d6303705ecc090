// Sessions: the shared stream key, the cliente's listening address, the end.
// A session is found by its id or, failing that, through its code, and only
// its two devices may touch it.
#include "server/api/Authentication.h"
#include "server/api/Endpoints.h"
#include "server/api/JsonReply.h"

#include <arpa/inet.h>

#include <charconv>

namespace api {
namespace {

constexpr std::size_t kMaxMotivoBytes = 64;

std::optional<store::Session> FindParticipantSession(EndpointContext& ctx, const store::Device& device)
{
    store::Id sessionId = ParseId(ctx.form.Get("sessao_id"));
    if (!sessionId) {
        const store::Id codeId = ParseId(ctx.form.Get("codigo_id"));
        const std::optional<store::Code> code = codeId ? ctx.store.FindCode(codeId) : std::nullopt;
        sessionId = code ? code->sessionId : 0;
    }
    std::optional<store::Session> session = sessionId ? ctx.store.FindSession(sessionId) : std::nullopt;
    if (session && session->clienteDeviceId != device.id && session->tecnicoDeviceId != device.id)
        return std::nullopt;
    return session;
}

bool IsIpAddress(const std::string& text)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

int ParsePort(const std::string& text)
{
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return 0;
    return port;
}

const char* RoleOf(const store::Session& session, const store::Device& device)
{
    return session.clienteDeviceId == device.id ? "cliente" : "tecnico";
}

}  // namespace

EndpointReply CredenciaisSessao(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    const std::optional<store::Session> session = FindParticipantSession(ctx, *auth.device);
    if (!session || session->ended)
        return Refuse(erro::SessaoIndisponivel);
    return Ok(JsonReply()
                  .Bool("ok", true)
                  .String("sessao_id", std::to_string(session->id))
                  .String("codigo_id", std::to_string(session->codeId))
                  .String("papel", RoleOf(*session, *auth.device))
                  .String("stream_key", session->streamKey)
                  .String("versao_link", std::to_string(session->VersaoLink()))
                  .Finish());
}

EndpointReply RegistrarConexao(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    if (ctx.form.Get("papel") != "cliente")
        return Refuse(erro::AcaoInvalida);
    const std::optional<store::Session> session = FindParticipantSession(ctx, *auth.device);
    if (!session || session->ended || session->clienteDeviceId != auth.device->id)
        return Refuse(erro::SessaoIndisponivel);
    std::string ipLocal = Trimmed(ctx.form.Get("ip_local"));
    if (ipLocal.empty())
        ipLocal = "0.0.0.0";
    const int porta = ParsePort(Trimmed(ctx.form.Get("porta")));
    if (!IsIpAddress(ipLocal) || porta == 0)
        return Refuse(erro::DadosInvalidos);
    ctx.store.RegisterConnection(*session, ipLocal, porta, ctx.clientAddress);
    return Ok(JsonReply().Bool("ok", true).String("sessao_id", std::to_string(session->id)).Finish());
}

EndpointReply EncerrarSessao(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    const std::optional<store::Session> session = FindParticipantSession(ctx, *auth.device);
    if (!session)
        return Refuse(erro::SessaoIndisponivel);
    // Ending twice is fine: both devices may say so, and the program retries.
    if (!session->ended) {
        const std::string motivo = Trimmed(ctx.form.Get("motivo"));
        ctx.store.EndSession(*session, IsPlainText(motivo, kMaxMotivoBytes) ? motivo : std::string(), ctx.now);
    }
    return Ok(JsonReply().Bool("ok", true).String("sessao_id", std::to_string(session->id)).Finish());
}

}  // namespace api
