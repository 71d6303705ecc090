#include "load/ServiceClient.h"

#include "core/api/FormEncoding.h"
#include "core/api/Json.h"
#include "load/LoopbackAddress.h"
#include "load/OneShotHttps.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace load {

namespace asio = boost::asio;

namespace {

// The program's limits for a request: 5 s to resolve, 5 to connect, 15 each to send and to receive.
constexpr std::chrono::milliseconds kRequestDeadline{40000};

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Field(const char* name, const std::string& value) { return api::FormField(name, Q(value)).toStdString(); }

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

Device::Device(std::size_t i)
    : index(i), address(DeviceAddress(i)), email("carga" + std::to_string(i) + "@load.example"),
      uid("load-device-" + std::to_string(i))
{
}

std::string Device::AccountPart() const { return api::ApiAuthParams(Q(email), Q(uid), Q(token)).toStdString(); }

std::string ReplyValue(const std::string& body, const char* key)
{
    return api::JsonGetValue(Q(body), QString::fromLatin1(key)).toStdString();
}

bool ReplyOk(const std::string& body) { return api::JsonIsOk(Q(body)); }

void Outbox::ReadNewMails()
{
    static const std::string label = "Codigo de ativacao: ";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".eml" || !read_.insert(name).second)
            continue;
        const std::string text = ReadWhole(entry.path());
        const std::size_t to = text.find("To: <"), at = text.find(label);
        if (to == std::string::npos || at == std::string::npos)
            continue;
        const std::size_t start = at + label.size();
        codes_[text.substr(to + 5, text.find('>', to) - to - 5)] =
            text.substr(start, text.find_first_not_of("0123456789", start) - start);
    }
}

std::string Outbox::CodeFor(const std::string& email)
{
    if (!codes_.count(email))
        ReadNewMails();
    const auto found = codes_.find(email);
    return found == codes_.end() ? std::string() : found->second;
}

std::string StatusRequest(const Device& d)
{
    return FormPost("status_codigo.php", d.AccountPart() + (d.codigoId.empty() ? "" : Field("codigo_id", d.codigoId)));
}

ServiceClient::ServiceClient(asio::ssl::context& tls, unsigned short port, const std::string& dataFolder)
    : tls_(tls), port_(port), outbox_(dataFolder + "/outbox")
{
}

asio::awaitable<std::string> ServiceClient::Call(const Device& d, const std::string& endpoint,
                                                 const std::string& body)
{
    const HttpsAnswer answer = co_await RequestOnce(tls_, d.address, port_, FormPost(endpoint, body), kRequestDeadline);
    if (answer.status != 200 || !ReplyOk(answer.body))
        throw std::runtime_error(endpoint + " for " + d.email + ": "
                                 + (answer.failure.empty() ? "HTTP " + std::to_string(answer.status) + " " + answer.body
                                                           : answer.failure));
    co_return answer.body;
}

asio::awaitable<void> ServiceClient::SignUp(Device& d)
{
    co_await Call(d, "cadastro.php", "nome=Carga+" + std::to_string(d.index) + Field("email", d.email));
    // The mail is in the outbox before the reply leaves; a short wait covers a slow disk all the same.
    std::string code = outbox_.CodeFor(d.email);
    asio::steady_timer pause(co_await asio::this_coro::executor);
    for (int tries = 0; code.empty() && tries < 50; ++tries) {
        pause.expires_after(std::chrono::milliseconds(100));
        co_await pause.async_wait(asio::use_awaitable);
        code = outbox_.CodeFor(d.email);
    }
    if (code.empty())
        throw std::runtime_error("no activation mail for " + d.email + " in the outbox");
    const std::string reply = co_await Call(
        d, "ativar.php",
        "email=" + api::UrlEncode(Q(d.email)).toStdString() + Field("codigo", code) + Field("dispositivo_uid", d.uid)
            + Field("nome_maquina", "CARGA-" + std::to_string(d.index)) + Field("sistema_operacional", "Linux")
            + Field("versao_app", "1.1.6"));
    d.token = ReplyValue(reply, "token");
}

asio::awaitable<void> ServiceClient::IssueCode(Device& cliente)
{
    const std::string reply = co_await Call(cliente, "gerar_codigo.php", cliente.AccountPart());
    cliente.codigoId = ReplyValue(reply, "codigo_id");
    cliente.codigo = ReplyValue(reply, "codigo");
}

asio::awaitable<void> ServiceClient::AskAccess(Device& tecnico, const Device& cliente)
{
    const std::string reply =
        co_await Call(tecnico, "solicitar_acesso.php", tecnico.AccountPart() + Field("codigo", cliente.codigo));
    tecnico.codigoId = ReplyValue(reply, "codigo_id");
}

asio::awaitable<void> ServiceClient::Permit(Device& cliente)
{
    const std::string reply = co_await Call(
        cliente, "responder_acesso.php",
        cliente.AccountPart() + Field("acao", "permitir") + Field("codigo_id", cliente.codigoId));
    cliente.sessaoId = ReplyValue(reply, "sessao_id");
}

asio::awaitable<void> ServiceClient::FetchCredentials(Device& d)
{
    const std::string reply = co_await Call(
        d, "credenciais_sessao.php",
        d.AccountPart() + Field("sessao_id", d.sessaoId) + Field("codigo_id", d.codigoId));
    d.sessaoId = ReplyValue(reply, "sessao_id");
    d.streamKey = ReplyValue(reply, "stream_key");
}

}  // namespace load
