#pragma once

#include <boost/asio/ssl/context.hpp>

#include <string>
#include <vector>

// TLS for the web service: TLS 1.2 or newer only, the server's cipher order,
// a session cache so returning clients skip the full handshake. Without a
// certificate of its own the server makes a self-signed one (P-256, ten
// years) for the --host names plus localhost, 127.0.0.1 and ::1, and keeps it
// in the data folder (key file mode 0600) for the next start.

namespace http {

struct CertificateFiles {
    std::string cert;
    std::string key;
};

// Reuses DIR/tls-cert.pem and DIR/tls-key.pem when both exist. Throws on failure.
CertificateFiles EnsureSelfSignedCertificate(const std::string& dataDir, const std::vector<std::string>& hosts);

void ConfigureServerTls(boost::asio::ssl::context& context, const CertificateFiles& files);

}  // namespace http
