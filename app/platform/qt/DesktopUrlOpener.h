#pragma once

#include "core/account/UrlOpener.h"

namespace platform {

// Opens web pages through the desktop's registered browser.
class DesktopUrlOpener final : public account::UrlOpener {
public:
    void OpenUrl(const QString& address) override;
};

}  // namespace platform
