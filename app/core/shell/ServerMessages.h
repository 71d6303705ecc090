#pragma once

#include <QString>

namespace shell {

// The Portuguese sentence for the service's `erro` reason in a reply, or
// `fallback` for reasons outside the known table (including "falha_http").
QString MensagemErroServidor(const QString& reply, const QString& fallback);

}  // namespace shell
