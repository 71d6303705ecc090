#pragma once

#include <boost/asio/ssl/context.hpp>

#include <string>
#include <vector>

// TLS for the web service: TLS 1.2 or newer only, the server's cipher order,
// a session cache and session tickets so returning clients skip the full
// handshake. Without a
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

// `ticketKeyFile`, when set, holds the keys that seal session tickets, one
// a line as 128 hex digits (`openssl rand -hex 64`): the first seals new
// tickets, the others are still accepted. Nodes given the same file resume
// each other's sessions. The file is read again, when changed, at most once a
// minute as tickets are sealed or opened. Without it OpenSSL keeps a key of
// its own for this process. Throws on a bad file.
void ConfigureServerTls(boost::asio::ssl::context& context, const CertificateFiles& files,
                        const std::string& ticketKeyFile = {});

// "N handshakes, M resumed" since the start, for the log.
std::string HandshakeCounts(boost::asio::ssl::context& context);

}  // namespace http
