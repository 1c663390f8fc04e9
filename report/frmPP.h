// The print preview: the report on a sheet of paper that zooms, scrolls and turns its
// pages, and the Print button.
#pragma once

#include "report_layout.h"
#include "report_source.h"

#include <QWidget>

#include <memory>

class QScrollBar;

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
    // Pages are counted in 64 bits: ten million result lines make some 180,000 pages.
    qint64 PageCount = 1;
    qint64 PageNum = 1;

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

  protected:
    // The wheel over the sheet scrolls it; with Shift, or tilted, across.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void HScroll_Change(int);
    void VScroll_Change(int);

  private:
    void Form_Load();
    void placePaper();
    double unitsToPixels() const;
    // Shows the bar at its start where the paper is larger than the border that way.
    void fitScrollBar(QScrollBar* bar, double paperExtent, double borderExtent, double& paperEdge);
    // A moved bar: its range follows the paper's size, the paper its value.
    void scrollBarMoved(QScrollBar* bar, double paperExtent, double borderExtent,
                        double& paperEdge);
    // The study's pages, counted again only when its lists or its results changed.
    const ReportPages& pages();
    void showPageState();

    const ReportSource& study_;
    std::unique_ptr<Ui::frmPP> ui;
    double paperLeft_ = 0, paperTop_ = 0;
    bool settingRange_ = false;
    ReportMeasures measures_;
    std::unique_ptr<ReportPages> pages_;
    struct PagesOf {
        std::weak_ptr<const StudyResult> study;
        qint64 transmit = -1, receive = -1, results = -1;
        QString notice;
    } pagesOf_;
};

} // namespace kim
