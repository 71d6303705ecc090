// Accounts: sign-up mails a fresh activation code; activation checks it,
// binds the device and hands out the token; validation checks the account part.
#include "server/api/Authentication.h"
#include "server/api/Endpoints.h"
#include "server/api/JsonReply.h"
#include "server/mail/ActivationMail.h"
#include "server/security/Secrets.h"

namespace api {
namespace {

constexpr std::size_t kActivationCodeDigits = 6;
constexpr std::size_t kMaxNameBytes = 200;
constexpr std::size_t kMaxEmailBytes = 254;
constexpr std::size_t kMaxFactBytes = 256;

bool IsEmail(const std::string& email)
{
    const std::size_t at = email.find('@');
    return IsPlainText(email, kMaxEmailBytes) && at != std::string::npos && at > 0 && at + 1 < email.size()
        && email.find('@', at + 1) == std::string::npos && email.find(' ') == std::string::npos;
}

std::string CodeDigest(const std::string& salt, std::string_view code)
{
    return security::Sha256(salt + std::string(code));
}

std::string Fact(const EndpointContext& ctx, std::string_view name)
{
    const std::string value = Trimmed(ctx.form.Get(name));
    return IsPlainText(value, kMaxFactBytes) ? value : std::string();
}

// A source's share of one mailed code; a new code starts every share afresh.
std::string ShareKey(const store::Account& account, const std::string& source)
{
    return "ativar-codigo:" + std::to_string(account.id) + ':' + std::to_string(account.codeExpiresAt) + ':' + source;
}

}  // namespace

EndpointReply Cadastro(EndpointContext& ctx)
{
    const std::string nome = Trimmed(ctx.form.Get("nome"));
    const std::string email = NormalEmail(ctx.form.Get("email"));
    if (nome.empty() || !IsPlainText(nome, kMaxNameBytes) || !IsEmail(email))
        return Refuse(erro::DadosInvalidos);

    // Every mail counts against the source, so one client cannot flood
    // mailboxes; and one mailbox gets at most one mail per interval.
    const std::string addressKey = "cadastro-endereco:" + ctx.clientSource;
    if (!ctx.throttle.Allows(addressKey, ctx.now))
        return Refuse(erro::MuitasTentativas, 429);
    const std::optional<store::Account> existing = ctx.store.FindAccount(email);
    if (existing && ctx.now - existing->lastMailAt < ctx.config.mailIntervalMs)
        return Refuse(erro::MuitasTentativas, 429);

    const std::string code = security::RandomDigits(kActivationCodeDigits);
    store::Account signup;
    signup.email = email;
    signup.pendingNome = nome;
    signup.codeSalt = security::RandomBytes(16);
    signup.codeHash = CodeDigest(signup.codeSalt, code);
    signup.codeExpiresAt = ctx.now + ctx.config.activationTtlMs;
    ctx.store.SaveSignup(signup, ctx.now);
    ctx.throttle.CountFailure(addressKey, ctx.now);

    const int minutes = static_cast<int>(ctx.config.activationTtlMs / 60000);
    if (!ctx.mailer.Send(mail::ActivationMail(email, nome, code, minutes)))
        return Refuse(erro::FalhaEnvioEmail, 503);
    return Ok(JsonReply().Bool("ok", true).Finish());
}

EndpointReply Ativar(EndpointContext& ctx)
{
    const std::string email = NormalEmail(ctx.form.Get("email"));
    const std::string codigo = Trimmed(ctx.form.Get("codigo"));
    const std::string& uid = ctx.form.Get("dispositivo_uid");
    if (uid.empty() || !IsPlainText(uid, kMaxFactBytes))
        return Refuse(erro::DadosInvalidos);

    const std::string addressKey = "ativar-endereco:" + ctx.clientSource;
    const std::optional<store::Account> account = email.empty() ? std::nullopt : ctx.store.FindAccount(email);
    const bool pending = account && !account->codeHash.empty() && ctx.now < account->codeExpiresAt;
    // One source may spend only its share of a mailed code's wrong tries, so
    // an outsider who knows the address cannot end its owner's code alone;
    // once spent, every try of that source at that code is refused, or its
    // refusals below would be free guesses.
    const std::string shareKey = pending ? ShareKey(*account, ctx.clientSource) : std::string();
    if (pending && ctx.throttle.Failures(shareKey, ctx.now) >= ctx.config.activationTriesPerSource)
        return Refuse(erro::MuitasTentativas, 429);

    if (!pending || codigo.empty()
        || !security::ConstantTimeEqual(CodeDigest(account->codeSalt, codigo), account->codeHash)) {
        // A source that failed too often has its further wrong tries refused,
        // while another account's right code from there still passes. Each
        // wrong try counts all the same, against the source's share and the code.
        const bool heldBack = !ctx.throttle.Allows(addressKey, ctx.now);
        ctx.throttle.CountFailure(addressKey, ctx.now);
        if (pending) {
            ctx.throttle.CountFailure(shareKey, ctx.now);
            if (ctx.store.CountActivationFailure(account->id) >= ctx.config.activationTries)
                ctx.store.DropActivationCode(account->id);
        }
        return heldBack ? Refuse(erro::MuitasTentativas, 429) : Refuse(erro::CodigoInvalido);
    }

    const std::string token = security::RandomHex(32);
    const store::MachineFacts facts{Fact(ctx, "nome_maquina"), Fact(ctx, "sistema_operacional"),
                                    Fact(ctx, "versao_app")};
    ctx.store.BindDevice(account->id, uid, security::Sha256(token), facts, ctx.now);
    return Ok(JsonReply().Bool("ok", true).String("token", token).Finish());
}

EndpointReply ValidarToken(EndpointContext& ctx)
{
    const Authenticated auth = Authenticate(ctx);
    if (!auth.device)
        return Refuse(auth.erro);
    return Ok(JsonReply().Bool("ok", true).Finish());
}

}  // namespace api
