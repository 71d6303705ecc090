#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifndef MARQUELIN_DRIVEN_BINARY
#define MARQUELIN_DRIVEN_BINARY ""
#endif

namespace e2e {

using testing_support::ChildProcess;
using testing_support::kHangMs;

// Polls `done` until it holds or `ms` pass (the programs run in other
// processes; the test's own objects get their events meanwhile).
inline bool WaitFor(const std::function<bool()>& done, int ms = kHangMs, int everyMs = 50)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
    }
    return true;
}

inline bool Contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }

// A driver's answer: "ok" or "err", then its fields (an error's reason); empty when none came.
using Answer = std::vector<std::string>;
inline bool Ok(const Answer& answer) { return !answer.empty() && answer[0] == "ok"; }

struct WidgetState {
    bool found = false;
    bool enabled = false;
    bool visible = false;
    std::string text;
    std::string name;  // its object name, else its class
};

// One marquelin_driven process on its own display, pointed at the server,
// and the test's end of its driver socket. Its home, settings, runtime and
// temporary folders are under `folder`: two programs given the same folder
// are the same user on the same computer. `launcher` is a command prefix
// that starts it on another host (see RunOn); `desktop` changes its
// environment further (another desktop session).
class ProgramInstance {
public:
    ProgramInstance(std::string label, const std::string& folder, const std::string& display,
                    const testing_support::Service& server, std::vector<std::string> launcher,
                    const ChildProcess::Environment& desktop = {})
        : label_(std::move(label)), socket_(folder + "/" + label_ + ".sock"),
          logPath_(folder + "/" + label_ + ".log"), argv_(std::move(launcher))
    {
        namespace fs = std::filesystem;
        argv_.push_back(MARQUELIN_DRIVEN_BINARY);
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
        for (const auto& [name, value] : desktop)
            env_[name] = value;
    }
    ~ProgramInstance()
    {
        driver_.abort();
        process.Stop();
    }

    const std::string& label() const { return label_; }

    bool Start()
    {
        if (!process.Start(argv_, env_, logPath_)) {
            ADD_FAILURE() << label_ << ": cannot start " << MARQUELIN_DRIVEN_BINARY;
            return false;
        }
        // The driver listens as soon as the program's application object exists.
        const auto connected = [this] {
            driver_.connectToServer(QString::fromStdString(socket_));
            return driver_.waitForConnected(kHangMs);
        };
        if (!WaitFor(connected)) {
            ADD_FAILURE() << label_ << ": the driver socket did not open; output:\n" << process.Output();
            return false;
        }
        return true;
    }

    // One command out, one answer back; a program busy in a blocking web
    // request answers late, not never, so only a hang ends the wait.
    Answer Call(const std::vector<std::string>& command)
    {
        Answer answer;
        if (driver_.write(Line(command)) < 0)
            return answer;
        driver_.flush();
        while (!driver_.canReadLine())
            if (!driver_.waitForReadyRead(kHangMs))
                return answer;
        for (const QJsonValue& word : QJsonDocument::fromJson(driver_.readLine()).array())
            answer.push_back(word.toString().toStdString());
        return answer;
    }

    // Runs a user's action; false (and the driver's reason in the failure) unless it answered ok.
    bool Act(const std::vector<std::string>& command)
    {
        const Answer answer = Call(command);
        if (!Ok(answer))
            ADD_FAILURE() << label_ << ": " << Line(command).trimmed().toStdString() << " -> "
                          << (answer.empty() ? "(no answer)" : answer.back());
        return Ok(answer);
    }

    // A widget as "window/name", a window, or "modal" for the active modal window.
    WidgetState Text(const std::string& widget)
    {
        const Answer a = Call({"text", widget});
        if (!Ok(a) || a.size() < 5)
            return {};
        return {true, a[1] == "1", a[2] == "1", a[3], a[4]};
    }

    std::string Log() { return Text("frmMain/txtLog").text; }

    ChildProcess process;

private:
    static QByteArray Line(const std::vector<std::string>& command)
    {
        QJsonArray words;
        for (const std::string& word : command)
            words.append(QString::fromStdString(word));
        return QJsonDocument(words).toJson(QJsonDocument::Compact) + '\n';
    }

    std::string label_;
    std::string socket_;
    std::string logPath_;
    std::vector<std::string> argv_;
    ChildProcess::Environment env_;
    QLocalSocket driver_;
};

}  // namespace e2e
