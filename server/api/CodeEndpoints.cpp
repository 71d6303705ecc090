// Support codes: issuing, the technician's request, the cliente's answer and
// the status poll both devices run every 2 s (the hot path: two prepared
// queries, one short reply).
#include "server/api/Authentication.h"
#include "server/api/Endpoints.h"
#include "server/api/JsonReply.h"
#include "server/security/Secrets.h"

namespace api {
namespace {

constexpr std::size_t kCodeDigits = 9;
constexpr int kCodeAttempts = 20;

// "123 456 789": three groups read aloud more easily than nine digits.
std::string Spoken(const std::string& digits)
{
    return digits.substr(0, 3) + ' ' + digits.substr(3, 3) + ' ' + digits.substr(6);
}

// What the technician typed, without the spaces or dashes people add.
std::string DigitsOf(std::string_view typed)
{
    std::string digits;
    for (const char c : typed) {
        if (c >= '0' && c <= '9' && digits.size() <= kCodeDigits)
            digits += c;
    }
    return digits;
}

bool IsOpen(const store::Code& code, store::Millis now)
{
    return (code.state == store::CodeState::Waiting || code.state == store::CodeState::Requested)
        && now < code.expiresAt;
}

// The status the devices see: an unused code past its time reads as ended, so
// the cliente takes a fresh one and the technician stops waiting.
const char* ReportedStatus(const store::Code& code, store::Millis now)
{
    const bool unused = code.state == store::CodeState::Waiting || code.state == store::CodeState::Requested;
    if (unused && !IsOpen(code, now))
        return store::CodeStateName(store::CodeState::Ended);
    return store::CodeStateName(code.state);
}

// "2" from a program that speaks the version-2 link; older ones send nothing.
// A version-2 program that can also send changed regions says so in a field
// of its own, so an older service still agrees on 2 with it, never on 1.
int AnnouncedLinkVersion(const FormFields& form)
{
    if (form.Get("versao_link") != "2")
        return 1;
    return form.Get("recursos_link") == "atualizacoes" ? 3 : 2;
}

}  // namespace

EndpointReply GerarCodigo(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    std::string digits;
    for (int attempt = 0; attempt < kCodeAttempts && digits.empty(); ++attempt) {
        std::string candidate = security::RandomDigits(kCodeDigits);
        if (!ctx.store.IsLiveCode(candidate, ctx.now))
            digits = std::move(candidate);
    }
    if (digits.empty())
        return Refuse(erro::CodigoIndisponivel, 503);
    const store::Id id = ctx.store.IssueCode(auth.device->id, digits, ctx.now + ctx.config.codeTtlMs,
                                             ctx.clientAddress, ctx.now);
    const std::string idText = std::to_string(id);
    return Ok(JsonReply()
                  .Bool("ok", true)
                  .String("codigo_id", idText)
                  .String("id", idText)
                  .String("codigo", Spoken(digits))
                  .Finish());
}

EndpointReply SolicitarAcesso(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    const store::Device& tecnico = *auth.device;
    const std::string digits = DigitsOf(ctx.form.Get("codigo"));
    const std::string deviceKey = "codigo-dispositivo:" + std::to_string(tecnico.id);
    const std::string addressKey = "codigo-endereco:" + ctx.clientSource;
    const std::string valueKey = "codigo-valor:" + digits;
    // The guessing device is held back whatever it types.
    if (!ctx.throttle.Allows(deviceKey, ctx.now))
        return Refuse(erro::MuitasTentativas, 429);

    const std::optional<store::Code> code =
        digits.size() == kCodeDigits ? ctx.store.FindLiveCode(digits, ctx.now) : std::nullopt;
    if (!code) {
        // A source (an office behind one address) or a code value that failed
        // too often has its further wrong tries refused, while a right code
        // from another device there still passes. Each wrong try counts
        // against its device all the same, so a refusal is no free guess.
        const bool heldBack = !ctx.throttle.AllowsAll({&addressKey, &valueKey}, ctx.now);
        ctx.throttle.CountFailures({&deviceKey, &addressKey, &valueKey}, ctx.now);
        return heldBack ? Refuse(erro::MuitasTentativas, 429) : Refuse(erro::CodigoInvalido);
    }
    if (code->clienteDeviceId == tecnico.id)
        return Refuse(erro::PropriaMaquina);
    const bool free = code->state == store::CodeState::Waiting;
    const bool askedByMe = code->state == store::CodeState::Requested && code->tecnicoDeviceId == tecnico.id;
    if (!free && !askedByMe)
        return Refuse(erro::CodigoIndisponivel);
    if (!ctx.store.RecordRequest(code->id, tecnico.id, tecnico.nome, AnnouncedLinkVersion(ctx.form)))
        return Refuse(erro::CodigoIndisponivel);  // another technician's request came first
    return Ok(JsonReply().Bool("ok", true).String("codigo_id", std::to_string(code->id)).Finish());
}

EndpointReply ResponderAcesso(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    const std::string& acao = ctx.form.Get("acao");
    if (acao != "permitir" && acao != "recusar")
        return Refuse(erro::AcaoInvalida);
    const store::Id codeId = ParseId(ctx.form.Get("codigo_id"));
    const std::optional<store::Code> code = codeId ? ctx.store.FindCode(codeId) : std::nullopt;
    if (!code || code->clienteDeviceId != auth.device->id || code->state != store::CodeState::Requested
        || !IsOpen(*code, ctx.now))
        return Refuse(erro::SolicitacaoIndisponivel);

    JsonReply reply;
    reply.Bool("ok", true).String("codigo_id", std::to_string(code->id));
    // A second answer that raced this one (another server, a double click) finds the request gone.
    if (acao == "recusar") {
        if (!ctx.store.RefuseRequest(code->id, ctx.now))
            return Refuse(erro::SolicitacaoIndisponivel);
        return Ok(reply.String("status", "recusado").Finish());
    }
    const store::Id sessionId = ctx.store.AcceptRequest(*code, security::RandomHex(16), ctx.clientAddress,
                                                        AnnouncedLinkVersion(ctx.form), ctx.now);
    if (sessionId == 0)
        return Refuse(erro::SolicitacaoIndisponivel);
    return Ok(reply.String("status", "aceito").String("sessao_id", std::to_string(sessionId)).Finish());
}

EndpointReply StatusCodigo(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    const store::Id deviceId = auth.device->id;
    const std::optional<store::CodeStatus> status =
        ctx.store.StatusFor(deviceId, ParseId(ctx.form.Get("codigo_id")));
    JsonReply reply;
    reply.Bool("ok", true);
    if (!status) {
        return Ok(reply.String("status", "sem_codigo").String("ip_atual", ctx.clientAddress).Finish());
    }
    const store::Code& code = status->code;
    const store::Session& session = status->session;
    // The cliente's addresses are for the technician of a live session only.
    const bool live = session.id != 0 && !session.ended;
    const std::string noPort;
    reply.String("status", ReportedStatus(code, ctx.now))
        .String("papel", code.clienteDeviceId == deviceId ? "cliente" : "tecnico")
        .String("id", std::to_string(code.id))
        .String("sessao_id", session.id ? std::to_string(session.id) : std::string())
        .String("ip_cliente", live ? code.ipCliente : std::string())
        .String("ip_local_cliente", live ? session.ipLocalCliente : std::string())
        .String("porta_cliente", live && session.portaCliente ? std::to_string(session.portaCliente) : noPort)
        .String("ip_atual", ctx.clientAddress)
        .String("tecnico_nome", code.tecnicoNome);
    return Ok(reply.Finish());
}

}  // namespace api
