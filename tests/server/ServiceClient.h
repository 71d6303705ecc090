#pragma once

#include "support/ScopedEnv.h"
#include "support/ServerFixture.h"

#include <QString>
#include <initializer_list>
#include <utility>

// Talks to a real marquelin-server the way the program does: its own
// transport (api::ApiPost over libcurl and HTTPS), its own form encoding and
// its own JSON field reader, pointed at the fixture through the deployment
// variables for the life of the object.

namespace server_tests {

using Fields = std::initializer_list<std::pair<const char*, QString>>;

struct TestDevice {
    QString nome;
    QString email;
    QString uid;
    QString token;
};

class ServiceClient {
public:
    explicit ServiceClient(const testing_support::ServerFixture& server);

    // An endpoint under /api/ with the given fields, encoded as the program does.
    QString Post(const char* endpoint, Fields fields) const;
    // The same, starting with the device's account part.
    QString PostAs(const TestDevice& device, const char* endpoint, Fields fields = {}) const;
    // Signs up, reads the code from the outbox, activates; the device holds its token.
    TestDevice Activate(const QString& nome, const QString& email, const QString& uid) const;
    // A GET of a page outside /api/, as the version check does.
    QString Get(const char* path) const;

private:
    const testing_support::ServerFixture& server_;
    testing_support::ScopedEnv site_;
    testing_support::ScopedEnv ca_;
};

// The fields form-encoded as the program encodes them, after `body` when it has some.
QString EncodeForm(Fields fields, QString body = {});
QString Field(const QString& reply, const char* key);
bool IsOk(const QString& reply);

}  // namespace server_tests
