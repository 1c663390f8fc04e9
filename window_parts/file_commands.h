// New, Open and Save, and the load of a study named at start-up. The window that holds
// the study answers to StudyHost; these commands never reach into it otherwise.
#pragma once

#include "study.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace kim {

class StudyHost {
  public:
    virtual ~StudyHost() = default;
    virtual Study currentStudy() const = 0;
    // Site fields and separation from the study, its frequencies into emptied lists.
    virtual void loadStudy(const Study& study) = 0;
    // New: empty site fields, today's date, empty lists and results, counters "0".
    virtual void clearStudy() = 0;
    virtual void setStudyTitle(const QString& title) = 0;
    // After a load: runs the study when "Calculate as you go" is on.
    virtual void studyLoaded() = 0;
    virtual QWidget* hostWidget() = 0;
};

struct FileDialogRequest {
    bool save = false;
    QString title;
    QString directory; // the initial directory, as stored
    QString fileName;  // the initial file name: the last chosen path after a first use
    QString filter;
    QString defaultSuffix;
};

// Tests answer the file dialogs: the chosen path, or an empty text for Cancel.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;
void setFileDialogHook(FileDialogHook hook);

// Shows a file dialog (or asks the hook): the chosen path, or an empty text for Cancel.
QString askForFileName(QWidget* parent, const FileDialogRequest& request);

class FileCommands {
  public:
    explicit FileCommands(StudyHost& host) : host_(host) {}

    void New();
    void Open();
    void Save();
    void AutoLoad(const QString& strPathAndFile);

  private:
    QString askForFile(bool save, const QString& title);
    bool readInto(const QString& path, bool missingFolderIsPathNotFound);
    void fail(const QString& description);

    StudyHost& host_;
    QString fileName_ = QStringLiteral("Defaut.int");
    QString defaultExt_ = QStringLiteral("int");
};

// The file dialogs' first folder until "Last Dir" is stored: the executable's folder where
// the user may write there (a build tree, a portable copy), else the user's documents.
QString programFolder(const QString& executableFolder = QCoreApplication::applicationDirPath());

// "Korvane Intermod (Beta) - [path]"
QString studyTitle(const QString& path);

} // namespace kim
