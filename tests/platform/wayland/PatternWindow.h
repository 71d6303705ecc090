#pragma once

#include "support/WaitUntil.h"

#include <QProcess>
#include <QStringList>

namespace testing_support {

// The native window under test, maximized over the headless desktop: the
// pattern, or the picture in the file `picture` (BGRX rows of the monitor's size).
class PatternWindow {
public:
    explicit PatternWindow(const QString& picture = {})
    {
        process_.start(QStringLiteral(MARQUELIN_PATTERN_CLIENT), picture.isEmpty() ? QStringList() : QStringList{picture});
        shown_ = process_.waitForStarted() && Next(QStringLiteral("shown ")) == QStringLiteral("shown 1280 800");
    }
    bool Shown() const { return shown_; }
    // The next line the window printed that starts with `prefix`.
    QString Next(const QString& prefix)
    {
        QString line;
        WaitUntil([&] {
            while (process_.canReadLine()) {
                line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(prefix))
                    return true;
            }
            return process_.state() == QProcess::NotRunning;
        }, 20000);
        return line.startsWith(prefix) ? line : QString();
    }

private:
    QProcess process_;
    bool shown_ = false;
};

}  // namespace testing_support
