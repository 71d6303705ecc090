#pragma once

namespace account { class UrlOpener; }
namespace shell { class Dialogs; }

namespace api {

// Asks the web site which builds are current. False when this build is
// below the minimum (the user was told and the download page opened);
// true otherwise, also whenever the site cannot be reached or answers
// nonsense. Blocks without running any events.
bool CheckAppVersion(shell::Dialogs& dialogs, account::UrlOpener& urls, float secondsSinceMidnight);

}  // namespace api
