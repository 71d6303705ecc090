#include "core/api/Deployment.h"

#include <QFile>
#include <QUrl>

namespace api {
namespace {

constexpr const char* kSystemSettingsFile = "/etc/marquelin/marquelin.conf";

// NAME=value from the settings file: one a line, '#' starts a comment line,
// quotes around the value are dropped. Read at each lookup (a few hundred
// bytes), so an administrator's change applies to the next request.
QString FileSetting(const char* variable)
{
    const QString path = qEnvironmentVariableIsSet("MARQUELIN_CONFIG") ? qEnvironmentVariable("MARQUELIN_CONFIG")
                                                                         : QString::fromUtf8(kSystemSettingsFile);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    QString found;
    for (const QByteArray& line : file.read(64 * 1024).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == variable)
            found = QString::fromUtf8(line.mid(equals + 1).trimmed());  // the last one wins, as in a shell
    }
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front())
        found = found.mid(1, found.size() - 2);
    return found.trimmed();
}

// The environment, then the system-wide settings file, then the built-in value.
QString Setting(const char* variable, const char* fallback)
{
    QString value = qEnvironmentVariable(variable).trimmed();
    if (value.isEmpty())
        value = FileSetting(variable);
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

QString ExtraCaFile() { return Setting("MARQUELIN_CA_FILE", ""); }

}  // namespace api
