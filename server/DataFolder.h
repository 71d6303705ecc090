#pragma once

#include <string>

// The data folder holds the store, the TLS key and the mails with their
// codes: only the server's own user may read any of it. Everything the
// process creates from here on is private (umask 077), and what an earlier
// start or another tool left readable is tightened: the folder and outbox/
// to 0700, their files to 0600. Throws when the folder cannot be made.
void PrepareDataFolder(const std::string& dataDir);
