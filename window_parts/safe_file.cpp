#include "safe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kim {

SafeFile::SafeFile(const QString& target, QObject* parent) : QIODevice(parent), target_(target) {}

SafeFile::~SafeFile() {
    removeTemporary();
}

bool SafeFile::fail(int error) {
    if (reason_.isEmpty()) {
        reason_ = QString::fromLocal8Bit(std::strerror(error));
        setErrorString(reason_);
    }
    return false;
}

void SafeFile::removeTemporary() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
    temporary_.clear();
}

bool SafeFile::open(OpenMode mode) {
    if (isOpen() || (mode & ReadOnly) || !(mode & WriteOnly)) return false;
    reason_.clear();
    written_ = 0;
    const QByteArray target = QFile::encodeName(target_);
    // The earlier file's permissions carry over; a new file gets the usual ones.
    struct stat earlier {};
    const bool exists = ::stat(target.constData(), &earlier) == 0;
    if (exists && S_ISDIR(earlier.st_mode)) return fail(EISDIR);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        QByteArray name = target + '.';
        for (int i = 0; i < 6; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            temporary_ = name;
        else if (errno != EEXIST)
            return fail(errno);
    }
    if (fd_ < 0) return fail(EEXIST);
    if (exists) ::fchmod(fd_, earlier.st_mode & 07777);
    return QIODevice::open(WriteOnly | Unbuffered);
}

qint64 SafeFile::writeData(const char* data, qint64 size) {
    if (fd_ < 0 || !reason_.isEmpty()) return -1;
    // A full disk often takes part of a write and refuses the rest: the rest is written
    // again, so that the refusal comes with its reason.
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            return -1;
        }
        done += n;
    }
    written_ += done;
    return done;
}

bool SafeFile::commit() {
    if (fd_ < 0 || !isOpen()) return false;
    bool ok = reason_.isEmpty();
    // Some file systems (network ones, quotas) tell of a failed write only here.
    if (ok && ::fsync(fd_) != 0) ok = fail(errno);
    if (::close(fd_) != 0 && ok) ok = fail(errno);
    fd_ = -1;
    if (ok && std::rename(temporary_.constData(), QFile::encodeName(target_).constData()) != 0)
        ok = fail(errno);
    if (ok) {
        temporary_.clear();
        // The rename itself on the disk; a folder that cannot be synced is no failure.
        const QByteArray folder = QFile::encodeName(QFileInfo(target_).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    removeTemporary();
    QIODevice::close();
    return ok;
}

void SafeFile::cancel() {
    removeTemporary();
    if (isOpen()) QIODevice::close();
}

bool writeFileSafely(const QString& path, QByteArrayView bytes, QString* reason) {
    SafeFile file(path);
    if (file.open() && file.write(bytes.data(), bytes.size()) == bytes.size() && file.commit())
        return true;
    *reason = file.reason();
    return false;
}

} // namespace kim
