// Replies of the web service are outside input: the field reader must never
// crash, read out of bounds or return more than it was given.
#include "core/api/Json.h"
#include "core/shell/ActivityLog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* key : {"ok", "erro", "status", "sessao_id", "stream_key", "ip_cliente", ""}) {
        const QString value = api::JsonGetValue(reply, QString::fromLatin1(key));
        if (value.size() > reply.size())
            __builtin_trap();
    }
    api::JsonIsOk(reply);
    shell::TextoAmigavel("Solicitar acesso: " + reply);
    shell::TextoAmigavel(reply);
    return 0;
}
