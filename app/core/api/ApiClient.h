#pragma once

#include "core/api/HttpTransport.h"

#include <QString>

// modApi's request operation: one synchronous POST to the web service.
// Pending events run once before sending and once after the reply, so timer
// ticks, clicks and socket events may run inside a request; callers re-test
// their state when it returns. Never fails: a request that cannot be
// completed comes back as the synthetic reply
//   {"ok":false,"erro":"falha_http","detalhe":"<description>"}
// which every caller reads like a refusal of the service.

namespace api {

QString ApiPost(const QString& endpoint, const QString& body);

// The same with other time-outs; only tests shorten them.
QString ApiPost(const QString& endpoint, const QString& body, const TransportTimeouts& timeouts);

QString SyntheticFailureReply(const QString& description);

// Lets pending window events run once (no-op without an application object).
void PumpPendingEvents();

}  // namespace api
