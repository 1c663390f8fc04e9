// Shows what an import would add and what it refuses, line by line, before anything
// changes. The user picks the frequency and direction columns, whether a pair adds both
// its frequencies, and the list for lines that name none, then adds or cancels.
#pragma once

#include "frequency_import.h"

#include <QDialog>

#include <memory>

class QPushButton;

namespace Ui {
class frmImport;
}

namespace kim {

class ImportPreviewModel;

class frmImport : public QDialog {
    Q_OBJECT
  public:
    // `transmit` and `receive`: the lists as they are now, for the duplicate test.
    frmImport(QWidget* owner, ImportTable table, std::vector<std::string> transmit,
              std::vector<std::string> receive, ImportList whole, const QString& source);
    ~frmImport() override;

    // What Add Frequencies adds, by the current choice.
    const ImportPlan& plan() const { return plan_; }

  private:
    void reread();
    void replan();
    void showPairs();

    std::unique_ptr<Ui::frmImport> ui;
    QPushButton* cmdAddAll_;
    ImportTable table_;
    std::vector<std::string> transmit_, receive_;
    ImportPlan plan_;
    ImportPreviewModel* model_;
};

} // namespace kim
