#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef MARQUELIN_SERVER_BINARY
#define MARQUELIN_SERVER_BINARY ""
#endif

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 30s;  // sanitized builds start slowly

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HealthzAnswers(const std::string& origin, const std::string& caFile)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    std::string body;
    const std::string url = origin + "/healthz";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 2000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK && body == "ok\n";
}

// "1796597232833-12.eml" sorts by its time, then by its counter.
std::pair<long long, long long> MailOrder(const fs::path& path)
{
    const std::string name = path.filename().string();
    const std::size_t dash = name.find('-');
    return {std::atoll(name.c_str()), dash == std::string::npos ? 0 : std::atoll(name.c_str() + dash + 1)};
}

}  // namespace

ServerFixture::ServerFixture(std::vector<std::string> extraArgs, ServerPlacement where)
    : extraArgs_(std::move(extraArgs)), where_(std::move(where))
{
    std::string pattern = (fs::temp_directory_path() / "marquelin-server-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    dataDir_ = pattern + "/data";
    Start();
}

ServerFixture::~ServerFixture()
{
    Stop();
    if (!dataDir_.empty()) {
        std::error_code ec;
        fs::remove_all(fs::path(dataDir_).parent_path(), ec);
    }
}

std::string ServerFixture::SiteOrigin() const { return "https://" + where_.address + ":" + std::to_string(httpsPort_); }
std::string ServerFixture::RelayEndpoint() const { return where_.address + ":" + std::to_string(relayPort_); }
std::string ServerFixture::CaFile() const { return dataDir_ + "/tls-cert.pem"; }
std::string ServerFixture::LogFile() const { return fs::path(dataDir_).parent_path().string() + "/server.log"; }
std::string ServerFixture::Log() const { return ReadFile(LogFile()); }

void ServerFixture::Start()
{
    if (pid_ > 0 || dataDir_.empty())
        return;
    const std::string binary = MARQUELIN_SERVER_BINARY;
    if (binary.empty()) {
        ADD_FAILURE() << "this test binary was built without the marquelin-server target";
        return;
    }
    std::error_code ignored;
    fs::remove(dataDir_ + "/listening", ignored);
    std::vector<std::string> args = where_.launcher;
    args.insert(args.end(), {binary, "--data", dataDir_, "--https-port", std::to_string(httpsPort_), "--relay-port",
                             std::to_string(relayPort_), "--listen", where_.address});
    if (where_.address != ServerPlacement().address)
        args.insert(args.end(), {"--host", where_.address});
    args.insert(args.end(), extraArgs_.begin(), extraArgs_.end());
    const std::string log = LogFile();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // a killed test leaves no server behind
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(fd, STDERR_FILENO);
        dup2(fd, STDOUT_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid_ < 0 || !WaitUntilUp()) {
        ADD_FAILURE() << "marquelin-server did not come up; its log:\n" << Log();
        Stop();
    }
}

bool ServerFixture::WaitUntilUp()
{
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitStatus_ = status;
            return false;
        }
        std::istringstream listening(ReadFile(dataDir_ + "/listening"));
        std::string name;
        unsigned port = 0;
        while (listening >> name >> port)
            (name == "https" ? httpsPort_ : relayPort_) = static_cast<uint16_t>(port);
        if (httpsPort_ != 0 && HealthzAnswers(SiteOrigin(), CaFile()))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void ServerFixture::Stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    exitStatus_ = status;
    pid_ = -1;
}

void ServerFixture::Restart()
{
    Stop();
    Start();
}

void ServerFixture::Kill9()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        exitStatus_ = status;
        pid_ = -1;
    }
    Start();
}

std::vector<std::string> ServerFixture::OutboxCodes(const std::string& email) const
{
    std::vector<fs::path> mails;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dataDir_ + "/outbox", ec)) {
        if (entry.path().extension() == ".eml")
            mails.push_back(entry.path());
    }
    std::sort(mails.begin(), mails.end(), [](const fs::path& a, const fs::path& b) { return MailOrder(a) < MailOrder(b); });
    std::vector<std::string> codes;
    const std::string to = "To: <" + email + ">\r\n";
    const std::string label = "Codigo de ativacao: ";
    for (const fs::path& mail : mails) {
        const std::string text = ReadFile(mail.string());
        const std::size_t at = text.find(label);
        if (text.find(to) == std::string::npos || at == std::string::npos)
            continue;
        const std::size_t start = at + label.size();
        codes.push_back(text.substr(start, text.find_first_not_of("0123456789", start) - start));
    }
    return codes;
}

std::string ServerFixture::LatestCode(const std::string& email) const
{
    const std::vector<std::string> codes = OutboxCodes(email);
    return codes.empty() ? std::string() : codes.back();
}

}  // namespace testing_support
