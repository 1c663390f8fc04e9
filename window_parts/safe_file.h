// Every file the program writes goes through here: it is written beside its target under
// a temporary name and moved into the target's place only once every byte is on the
// disk. A write that fails (a full disk, a quota, a file-size limit) or a cancel leaves
// the earlier file as it was, and the failure carries the system's own reason.
#pragma once

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

namespace kim {

// A write-only, sequential device. Every write goes straight to the system and is
// checked; commit() flushes the file to the disk, closes it and renames it over the
// target. Destroyed without a commit, it removes its temporary file.
class SafeFile : public QIODevice {
    Q_OBJECT
  public:
    explicit SafeFile(const QString& target, QObject* parent = nullptr);
    ~SafeFile() override;

    // Creates the temporary file beside the target (the target's permissions where it
    // exists). The mode must be write-only.
    bool open(OpenMode mode = WriteOnly) override;
    // True when every byte was written; false, with the reason, when one was not.
    bool commit();
    // Removes the temporary file; the target stays as it was. Closing without a commit
    // does the same.
    void cancel();
    void close() override { cancel(); }

    bool isSequential() const override { return true; }
    QString target() const { return target_; }
    // The system's reason for the first failure ("No space left on device"); empty
    // while nothing failed.
    QString reason() const { return reason_; }
    // Bytes written so far.
    qint64 written() const { return written_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

  private:
    bool fail(int error);
    void removeTemporary();

    QString target_;
    QByteArray temporary_; // the temporary file's name, in the file system's encoding
    int fd_ = -1;
    qint64 written_ = 0;
    QString reason_;
};

// Writes `bytes` to `path` through a SafeFile. False with the system's reason in *reason
// when that failed; the earlier file stays then.
bool writeFileSafely(const QString& path, QByteArrayView bytes, QString* reason);

} // namespace kim
