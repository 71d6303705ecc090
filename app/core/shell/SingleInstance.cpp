#include "core/shell/SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace shell {

SingleInstance::SingleInstance(const QString& lockPath) : lock_(std::make_unique<QLockFile>(lockPath))
{
    lock_->setStaleLockTime(0);  // only a live process keeps the lock
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + "/marquelin.lock";
}

bool SingleInstance::AnotherIsRunning()
{
    if (!held_)
        held_ = lock_->tryLock(0);
    return !held_;
}

}  // namespace shell
