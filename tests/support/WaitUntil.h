#pragma once

#include "support/HangLimit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace testing_support {

// Runs the event loop until `done` holds or `ms` pass; true when it held.
// Socket events arrive only through the loop, so tests of the link wait here.
inline bool WaitUntil(const std::function<bool()>& done, int ms = kHangMs)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Lets the event loop run for `ms`, for checking that something does not
// happen; prefer waiting for a later event that must come after it.
inline void RunEvents(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

}  // namespace testing_support
