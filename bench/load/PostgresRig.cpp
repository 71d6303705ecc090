#include "load/PostgresRig.h"

#include "load/ServerRig.h"

#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace load {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDatabase = "marquelin";
constexpr int kStartMs = 60000;

std::string PostgresBin(const std::string& program)
{
    std::string newest;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
        newest = std::max(newest, entry.path().string());
    return newest + "/bin/" + program;
}

// How the folder's owner runs a program: as nobody under root, as ourselves otherwise.
std::vector<std::string> AsOwner(std::vector<std::string> argv)
{
    const passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr;
    if (nobody)
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                                   "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"});
    return argv;
}

// The first row of `sql` on `conninfo`, its columns as text; empty when it failed.
std::vector<std::string> Query(const std::string& conninfo, const std::string& sql)
{
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    std::vector<std::string> row;
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
        for (int column = 0; column < PQnfields(result); ++column)
            row.emplace_back(PQgetvalue(result, 0, column));
    } else if (status == PGRES_COMMAND_OK) {
        row.emplace_back();
    } else {
        std::printf("load: postgres: %s: %s", sql.c_str(), PQerrorMessage(conn));
    }
    PQclear(result);
    PQfinish(conn);
    return row;
}

}  // namespace

PostgresRig::PostgresRig() : folder_(MakeRunFolder("postgres"))
{
    started_ = !folder_.empty() && Start();
    if (!started_)
        std::printf("load: postgres did not start (log in %s/log)\n", folder_.c_str());
}

PostgresRig::~PostgresRig()
{
    process_.reset();
    std::error_code ec;
    if (!keep_ && started_)
        fs::remove_all(folder_, ec);
}

bool PostgresRig::Start()
{
    const passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr;
    if (nobody && chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
        return false;
    const std::string data = folder_ + "/data", log = folder_ + "/log";
    ProcessUnderTest initdb(AsOwner({PostgresBin("initdb"), "-D", data, "-U", "marquelin", "-A", "trust", "-E",
                                     "UTF8"}),
                            log);
    if (initdb.WaitExit(kStartMs) != 0)
        return false;
    process_ = std::make_unique<ProcessUnderTest>(
        AsOwner({PostgresBin("postgres"), "-D", data, "-k", folder_, "-c", "listen_addresses=", "-c",
                 "shared_preload_libraries=pg_stat_statements"}),
        log);
    const std::string admin = "host=" + folder_ + " user=marquelin dbname=postgres";
    for (int waited = 0; PQping(admin.c_str()) != PQPING_OK; waited += 50) {
        if (waited > kStartMs || !process_->Alive())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !Query(admin, std::string("CREATE DATABASE ") + kDatabase).empty()
        && !Query(admin, "CREATE EXTENSION pg_stat_statements").empty();
}

std::string PostgresRig::Url() const
{
    return "postgresql://marquelin@/" + std::string(kDatabase) + "?host=" + folder_;
}

PostgresRig::Executed PostgresRig::ExecutedSoFar() const
{
    const std::vector<std::string> row = Query(
        "host=" + folder_ + " user=marquelin dbname=postgres",
        "SELECT coalesce(sum(calls), 0), coalesce(sum(total_exec_time), 0) FROM pg_stat_statements s "
        "JOIN pg_database d ON d.oid = s.dbid WHERE d.datname = '" + std::string(kDatabase) + "'");
    return row.size() == 2 ? Executed{std::stod(row[0]), std::stod(row[1])} : Executed{};
}

}  // namespace load
