// A folder whose disk fills up on request. Where the tests may mount one (as root), it
// is a small tmpfs of its own, filled to the last few pages; elsewhere a limit on the size
// of the files this process writes stands in for it. Either way the kernel takes part of
// a write and refuses the rest, as on a full disk, and says why.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace testing {

class FullDisk {
  public:
    FullDisk() {
        mounted_ = geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(),
                                             "tmpfs", 0, "size=2m,mode=0700") == 0;
    }
    ~FullDisk() {
        release();
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool isRealDisk() const { return mounted_; }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    // The files the folder holds, the filler aside.
    QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files); }

    // From now on the folder takes about `room` more bytes (on a tmpfs, whole pages).
    void fill(qint64 room) {
        if (mounted_) {
            const QByteArray filler = QFile::encodeName(dir_.filePath(".filler"));
            filler_ = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const std::vector<char> block(65536, 'x');
            qint64 size = 0;
            for (ssize_t n; (n = ::write(filler_, block.data(), block.size())) > 0;)
                size += n;
            const qint64 page = sysconf(_SC_PAGESIZE);
            if (room > 0 && ::ftruncate(filler_, std::max<qint64>(0, size - (room + page - 1) /
                                                                                page * page)) != 0)
                qWarning("the filler could not make room");
            return;
        }
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = static_cast<rlim_t>(room);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        limited_ = true;
    }
    // The disk has room again.
    void release() {
        if (filler_ >= 0) {
            ::close(filler_);
            ::unlink(QFile::encodeName(dir_.filePath(".filler")).constData());
            filler_ = -1;
        }
        if (limited_) {
            setrlimit(RLIMIT_FSIZE, &old_);
            std::signal(SIGXFSZ, oldHandler_);
            limited_ = false;
        }
    }
    // What the system says when a write does not fit.
    QString reason() const {
        return QString::fromLocal8Bit(std::strerror(mounted_ ? ENOSPC : EFBIG));
    }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    int filler_ = -1;
    bool limited_ = false;
    struct rlimit old_ {};
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace testing
