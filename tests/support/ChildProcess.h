#pragma once

#include <QProcess>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <vector>

namespace testing_support {

inline std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A child process of the test, with its own environment and its output in a
// file. The destructor ends it (SIGTERM, then SIGKILL) if it still runs, so
// a failing test leaves nothing behind; a killed test takes it along too.
// Works without an event loop: every wait polls the process itself.
class ChildProcess {
public:
    // The test's own environment with `changes` applied (an empty value unsets).
    static QProcessEnvironment Inherited(const std::map<std::string, std::string>& changes)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : changes)
            if (value.empty())
                env.remove(QString::fromStdString(name));
            else
                env.insert(QString::fromStdString(name), QString::fromStdString(value));
        return env;
    }

    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` with `env`; standard output and error go to `logPath`.
    bool Start(const std::vector<std::string>& argv, const QProcessEnvironment& env, const std::string& logPath)
    {
        logPath_ = logPath;
        QStringList args;
        for (const std::string& arg : argv)
            args << QString::fromStdString(arg);
        process_.setProgram(args.takeFirst());
        process_.setArguments(args);
        process_.setProcessEnvironment(env);
        process_.setStandardInputFile(QProcess::nullDevice());
        process_.setStandardOutputFile(QString::fromStdString(logPath), QIODevice::Append);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start();
        return process_.waitForStarted(-1);
    }

    bool Running()
    {
        process_.waitForFinished(0);  // notices an exit without an event loop
        return process_.state() != QProcess::NotRunning;
    }

    // Waits up to `ms` for the exit; true when it ended (see ExitCode()).
    bool WaitExit(int ms)
    {
        process_.waitForFinished(ms);
        return !Running();
    }

    // SIGTERM, `graceMs` to end, then SIGKILL.
    void Stop(int graceMs = 3000)
    {
        if (!Running())
            return;
        process_.terminate();
        if (!WaitExit(graceMs)) {
            process_.kill();
            WaitExit(5000);
        }
    }

    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    // -1 while running or when killed by a signal
    int ExitCode() const
    {
        const bool ended = process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit;
        return ended ? process_.exitCode() : -1;
    }
    std::string Output() const { return FileText(logPath_); }

private:
    QProcess process_;
    std::string logPath_;
};

}  // namespace testing_support
