#include "server/api/Pages.h"

#include <array>

namespace api {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";

constexpr const char* kHome = R"html(<!doctype html>
<html lang="pt-BR"><head><meta charset="utf-8"><title>Marquelin</title></head>
<body><h1>Marquelin</h1>
<p>Suporte remoto gratuito: o cliente informa o codigo, o tecnico pede acesso, o cliente permite.</p>
<p><a href="/download.html">Baixar o Marquelin</a> | <a href="/ajuda">Ajuda</a></p>
</body></html>
)html";

constexpr const char* kDownload = R"html(<!doctype html>
<html lang="pt-BR"><head><meta charset="utf-8"><title>Marquelin - Download</title></head>
<body><h1>Baixar o Marquelin</h1>
<p>A versao mais recente do Marquelin e distribuida por este servidor. Instale-a por cima da versao atual;
sua conta e seu codigo de dispositivo sao mantidos.</p>
<p><a href="/">Voltar</a></p>
</body></html>
)html";

constexpr const char* kHelp = R"html(<!doctype html>
<html lang="pt-BR"><head><meta charset="utf-8"><title>Marquelin - Ajuda</title></head>
<body><h1>Ajuda do Marquelin</h1>
<ol>
<li>Crie sua conta com nome e e-mail e ative-a com o codigo recebido por e-mail.</li>
<li>Quem precisa de ajuda informa ao tecnico o codigo de suporte mostrado na janela.</li>
<li>O tecnico digita o codigo e clica em solicitar acesso; o cliente clica em permitir.</li>
<li>Qualquer um dos dois encerra a sessao com "Desconectar agora".</li>
</ol>
<p><a href="/">Voltar</a></p>
</body></html>
)html";

struct StaticPage {
    std::string_view path;
    const char* contentType;
    const char* body;
};

constexpr std::array<StaticPage, 5> kPages{{
    {"/", kHtml, kHome},
    {"/download.html", kHtml, kDownload},
    {"/ajuda", kHtml, kHelp},
    {"/ajuda/", kHtml, kHelp},
    {"/healthz", kText, "ok\n"},
}};

}  // namespace

std::optional<HttpReply> Page(std::string_view path, const ServiceConfig& config)
{
    if (path == "/versao.php") {
        HttpReply reply;
        reply.contentType = kText;
        reply.body = std::to_string(config.latestBuild) + "," + std::to_string(config.minBuild);
        return reply;
    }
    for (const StaticPage& page : kPages) {
        if (page.path == path) {
            HttpReply reply;
            reply.contentType = page.contentType;
            reply.body = page.body;
            return reply;
        }
    }
    return std::nullopt;
}

}  // namespace api
