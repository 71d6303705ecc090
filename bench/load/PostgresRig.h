#pragma once

#include "server/ProcessUnderTest.h"

#include <memory>
#include <string>

namespace load {

// A PostgreSQL server of the run's own: initdb in a fresh folder under /tmp,
// a Unix socket there and no TCP, as nobody when the run is root's (initdb
// refuses root), with pg_stat_statements loaded so that what the nodes ask
// of it can be counted. Otherwise PostgreSQL's defaults (fsync on).
class PostgresRig {
public:
    PostgresRig();
    ~PostgresRig();
    bool Started() const { return started_; }
    // The nodes' database, as --database takes it.
    std::string Url() const;
    pid_t Pid() const { return process_ ? process_->Pid() : -1; }  // the postmaster: its backends are its children
    const std::string& Folder() const { return folder_; }
    void KeepFolder() { keep_ = true; }

    // What the nodes' database has executed so far: statements, and their time.
    struct Executed {
        double statements = 0;
        double ms = 0;
    };
    Executed ExecutedSoFar() const;

private:
    bool Start();
    std::string folder_;
    std::unique_ptr<ProcessUnderTest> process_;
    bool started_ = false;
    bool keep_ = false;
};

}  // namespace load
