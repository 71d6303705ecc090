#include "ProgramInstance.h"

#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#ifndef MARQUELIN_DRIVEN_BINARY
#define MARQUELIN_DRIVEN_BINARY ""
#endif

namespace e2e {
namespace {

namespace fs = std::filesystem;

}  // namespace

UserFolders::UserFolders(const std::string& r)
    : root(r), home(r + "/home"), config(r + "/home/.config"), runtime(r + "/runtime"), temp(r + "/temp")
{
    for (const std::string& folder : {home, config, runtime, temp})
        fs::create_directories(folder);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
}

ProgramInstance::ProgramInstance(std::string label, const UserFolders& folders, const std::string& display,
                                 const testing_support::ServerFixture& server, std::vector<std::string> launcher)
    : label_(std::move(label)), socket_(folders.root + "/" + label_ + ".sock"),
      logPath_(folders.root + "/" + label_ + ".log"), launcher_(std::move(launcher))
{
    const std::string suppressions = std::string(MARQUELIN_SOURCE_DIR) + "/tests/support/lsan.supp";
    env_ = ChildProcess::Inherited({
        {"HOME", folders.home},
        {"XDG_CONFIG_HOME", folders.config},
        {"XDG_CACHE_HOME", folders.home + "/.cache"},
        {"XDG_DATA_HOME", folders.home + "/.local/share"},
        {"XDG_RUNTIME_DIR", folders.runtime},
        {"TEMP", folders.temp},
        {"TMPDIR", folders.temp},
        {"DISPLAY", display},
        {"QT_QPA_PLATFORM", "xcb"},
        {"WAYLAND_DISPLAY", ""},
        {"SESSION_MANAGER", ""},
        {"COMPUTERNAME", "PC-" + label_},
        {"MARQUELIN_SITE", server.SiteOrigin()},
        {"MARQUELIN_CA_FILE", server.CaFile()},
        {"MARQUELIN_RELAY", server.RelayEndpoint()},
        {"MARQUELIN_DRIVER_SOCKET", socket_},
        {"LSAN_OPTIONS", "suppressions=" + suppressions},
        // Not strict_string_checks: the X keyboard library strndup()s names
        // that are not NUL-terminated, which is bounded and legitimate.
        {"ASAN_OPTIONS", "detect_leaks=1:abort_on_error=1"},
    });
}

ProgramInstance::~ProgramInstance()
{
    driver_.Close();
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
    if (!driver_.Connect(socket_, kHangMs)) {
        ADD_FAILURE() << label_ << ": the driver socket did not open; output:\n" << Output();
        return false;
    }
    return true;
}

Answer ProgramInstance::Call(const std::string& command) { return ParseAnswer(driver_.Call(command)); }

bool ProgramInstance::Act(const std::string& command)
{
    const Answer answer = Call(command);
    if (!answer.ok)
        ADD_FAILURE() << label_ << ": " << command << " -> " << (answer.raw.empty() ? "(no answer)" : answer.raw);
    return answer.ok;
}

WidgetState ProgramInstance::Text(const std::string& widget)
{
    const Answer answer = Call("text " + widget);
    if (!answer.ok || answer.fields.size() < 3)
        return {};
    return {true, answer.fields[0] == "1", answer.fields[1] == "1", answer.fields[2]};
}

ModalState ProgramInstance::Modal()
{
    const Answer answer = Call("modal");
    if (!answer.ok || answer.fields.size() < 3)
        return {};
    return {answer.fields[0], answer.fields[1], answer.fields[2]};
}

std::string ProgramInstance::Log() { return Text("frmMain/txtLog").text; }

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
