#include "core/imaging/FileBytes.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

bool Fail(QString* error, const QString& path, const char* what)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(what));
    return false;
}

// A descriptor closed on every path out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, since a failed close can be the first sign of a lost write.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

bool ReadWholeFile(const QString& path, QByteArray* bytes, QString* error)
{
    bytes->clear();
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.get() < 0)
        return Fail(error, path, std::strerror(errno));
    struct stat st {};
    if (fstat(file.get(), &st) != 0)
        return Fail(error, path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Fail(error, path, "not a regular file");
    if (st.st_size == 0)
        return Fail(error, path, "file is empty");
    if (st.st_size > kMaxFileBytes)
        return Fail(error, path, "file too large");

    bytes->resize(static_cast<qsizetype>(st.st_size));
    qsizetype done = 0;
    while (done < bytes->size()) {
        const ssize_t n = ::read(file.get(), bytes->data() + done, static_cast<size_t>(bytes->size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            bytes->clear();
            return Fail(error, path, n < 0 ? std::strerror(errno) : "file shrank while read");
        }
        done += n;
    }
    return true;
}

bool RemoveFile(const QString& path, QString* error)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    return Fail(error, path, std::strerror(errno));
}

bool ReplaceFile(const QString& path, QByteArrayView bytes, QString* error)
{
    if (!RemoveFile(path, error))
        return false;
    // O_EXCL: a link or file that appeared since the removal is refused, not followed.
    const QByteArray native = QFile::encodeName(path);
    FileDescriptor file(::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return Fail(error, path, std::strerror(errno));
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !file.Close()) {
        const int cause = errno;
        ::unlink(native.constData());
        return Fail(error, path, std::strerror(cause));
    }
    return true;
}

}  // namespace imaging
