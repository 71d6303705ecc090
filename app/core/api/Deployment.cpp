#include "core/api/Deployment.h"

#include <QUrl>

namespace api {
namespace {

QString Setting(const char* variable, const char* fallback)
{
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

QString RelaySetting() { return Setting("MARQUELIN_RELAY", MARQUELIN_DEFAULT_RELAY); }

}  // namespace

QString SiteOrigin()
{
    QString origin = Setting("MARQUELIN_SITE", MARQUELIN_DEFAULT_SITE);
    while (origin.endsWith('/'))
        origin.chop(1);
    return origin;
}

QString SiteHost()
{
    const QUrl url(SiteOrigin());
    return url.port() > 0 ? url.host() + ':' + QString::number(url.port()) : url.host();
}

QString ApiBaseUrl() { return SiteOrigin() + "/api/"; }
QString VersionUrl() { return SiteOrigin() + "/versao.php"; }
QString DownloadUrl() { return SiteOrigin() + "/download.html"; }
QString HelpUrl() { return SiteOrigin() + "/ajuda"; }
QString MakerUrl() { return Setting("MARQUELIN_MAKER_URL", MARQUELIN_DEFAULT_MAKER_URL); }

QString RelayHost()
{
    const QString relay = RelaySetting();
    const qsizetype colon = relay.lastIndexOf(':');
    return colon < 0 ? relay : relay.left(colon);
}

quint16 RelayPort()
{
    const QString relay = RelaySetting();
    const qsizetype colon = relay.lastIndexOf(':');
    bool ok = false;
    const uint port = colon < 0 ? 0 : relay.mid(colon + 1).toUInt(&ok);
    return ok && port > 0 && port < 65536 ? static_cast<quint16>(port) : 50555;
}

QString ExtraCaFile() { return qEnvironmentVariable("MARQUELIN_CA_FILE"); }

}  // namespace api
