#include "server/DataFolder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void MakePrivateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    if (chmod(path.c_str(), 0700) != 0)
        throw std::runtime_error("cannot restrict " + path + ": " + std::strerror(errno));
}

// Regular files only, never through a symbolic link.
void MakeFilesPrivate(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir)) {
        const int fd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
            fchmod(fd, info.st_mode & 0700);
        close(fd);
    }
    closedir(dir);
}

}  // namespace

void PrepareDataFolder(const std::string& dataDir)
{
    umask(077);
    MakePrivateFolder(dataDir);
    MakePrivateFolder(dataDir + "/outbox");
    MakeFilesPrivate(dataDir);
    MakeFilesPrivate(dataDir + "/outbox");
}
