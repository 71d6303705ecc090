#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"
#include "DriverClient.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support { class ServerFixture; }

namespace e2e {

using testing_support::ChildProcess;
using testing_support::kHangMs;

// Where one computer's user lives: home, settings, runtime folder (0700) and
// temporary folder under `root`. Two programs given the same folders are the
// same user on the same computer.
struct UserFolders {
    explicit UserFolders(const std::string& root);
    std::string root, home, config, runtime, temp;
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
// and the line client of its driver socket. `launcher` is a command prefix
// that starts it on another host (see RunOn).
class ProgramInstance {
public:
    ProgramInstance(std::string label, const UserFolders& folders, const std::string& display,
                    const testing_support::ServerFixture& server, std::vector<std::string> launcher = {});
    ~ProgramInstance();

    const std::string& label() const { return label_; }
    bool Start();

    Answer Call(const std::string& command);
    // Runs a user's action; false (and the driver's reason in the failure) unless it answered ok.
    bool Act(const std::string& command);
    WidgetState Text(const std::string& widget);
    ModalState Modal();
    std::string Log();

    bool Running() { return process_.Running(); }
    pid_t Pid() const { return process_.pid(); }
    bool WaitExit(int ms) { return process_.WaitExit(ms); }
    int ExitCode() const { return process_.ExitCode(); }
    std::string Output() const { return process_.Output(); }

private:
    std::string label_;
    std::string socket_;
    std::string logPath_;
    std::vector<std::string> launcher_;
    ChildProcess::Environment env_;
    ChildProcess process_;
    DriverClient driver_;
};

// Polls `done` until it holds or `ms` pass (the programs run in other processes).
bool WaitFor(const std::function<bool()>& done, int ms, int everyMs = 50);

}  // namespace e2e
