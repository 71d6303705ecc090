#pragma once

#include "server/store/Store.h"

#include <memory>
#include <string>

namespace store {

// "postgresql://..." or "postgres://...": the database several servers may share.
bool IsPostgresUrl(const std::string& database);

// The store `database` names: a PostgreSQL URL, or else an SQLite file.
std::unique_ptr<Store> OpenStore(const std::string& database);

}  // namespace store
