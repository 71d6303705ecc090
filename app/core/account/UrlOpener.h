#pragma once

#include <QString>

namespace account {

// Seam: opens an address with the user's default handler (the browser).
// Failures are the backend's to swallow; nothing is reported back.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void OpenUrl(const QString& address) = 0;
};

}  // namespace account
