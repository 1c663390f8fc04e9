// The print preview: the report on a sheet of paper that zooms and scrolls, and the
// Print button.
#pragma once

#include "report_source.h"

#include <QWidget>

#include <memory>

namespace Ui {
class frmPP;
}

namespace kim {

class frmPP : public QWidget {
    Q_OBJECT
  public:
    // Reads the study from `study` at every drawing; `owner` is the main window.
    frmPP(QWidget* owner, const ReportSource& study);
    ~frmPP() override;

    void DrawPage();

    float LMargin = 720, RMargin = 720, TMargin = 720, BMargin = 720;
    double ScaleRatio = 1;
    double PrintWidth = 12240, PrintHeight = 15840;
    double ZoomFact = 1.0;
    qint16 Orient = 1;
    qint16 ZoomCounter = 2;
    enum class Output { Paper, Printer } OutObject = Output::Paper;
    qint16 PageCount = 1;
    qint16 PageNum = 1;

    // In border units: 14400 across the border, the same unit down.
    double borderScaleWidth() const { return 14400; }
    double borderScaleHeight() const { return 14400 / ScaleRatio; }
    double paperLeft() const { return paperLeft_; }
    double paperTop() const { return paperTop_; }
    double paperWidth() const;
    double paperHeight() const;
    // The scroll bars as the preview counts them: 0 at the left (top), down to a
    // negative value as the paper moves left (up).
    int hScrollValue() const;
    int hScrollMin() const { return 0; }
    int hScrollMax() const;
    int vScrollValue() const;
    int vScrollMin() const { return 0; }
    int vScrollMax() const;

  public slots:
    void cmdZoom_Click();
    void cmdPrint_Click();
    void cmdClose_Click();
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdSetup_Click() {}

  private slots:
    void HScroll_Change(int value);
    void VScroll_Change(int);

  private:
    void Form_Load();
    void placePaper();
    double unitsToPixels() const;

    const ReportSource& study_;
    std::unique_ptr<Ui::frmPP> ui;
    double paperLeft_ = 0, paperTop_ = 0;
    bool settingRange_ = false;
};

} // namespace kim
