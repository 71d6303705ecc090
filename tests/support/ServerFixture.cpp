#include "support/ServerFixture.h"

#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#ifndef MARQUELIN_SERVER_BINARY
#define MARQUELIN_SERVER_BINARY ""
#endif

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// "1796597232833-12.eml" sorts by its time, then by its counter.
std::pair<long long, long long> MailOrder(const fs::path& path)
{
    const std::string name = path.filename().string();
    return {std::atoll(name.c_str()), std::atoll(name.c_str() + name.find('-') + 1)};
}

}  // namespace

ServerFixture::ServerFixture(std::vector<std::string> extraArgs, ServerPlacement where)
    : extraArgs_(std::move(extraArgs)), where_(std::move(where))
{
    if (folder_.path().empty()) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    dataDir_ = folder_.File("data");
    Start();
}

ServerFixture::~ServerFixture() { Stop(); }

std::string ServerFixture::SiteOrigin() const { return "https://" + where_.address + ":" + std::to_string(httpsPort_); }
std::string ServerFixture::RelayEndpoint() const { return where_.address + ":" + std::to_string(relayPort_); }
std::string ServerFixture::CaFile() const { return dataDir_ + "/tls-cert.pem"; }
std::string ServerFixture::Log() const { return process_.Output(); }

void ServerFixture::Start()
{
    if (process_.Running() || dataDir_.empty())
        return;
    const std::string binary = MARQUELIN_SERVER_BINARY;
    if (binary.empty()) {
        ADD_FAILURE() << "this test binary was built without the marquelin-server target";
        return;
    }
    std::error_code ignored;
    fs::remove(dataDir_ + "/listening", ignored);
    // Port 0 the first time: the server takes free ports and names them in
    // DIR/listening once both listen; a restart asks for the same ones again.
    std::vector<std::string> args = where_.launcher;
    args.insert(args.end(), {binary, "--data", dataDir_, "--https-port", std::to_string(httpsPort_), "--relay-port",
                             std::to_string(relayPort_), "--listen", where_.address});
    if (where_.address != ServerPlacement().address)
        args.insert(args.end(), {"--host", where_.address});
    args.insert(args.end(), extraArgs_.begin(), extraArgs_.end());
    if (!process_.Start(args, ChildProcess::Inherited({}), folder_.File("server.log")) || !WaitUntilUp()) {
        ADD_FAILURE() << "marquelin-server did not come up; its log:\n" << Log();
        Stop();
    }
}

bool ServerFixture::WaitUntilUp()
{
    int named = 0;  // the file appears whole (renamed into place) once both listen
    WaitUntil([&] {
        std::istringstream listening(ReadWholeFile(dataDir_ + "/listening"));
        std::string name;
        unsigned port = 0;
        for (named = 0; listening >> name >> port; ++named)
            (name == "https" ? httpsPort_ : relayPort_) = static_cast<uint16_t>(port);
        return named == 2 || !process_.Running();
    });
    return named == 2 && process_.Running();
}

void ServerFixture::Kill9()
{
    if (process_.Running()) {
        kill(process_.pid(), SIGKILL);
        process_.WaitExit(kHangMs);
    }
    Start();
}

std::vector<std::string> ServerFixture::OutboxCodes(const std::string& email) const
{
    std::vector<fs::path> mails;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dataDir_ + "/outbox", ec))
        if (entry.path().extension() == ".eml")  // not a mail still being written
            mails.push_back(entry.path());
    std::sort(mails.begin(), mails.end(), [](const fs::path& a, const fs::path& b) { return MailOrder(a) < MailOrder(b); });
    std::vector<std::string> codes;
    const std::string to = "To: <" + email + ">\r\n";
    const std::string label = "Codigo de ativacao: ";
    for (const fs::path& mail : mails) {
        const std::string text = ReadWholeFile(mail);
        const std::size_t at = text.find(label);
        if (text.find(to) == std::string::npos || at == std::string::npos)
            continue;
        const std::size_t start = at + label.size();
        codes.push_back(text.substr(start, text.find_first_not_of("0123456789", start) - start));
    }
    return codes;
}

}  // namespace testing_support
