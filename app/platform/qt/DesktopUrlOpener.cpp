#include "platform/qt/DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

void DesktopUrlOpener::OpenUrl(const QString& address)
{
    // Without a registered browser this returns false; nothing visible happens.
    QDesktopServices::openUrl(QUrl(address));
}

}  // namespace platform
