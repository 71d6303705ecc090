#include "core/imaging/TempFolder.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

QString BaseFolder()
{
    for (const char* name : {"TEMP", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("/tmp");
}

bool Fail(QString* error, const QString& path, const char* what)
{
    if (error)
        *error = QStringLiteral("temporary folder %1: %2").arg(path, QString::fromLocal8Bit(what));
    return false;
}

}  // namespace

bool TempFolder::Prepare(QString* error)
{
    path_ = QDir::cleanPath(BaseFolder() + QStringLiteral("/marquelin-%1").arg(geteuid()));
    const QByteArray native = QFile::encodeName(path_);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return Fail(error, path_, std::strerror(errno));

    // Opened without following a link, then checked through the descriptor,
    // so what is checked is what the files will go into.
    const int fd = open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, path_, errno == ELOOP || errno == ENOTDIR ? "not a folder" : std::strerror(errno));
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    const char* why = ok ? nullptr : std::strerror(errno);
    if (ok && st.st_uid != geteuid()) {
        ok = false;
        why = "owned by another user";
    }
    if (ok && (st.st_mode & 077) != 0 && fchmod(fd, 0700) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    close(fd);
    return ok || Fail(error, path_, why);
}

}  // namespace imaging
