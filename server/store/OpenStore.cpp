#include "server/store/OpenStore.h"

#include "server/store/PostgresStore.h"
#include "server/store/SqliteStore.h"

namespace store {

bool IsPostgresUrl(const std::string& database)
{
    return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Store> OpenStore(const std::string& database)
{
    if (IsPostgresUrl(database))
        return std::make_unique<PostgresStore>(database);
    return std::make_unique<SqliteStore>(database);
}

}  // namespace store
