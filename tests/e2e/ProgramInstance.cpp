#include "ProgramInstance.h"

#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#ifndef MARQUELIN_DRIVEN_BINARY
#define MARQUELIN_DRIVEN_BINARY ""
#endif

namespace e2e {

namespace {

namespace fs = std::filesystem;

QByteArray Line(const std::vector<std::string>& command)
{
    QJsonArray words;
    for (const std::string& word : command)
        words.append(QString::fromStdString(word));
    return QJsonDocument(words).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

ProgramInstance::ProgramInstance(std::string label, const std::string& folder, const std::string& display,
                                 const testing_support::ServerFixture& server, std::vector<std::string> launcher)
    : label_(std::move(label)), socket_(folder + "/" + label_ + ".sock"), logPath_(folder + "/" + label_ + ".log"),
      launcher_(std::move(launcher))
{
    const std::string home = folder + "/home", runtime = folder + "/runtime", temp = folder + "/temp";
    for (const std::string& made : {home + "/.config", runtime, temp})
        fs::create_directories(made);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    env_ = ChildProcess::Inherited({
        {"HOME", home},
        {"XDG_CONFIG_HOME", home + "/.config"},
        {"XDG_CACHE_HOME", home + "/.cache"},
        {"XDG_DATA_HOME", home + "/.local/share"},
        {"XDG_RUNTIME_DIR", runtime},
        {"TEMP", temp},
        {"TMPDIR", temp},
        {"DISPLAY", display},
        {"QT_QPA_PLATFORM", "xcb"},
        {"WAYLAND_DISPLAY", ""},
        {"SESSION_MANAGER", ""},
        {"COMPUTERNAME", "PC-" + label_},
        {"MARQUELIN_SITE", server.SiteOrigin()},
        {"MARQUELIN_CA_FILE", server.CaFile()},
        {"MARQUELIN_RELAY", server.RelayEndpoint()},
        {"MARQUELIN_DRIVER_SOCKET", socket_},
        {"LSAN_OPTIONS", "suppressions=" MARQUELIN_SOURCE_DIR "/tests/support/lsan.supp"},
        // Not strict_string_checks: the X keyboard library strndup()s names
        // that are not NUL-terminated, which is bounded and legitimate.
        {"ASAN_OPTIONS", "detect_leaks=1:abort_on_error=1"},
    });
}

ProgramInstance::~ProgramInstance()
{
    if (driver_ >= 0)
        close(driver_);
    process_.Stop();
}

bool ProgramInstance::Start()
{
    std::vector<std::string> argv = launcher_;
    argv.push_back(MARQUELIN_DRIVEN_BINARY);
    if (!process_.Start(argv, env_, logPath_)) {
        ADD_FAILURE() << label_ << ": cannot start " << MARQUELIN_DRIVEN_BINARY;
        return false;
    }
    if (!ConnectDriver()) {
        ADD_FAILURE() << label_ << ": the driver socket did not open; output:\n" << Output();
        return false;
    }
    return true;
}

// The socket's own timeouts are the hang limit of every call.
bool ProgramInstance::ConnectDriver()
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    const auto connected = [&] {
        if (driver_ >= 0)
            close(driver_);
        driver_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return connect(driver_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    };
    const timeval limit{kHangMs / 1000, 0};
    return WaitFor(connected, kHangMs) && setsockopt(driver_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0
        && setsockopt(driver_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

Answer ProgramInstance::Call(const std::vector<std::string>& command)
{
    const QByteArray line = Line(command);
    Answer answer;
    if (driver_ < 0 || send(driver_, line.data(), line.size(), MSG_NOSIGNAL) != line.size())
        return answer;
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        char buffer[4096];
        const ssize_t n = recv(driver_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return answer;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    answer.raw = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    const QJsonArray reply = QJsonDocument::fromJson(QByteArray::fromStdString(answer.raw)).array();
    answer.ok = !reply.isEmpty() && reply[0].toString() == "ok";
    for (qsizetype i = 1; i < reply.size(); ++i)
        answer.fields.push_back(reply[i].toString().toStdString());
    return answer;
}

bool ProgramInstance::Act(const std::vector<std::string>& command)
{
    const Answer answer = Call(command);
    if (!answer.ok)
        ADD_FAILURE() << label_ << ": " << Line(command).trimmed().toStdString() << " -> "
                      << (answer.raw.empty() ? "(no answer)" : answer.raw);
    return answer.ok;
}

WidgetState ProgramInstance::Text(const std::string& widget)
{
    const Answer answer = Call({"text", widget});
    if (!answer.ok || answer.fields.size() < 3)
        return {};
    return {true, answer.fields[0] == "1", answer.fields[1] == "1", answer.fields[2]};
}

ModalState ProgramInstance::Modal()
{
    const Answer answer = Call({"modal"});
    if (!answer.ok || answer.fields.size() < 3)
        return {};
    return {answer.fields[0], answer.fields[1], answer.fields[2]};
}

bool WaitFor(const std::function<bool()>& done, int ms, int everyMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
    }
    return true;
}

}  // namespace e2e
