#include "PostgresServer.h"

#include "support/ChildProcess.h"
#include "support/HangLimit.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <libpq-fe.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <pwd.h>

namespace server_tests {
namespace {

using testing_support::ChildProcess;

std::string PostgresBin(const std::string& program)
{
    std::string newest;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql"))
        newest = std::max(newest, entry.path().string());
    return newest + "/bin/" + program;
}

// Runs `sql` as the server's superuser; false (and the test fails) when it does not.
bool Admin(const std::string& conninfo, const std::string& sql)
{
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    EXPECT_TRUE(ok) << sql << ": " << PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
    return ok;
}

class PostgresServer : public ::testing::Environment {
public:
    void TearDown() override
    {
        server_.Stop(testing_support::kHangMs);
        folder_.reset();
    }

    std::string NewDatabase()
    {
        if (!folder_ && !Start())
            return {};
        const std::string name = "d" + std::to_string(++databases_);
        return Admin(Url("postgres"), "CREATE DATABASE " + name) ? Url(name) : std::string();
    }

    std::string Url(const std::string& database) const
    {
        return "postgresql://marquelin@/" + database + "?host=" + folder_->path();
    }

private:
    bool Start()
    {
        folder_ = std::make_unique<testing_support::TempDir>("marquelin-pg");
        std::vector<std::string> as;
        if (getuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || chown(folder_->path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
                return Fail("cannot hand the folder to nobody");
            as = {"/usr/sbin/runuser", "-u", "nobody", "--"};
        }
        const std::string data = folder_->File("data");
        ChildProcess initdb;
        const auto run = [&](std::vector<std::string> argv, ChildProcess& process) {
            argv.insert(argv.begin(), as.begin(), as.end());
            return process.Start(argv, ChildProcess::Inherited({}), folder_->File("log"));
        };
        if (!run({PostgresBin("initdb"), "-D", data, "-U", "marquelin", "-A", "trust", "-E", "UTF8", "--no-sync"},
                 initdb)
            || !initdb.WaitExit(testing_support::kHangMs) || initdb.ExitCode() != 0)
            return Fail("initdb failed");
        if (!run({PostgresBin("postgres"), "-D", data, "-k", folder_->path(), "-c", "listen_addresses=",
                  "-c", "fsync=off"},
                 server_))
            return Fail("postgres did not start");
        const std::string ping = "host=" + folder_->path() + " user=marquelin dbname=postgres";
        if (!testing_support::WaitUntil([&] { return !server_.Running() || PQping(ping.c_str()) == PQPING_OK; })
            || !server_.Running())
            return Fail("postgres did not come up");
        return true;
    }

    bool Fail(const std::string& what)
    {
        ADD_FAILURE() << what << ":\n" << testing_support::ReadWholeFile(folder_->File("log"));
        return false;
    }

    std::unique_ptr<testing_support::TempDir> folder_;
    ChildProcess server_;
    int databases_ = 0;
};

PostgresServer* const server = static_cast<PostgresServer*>(::testing::AddGlobalTestEnvironment(new PostgresServer));

}  // namespace

std::string NewPostgresDatabase() { return server->NewDatabase(); }

void DropPostgresConnections(const std::string& url)
{
    const std::size_t start = url.find("@/") + 2;
    const std::string database = url.substr(start, url.find('?') - start);
    Admin(server->Url("postgres"),
          "SELECT pg_terminate_backend(pid, 120000) FROM pg_stat_activity WHERE datname = '" + database + "'");
}

}  // namespace server_tests
