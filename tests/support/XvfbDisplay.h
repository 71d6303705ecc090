#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"

#include <string>

namespace testing_support {

// A private Xvfb on a free display number (-displayfd), ended with the object.
class XvfbDisplay {
public:
    // Xvfb writes its display number, then a line break, once it accepts clients.
    XvfbDisplay(int width, int height, const std::string& logPath)
    {
        const QString screen = QStringLiteral("%1x%2x24").arg(width).arg(height);
        xvfb_.setStandardErrorFile(QString::fromStdString(logPath));
        xvfb_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        xvfb_.start("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"});
        while (!xvfb_.canReadLine() && xvfb_.waitForReadyRead(kHangMs)) {
        }
        const QByteArray number = xvfb_.readLine().trimmed();
        if (!number.isEmpty())
            name_ = ":" + number.toStdString();
        logPath_ = logPath;
    }

    ~XvfbDisplay()
    {
        xvfb_.terminate();
        xvfb_.waitForFinished(kHangMs);
    }

    bool Ready() const { return !name_.empty(); }
    const std::string& Name() const { return name_; }  // ":N"
    std::string Log() const { return FileText(logPath_); }

private:
    std::string name_, logPath_;
    QProcess xvfb_;  // killed and reaped by its destructor
};

}  // namespace testing_support
