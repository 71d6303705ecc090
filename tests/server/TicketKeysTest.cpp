// Session tickets sealed with a key file: servers given the same file resume
// each other's sessions, others do not. Handshakes run over memory.
#include "server/http/TlsSetup.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <openssl/ssl.h>

namespace {

using Context = boost::asio::ssl::context;

struct TicketServers : ::testing::Test {
    testing_support::TempDir folder{"ticket-keys"};
    http::CertificateFiles certificate = http::EnsureSelfSignedCertificate(folder.path(), {});
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> client{SSL_CTX_new(TLS_client_method()), SSL_CTX_free};

    std::string KeyFile(const std::string& name, const std::string& content)
    {
        std::ofstream(folder.File(name)) << content;
        return folder.File(name);
    }
    std::unique_ptr<Context> Server(const std::string& keyFile)
    {
        auto context = std::make_unique<Context>(Context::tls_server);
        http::ConfigureServerTls(*context, certificate, keyFile);
        return context;
    }
    // A handshake offering `offer`; the session after the server's ticket.
    SSL_SESSION* Connect(Context& server, SSL_SESSION* offer, bool* resumed)
    {
        SSL* s = SSL_new(server.native_handle());
        SSL* c = SSL_new(client.get());
        BIO *serverEnd = nullptr, *clientEnd = nullptr;
        BIO_new_bio_pair(&serverEnd, 0, &clientEnd, 0);
        SSL_set_bio(s, serverEnd, serverEnd);
        SSL_set_bio(c, clientEnd, clientEnd);
        SSL_set_accept_state(s);
        SSL_set_connect_state(c);
        if (offer)
            SSL_set_session(c, offer);
        for (int turn = 0; turn < 8 && !(SSL_is_init_finished(s) && SSL_is_init_finished(c)); ++turn) {
            SSL_do_handshake(c);
            SSL_do_handshake(s);
        }
        char byte = 'x';  // the ticket comes after the handshake, read with this
        EXPECT_EQ(SSL_write(s, &byte, 1), 1);
        EXPECT_EQ(SSL_read(c, &byte, 1), 1);
        *resumed = SSL_session_reused(c) == 1;
        SSL_SESSION* session = SSL_get1_session(c);
        SSL_shutdown(c);  // a connection dropped without it spoils its session
        SSL_free(c);
        SSL_free(s);
        return session;
    }
    // Whether a session `first` sealed resumes on `second`.
    bool Resumes(Context& first, Context& second)
    {
        bool resumed = true;
        SSL_SESSION* session = Connect(first, nullptr, &resumed);
        EXPECT_FALSE(resumed);
        SSL_SESSION* again = Connect(second, session, &resumed);
        SSL_SESSION_free(again);
        SSL_SESSION_free(session);
        return resumed;
    }
};

const std::string kOld(128, 'a'), kNew = std::string(64, '0') + std::string(64, 'F');

}  // namespace

TEST_F(TicketServers, ResumeOnAnyNodeHoldingTheKeyAndNowhereElse)
{
    const std::string shared = KeyFile("shared", kOld + "\n");
    EXPECT_TRUE(Resumes(*Server(shared), *Server(shared)));
    EXPECT_TRUE(Resumes(*Server(shared), *Server(KeyFile("rotated", "# newest first\n" + kNew + "\n" + kOld))));
    EXPECT_FALSE(Resumes(*Server(shared), *Server(KeyFile("other", kNew))));
    EXPECT_FALSE(Resumes(*Server({}), *Server({})));
    const auto own = Server({});
    EXPECT_TRUE(Resumes(*own, *own));
}

TEST_F(TicketServers, ABadKeyFileIsNamedAtTheStart)
{
    const auto error = [&](const std::string& path) {
        try {
            Server(path);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error(folder.File("absent")), "tls: cannot read the ticket key file " + folder.File("absent"));
    EXPECT_EQ(error(KeyFile("empty", "# none yet\n")), "tls: " + folder.File("empty") + ": no key");
    EXPECT_EQ(error(KeyFile("short", kOld + "\n" + kOld.substr(2))),
              "tls: " + folder.File("short") + ":2: a key is 128 hex digits");
    EXPECT_EQ(error(KeyFile("hex", "g" + kOld.substr(1))), "tls: " + folder.File("hex") + ":1: a key is 128 hex digits");
}
