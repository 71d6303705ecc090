#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support { class ServerFixture; }

namespace e2e {

using testing_support::ChildProcess;
using testing_support::kHangMs;

// A driver's answer: "ok" or "err", then its fields.
struct Answer {
    bool ok = false;
    std::vector<std::string> fields;
    std::string raw;
};

struct WidgetState {
    bool found = false;
    bool enabled = false;
    bool visible = false;
    std::string text;
};

struct ModalState {
    std::string name, title, text;  // all "" when no modal window is open
};

// One marquelin_driven process on its own display, pointed at the server,
// and the test's end of its driver socket. Its home, settings, runtime and
// temporary folders are under `folder`: two programs given the same folder
// are the same user on the same computer. `launcher` is a command prefix
// that starts it on another host (see RunOn).
class ProgramInstance {
public:
    ProgramInstance(std::string label, const std::string& folder, const std::string& display,
                    const testing_support::ServerFixture& server, std::vector<std::string> launcher = {});
    ~ProgramInstance();

    const std::string& label() const { return label_; }
    bool Start();

    // One command out, one answer back; a program busy in a blocking web
    // request answers late, not never, so only a hang ends the wait.
    Answer Call(const std::vector<std::string>& command);
    // Runs a user's action; false (and the driver's reason in the failure) unless it answered ok.
    bool Act(const std::vector<std::string>& command);
    WidgetState Text(const std::string& widget);
    ModalState Modal();
    std::string Log() { return Text("frmMain/txtLog").text; }

    pid_t Pid() const { return process_.pid(); }
    bool WaitExit(int ms) { return process_.WaitExit(ms); }
    int ExitCode() const { return process_.ExitCode(); }
    std::string Output() const { return process_.Output(); }

private:
    bool ConnectDriver();

    std::string label_;
    std::string socket_;
    std::string logPath_;
    std::vector<std::string> launcher_;
    ChildProcess::Environment env_;
    ChildProcess process_;
    int driver_ = -1;
    std::string pending_;
};

// Polls `done` until it holds or `ms` pass (the programs run in other processes).
bool WaitFor(const std::function<bool()>& done, int ms, int everyMs = 50);

}  // namespace e2e
