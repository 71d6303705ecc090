#include "core/api/ApiClient.h"

#include "core/api/Deployment.h"
#include "core/api/Json.h"

#include <QCoreApplication>

namespace api {

void PumpPendingEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QString SyntheticFailureReply(const QString& description)
{
    return "{\"ok\":false,\"erro\":\"falha_http\",\"detalhe\":\"" + JsonEscape(description) + "\"}";
}

QString ApiPost(const QString& endpoint, const QString& body)
{
    return ApiPost(endpoint, body, ApiTimeouts);
}

QString ApiPost(const QString& endpoint, const QString& body, const TransportTimeouts& timeouts)
{
    HttpRequest request;
    request.method = "POST";
    request.url = ApiBaseUrl() + endpoint;
    request.body = body.toLatin1();
    request.contentType = "application/x-www-form-urlencoded";
    request.userAgent = "Marquelin-Windows/0.1";
    request.timeouts = timeouts;
    request.beforeSend = PumpPendingEvents;
    const HttpOutcome outcome = PerformHttp(request);
    if (!outcome.completed)
        return SyntheticFailureReply(outcome.failure);
    PumpPendingEvents();
    return QString::fromUtf8(outcome.body);
}

}  // namespace api
