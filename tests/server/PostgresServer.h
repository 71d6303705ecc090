#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace server_tests {

// A URL of a new, empty database on the test binary's own PostgreSQL server:
// started at the first call (initdb in a temporary folder, a Unix socket
// only; as nobody when the tests run as root, which initdb refuses), and
// stopped when the tests end. Fails the test and returns "" when it cannot.
std::string NewPostgresDatabase();

// Ends every connection to that database, as a restarted server would.
void DropPostgresConnections(const std::string& url);

// The stores the store's tests run on, and where a fresh test keeps its
// data on one: `sqliteFile`, or a new PostgreSQL database.
inline const auto kStores = ::testing::Values("sqlite", "postgresql");
inline std::string StoreName(const ::testing::TestParamInfo<const char*>& info) { return info.param; }
inline std::string NewStoreTarget(std::string_view store, const std::string& sqliteFile)
{
    return store == "sqlite" ? sqliteFile : NewPostgresDatabase();
}

}  // namespace server_tests
