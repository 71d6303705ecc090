#pragma once

#include <QString>

// Deployment settings, so one build runs against a local server and a real
// deployment: each from its environment variable, else from the system-wide
// file /etc/marquelin/marquelin.conf (NAME=value lines; MARQUELIN_CONFIG names
// another file, or none when empty), else the compiled default.
//   MARQUELIN_SITE       origin of the web site: API, version, download, help
//   MARQUELIN_MAKER_URL  the maker's home page
//   MARQUELIN_RELAY      relay host:port
//   MARQUELIN_CA_FILE    an extra trusted certificate (PEM), unset by default

namespace api {

inline constexpr const char* AppVersion = "1.1.6";
inline constexpr int AppBuild = 116;

QString SiteOrigin();  // "https://host[:port]", no trailing slash
QString SiteHost();    // "host" or "host:port", as shown to the user
QString ApiBaseUrl();  // origin + "/api/"
QString VersionUrl();
QString DownloadUrl();
QString HelpUrl();
QString MakerUrl();
QString RelayHost();
quint16 RelayPort();
QString ExtraCaFile();  // "" when none

}  // namespace api
