#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace shell {

// One running program per user session: a lock file in the user's runtime
// folder, held for the life of the object and freed by the system if the
// process dies.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = DefaultLockPath());
    ~SingleInstance();

    // True when another program already holds the lock.
    bool AnotherIsRunning();

    static QString DefaultLockPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

}  // namespace shell
