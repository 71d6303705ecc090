// Request bodies are outside input: the form decoder and every endpoint must
// answer one JSON object and never crash, whatever the bytes. The first byte
// picks the endpoint; the store is a real SQLite database in memory.
#include "server/api/FormFields.h"
#include "server/api/Service.h"
#include "server/store/SqliteStore.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class DiscardMailer final : public mail::Mailer {
public:
    bool Send(const mail::MailMessage&) override { return true; }
};

constexpr const char* kTargets[] = {
    "/api/cadastro.php", "/api/ativar.php", "/api/validar_token.php", "/api/gerar_codigo.php",
    "/api/solicitar_acesso.php", "/api/responder_acesso.php", "/api/status_codigo.php",
    "/api/credenciais_sessao.php", "/api/registrar_conexao.php", "/api/encerrar_sessao.php", "/versao.php",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static store::SqliteStore store(":memory:");
    static DiscardMailer mailer;
    static store::Millis now = 1'000'000;
    static api::Service service(store, mailer, api::ServiceConfig{}, [] { return now += 1000; });
    if (size == 0)
        return 0;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (const auto form = api::FormFields::Parse(body)) {
        if (form->Size() > api::FormFields::kMaxFields)
            __builtin_trap();
    }
    const char* target = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
    const api::HttpReply reply = service.Handle({"POST", target, body, "203.0.113.7"});
    if (reply.body.empty() || (reply.body.front() != '{' && target[1] == 'a'))
        __builtin_trap();
    return 0;
}
