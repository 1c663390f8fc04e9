#include "file_commands.h"

#include "message_box.h"
#include "safe_file.h"
#include "settings_store.h"
#include "study_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace kim {

namespace {
FileDialogHook& dialogHook() {
    static FileDialogHook h;
    return h;
}

const QString kFilter = QStringLiteral("Korvane Intermod (*.int)");

bool folderMissing(const QString& path) {
    return !QFileInfo(path).absoluteDir().exists();
}

} // namespace

QString askForFileName(QWidget* parent, const FileDialogRequest& r) {
    if (dialogHook()) return dialogHook()(r);
    QFileDialog dialog(parent, r.title, QString(), r.filter);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A name that does not exist is taken too: opening it then fails with a message.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.resize(760, 480);
    dialog.setDefaultSuffix(r.defaultSuffix);
    // A stored directory that names a file opens its folder.
    QFileInfo dir(r.directory);
    dialog.setDirectory(dir.isDir() || !dir.exists() ? r.directory : dir.path());
    if (QFileInfo(r.fileName).isAbsolute()) dialog.setDirectory(QFileInfo(r.fileName).path());
    dialog.selectFile(r.fileName);
    // Where filters name different types, the chosen filter gives a typed name its suffix.
    if (r.filter.contains(QLatin1String(";;"))) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& filter) {
                             const qsizetype star = filter.indexOf(QLatin1String("*."));
                             if (star < 0) return;
                             const qsizetype end = filter.indexOf(QRegularExpression("[ )]"), star);
                             dialog.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
                         });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void setFileDialogHook(FileDialogHook hook) {
    dialogHook() = std::move(hook);
}

QString programFolder(const QString& executableFolder) {
    // An installed program's folder is the system's: its documents folder serves the user.
    if (QFileInfo(executableFolder).isWritable()) return executableFolder;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString studyTitle(const QString& path) {
    return kProgramTitle + " - [" + path + "]";
}

QString FileCommands::askForFile(bool save, const QString& title) {
    FileDialogRequest r;
    r.save = save;
    r.title = title;
    r.directory = settings::lastDir(programFolder());
    r.fileName = fileName_;
    r.filter = kFilter;
    // "*.int" as a default extension means "int" to this dialog.
    r.defaultSuffix = QString(defaultExt_).remove(QStringLiteral("*."));
    const QString chosen = askForFileName(host_.hostWidget(), r);
    if (!chosen.isEmpty()) fileName_ = chosen;
    return chosen;
}

void FileCommands::fail(const QString& description) {
    showMessage(host_.hostWidget(), QStringLiteral("Error!"), description, MessageIcon::Error);
}

void FileCommands::New() {
    host_.clearStudy();
    host_.setStudyTitle(kProgramTitle + " - [New]");
}

// The whole file is read before the study is touched: a failed read leaves the study,
// the lists, the results and the title as they were.
bool FileCommands::readInto(const QString& path, bool missingFolderIsPathNotFound) {
    if (missingFolderIsPathNotFound && folderMissing(path)) {
        fail(QStringLiteral("Path Not Found"));
        return false;
    }
    const StudyReadResult read = readStudyFile(path.toStdString());
    if (!read.ok) {
        fail(QString::fromStdString(read.error));
        return false;
    }
    host_.setStudyTitle(studyTitle(path));
    host_.loadStudy(read.study);
    host_.studyLoaded();
    return true;
}

void FileCommands::Open() {
    defaultExt_ = QStringLiteral("*.int");
    const QString initialDir = settings::lastDir(programFolder());
    const QString path = askForFile(false, QStringLiteral("Open File:"));
    if (path.isEmpty()) return;
    settings::setLastDir(initialDir);
    readInto(path, true);
}

void FileCommands::Save() {
    const QString path = askForFile(true, QStringLiteral("Save As:"));
    if (path.isEmpty()) return;
    settings::setLastDir(path);
    if (folderMissing(path)) {
        fail(QStringLiteral("Path Not Found"));
        return;
    }
    // Written beside the old file and put in its place only once whole.
    const std::string bytes = encodeStudy(host_.currentStudy());
    QString why;
    if (!writeFileSafely(path, QByteArrayView(bytes.data(), qsizetype(bytes.size())), &why)) {
        fail(why);
        return;
    }
    host_.setStudyTitle(studyTitle(path));
}

void FileCommands::AutoLoad(const QString& strPathAndFile) {
    settings::setLastDir(strPathAndFile);
    readInto(strPathAndFile, false);
}

} // namespace kim
