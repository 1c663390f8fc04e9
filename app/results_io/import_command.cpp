#include "import_command.h"

#include "file_commands.h"
#include "frmImport.h"
#include "message_box.h"
#include "settings_store.h"

#include <QFile>
#include <QFileInfo>

namespace kim {

bool readImportFile(QWidget* parent, std::string* text, QString* name) {
    FileDialogRequest r;
    r.title = QStringLiteral("Import Frequencies");
    r.directory = settings::lastDir(programFolder());
    r.filter = QStringLiteral("Frequency lists (*.csv *.txt);;All files (*)");
    const QString path = askForFileName(parent, r);
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    QFile file(path);
    QString failure;
    if (!info.exists())
        failure = QStringLiteral("The file does not exist.");
    else if (!info.isFile())
        failure = QStringLiteral("This is not a regular file.");
    else if (info.size() > qint64(kMaxImportBytes))
        failure = QStringLiteral("The file is larger than 16 MB: it is not a list of frequencies.");
    else if (!file.open(QIODevice::ReadOnly))
        failure = file.errorString();
    if (!failure.isEmpty()) {
        showMessage(parent, QStringLiteral("Error!"), failure, MessageIcon::Error);
        return false;
    }
    *text = file.read(qint64(kMaxImportBytes) + 1).toStdString();
    *name = info.fileName();
    return true;
}

std::vector<ImportChoice> chooseImport(QWidget* parent, const std::string& text,
                                       const QString& source, std::vector<std::string> transmit,
                                       std::vector<std::string> receive, bool toTransmit) {
    ImportTable table = parseFrequencies(text);
    if (!table.error.empty()) {
        showMessage(parent, QStringLiteral("Import Refused!"), QString::fromStdString(table.error),
                    MessageIcon::Error);
        return {};
    }
    frmImport dialog(parent, std::move(table), std::move(transmit), std::move(receive),
                     toTransmit ? ImportList::Transmit : ImportList::Receive, source);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.plan().added;
}

} // namespace kim
