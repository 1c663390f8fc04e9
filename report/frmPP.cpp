#include "frmPP.h"

#include "message_box.h"
#include "painter_surface.h"
#include "printing.h"
#include "report_renderer.h"
#include "settings_store.h"
#include "ui_frmPP.h"

#include <QApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QWheelEvent>

#include <cmath>

namespace kim {

namespace {
// Halves to the even neighbour, as the preview rounds everywhere.
int roundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// A page's size in twips from its definition: points and millimetres as the page size
// gives them would round A4 to 595 by 842 points.
QSizeF pageTwips(const QPageSize& size) {
    const QSizeF d = size.definitionSize();
    switch (size.definitionUnits()) {
    case QPageSize::Point:
        return d * 20;
    case QPageSize::Inch:
        return d * 1440;
    case QPageSize::Millimeter:
        return d * (1440 / 25.4);
    default:
        return size.size(QPageSize::Millimeter) * (1440 / 25.4);
    }
}
} // namespace

frmPP::frmPP(QWidget* owner, const ReportSource& study)
    : QWidget(owner, Qt::Window), study_(study), ui(std::make_unique<Ui::frmPP>()) {
    ui->setupUi(this);
    connect(ui->cmdZoom, &QPushButton::clicked, this, &frmPP::cmdZoom_Click);
    connect(ui->cmdPrint, &QPushButton::clicked, this, &frmPP::cmdPrint_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmPP::cmdClose_Click);
    connect(ui->cmdNext, &QPushButton::clicked, this, &frmPP::cmdNext_Click);
    connect(ui->cmdPrevious, &QPushButton::clicked, this, &frmPP::cmdPrevious_Click);
    connect(ui->cmdSetup, &QPushButton::clicked, this, &frmPP::cmdSetup_Click);
    // Dragging the thumb and a changed value do the same.
    connect(ui->HScroll, &QScrollBar::valueChanged, this, &frmPP::HScroll_Change);
    connect(ui->VScroll, &QScrollBar::valueChanged, this, &frmPP::VScroll_Change);
    ui->PicPaper->installEventFilter(this);
    ui->picBord->installEventFilter(this);
    Form_Load();
}

frmPP::~frmPP() = default;

double frmPP::unitsToPixels() const {
    return ui->picBord->width() / borderScaleWidth();
}

// The printer's paper, so that the sheet has the proportions of the page printed.
double frmPP::paperWidth() const {
    return (Orient == 2 ? PrintHeight : PrintWidth) * ZoomFact;
}
double frmPP::paperHeight() const {
    return (Orient == 2 ? PrintWidth : PrintHeight) * ZoomFact;
}

int frmPP::hScrollValue() const {
    return -ui->HScroll->value();
}
int frmPP::hScrollMax() const {
    return -ui->HScroll->maximum();
}
int frmPP::vScrollValue() const {
    return -ui->VScroll->value();
}
int frmPP::vScrollMax() const {
    return -ui->VScroll->maximum();
}

void frmPP::Form_Load() {
    PageNum = 1;
    OutObject = Output::Paper;
    const QPageLayout layout = appPrinter().pageLayout();
    Orient = layout.orientation() == QPageLayout::Portrait ? 1 : 2;
    LMargin = RMargin = TMargin = BMargin = 720;
    // The page's size as it stands upright, in whole twips: PrintWidth is the
    // vertical extent of a landscape page.
    const QSizeF page = pageTwips(layout.pageSize());
    PrintWidth = std::round(page.width());
    PrintHeight = std::round(page.height());
    // The pages are the printer's as it is set up now.
    measures_ = measurePrinter(appPrinter());
    PageCount = pages().pageCount();

    // As large as the screen, over it.
    const QScreen* screen = this->screen();
    const QRect s = screen ? screen->geometry() : QRect(0, 0, 1280, 1024);
    setGeometry(s);
    const double twip = logicalDpiX() / 1440.0; // pixels a twip
    const int buttonW = roundEven(960 * twip), buttonH = roundEven(330 * twip);
    const int barThickness = roundEven(240 * twip);
    const int W = s.width(), H = s.height();

    ui->picToolBar->setGeometry(0, 0, W, buttonH);
    int x = W / 10;
    ui->cmdPrint->setGeometry(x, 0, buttonW, buttonH);
    x += buttonW;
    ui->cmdSetup->setGeometry(x, 0, buttonW, buttonH);
    ui->cmdZoom->setGeometry(x, 0, buttonW, buttonH);
    x += buttonW;
    ui->cmdClose->setGeometry(x, 0, buttonW, buttonH);
    x += buttonW;
    ui->cmdNext->setGeometry(x, 0, buttonW, buttonH);
    x += buttonW;
    ui->cmdPrevious->setGeometry(x, 0, buttonW, buttonH);
    x += buttonW;
    ui->lblPage->setGeometry(x + buttonW / 4, 0, 3 * buttonW, buttonH);
    ui->cmdNext->setEnabled(false);
    ui->cmdPrevious->setEnabled(false);
    ui->cmdSetup->setVisible(false);
    ui->cmdNext->setEnabled(PageCount != 1);

    const int bordTop = buttonH;
    const int bordH = roundEven(0.9 * H - barThickness);
    const int bordW = roundEven(0.95 * W - barThickness);
    const int bordLeft = (W - bordW) / 2;
    ui->picBord->setGeometry(bordLeft, bordTop, bordW, bordH);
    QPalette grey = ui->picBord->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    ui->picBord->setPalette(grey);
    ScaleRatio = double(bordW) / bordH;

    auto setUpBar = [](QScrollBar* bar, double pageExtent, const QRect& place) {
        bar->setPageStep(roundEven(pageExtent / 10));
        bar->setSingleStep(roundEven(pageExtent / 100));
        bar->setGeometry(place);
    };
    setUpBar(ui->HScroll, PrintWidth, QRect(bordLeft, bordTop + bordH, bordW, barThickness));
    setUpBar(ui->VScroll, PrintHeight, QRect(bordLeft + bordW, bordTop, barThickness, bordH));

    ZoomCounter = 2;
    cmdZoom_Click();
}

void frmPP::placePaper() {
    const double f = unitsToPixels();
    ui->PicPaper->setGeometry(roundEven(paperLeft_ * f), roundEven(paperTop_ * f),
                              roundEven(paperWidth() * f), roundEven(paperHeight() * f));
}

const ReportPages& frmPP::pages() {
    const std::shared_ptr<const StudyResult> results = study_.resultStudy();
    const PagesOf now{results, study_.transmitTexts().size(), study_.receiveTexts().size(),
                      study_.resultLineCount()};
    // Lines that are not a study's are few: they are counted at every drawing.
    const bool same =
        pages_ && results && !pagesOf_.study.expired() && !pagesOf_.study.owner_before(now.study) &&
        !now.study.owner_before(pagesOf_.study) && pagesOf_.transmit == now.transmit &&
        pagesOf_.receive == now.receive && pagesOf_.results == now.results;
    if (!same) {
        pages_ = std::make_unique<ReportPages>(study_, measures_);
        pagesOf_ = now;
    }
    return *pages_;
}

void frmPP::showPageState() {
    ui->cmdNext->setEnabled(PageNum < PageCount);
    ui->cmdPrevious->setEnabled(PageNum > 1);
    ui->lblPage->setText(pageText(PageNum, PageCount));
}

void frmPP::DrawPage() {
    // Centred in a direction where the paper is smaller than the border.
    if (paperWidth() < borderScaleWidth()) paperLeft_ = (borderScaleWidth() - paperWidth()) / 2;
    if (paperHeight() < borderScaleHeight()) paperTop_ = (borderScaleHeight() - paperHeight()) / 2;
    placePaper();

    // The study may have changed since the last drawing, and its number of pages too.
    const ReportPages& report = pages();
    PageCount = report.pageCount();
    PageNum = std::clamp<qint64>(PageNum, 1, PageCount);

    // Every drawing starts from a clean sheet: drawn over itself, text would thicken.
    ui->PicPaper->clear();
    QPixmap& picture = ui->PicPaper->picture();
    QPainter painter(&picture);
    const double pageW = Orient == 2 ? PrintHeight : PrintWidth;
    const double pageH = Orient == 2 ? PrintWidth : PrintHeight;
    PainterSurface paper(painter, picture.width() / pageW, picture.height() / pageH, pageW, pageH,
                         false, ui->PicPaper->palette().color(QPalette::Text));
    paper.setDrawWidth(1);
    paper.setDrawStyle(2);
    const QColor blue(0, 0, 255);
    paper.line(LMargin, 0, LMargin, pageH, blue);
    paper.line(0, TMargin, pageW, TMargin, blue);
    paper.line(pageW - RMargin, 0, pageW - RMargin, pageH, blue);
    paper.line(0, pageH - BMargin, pageW, pageH - BMargin, blue);
    paper.setCurrentX(0);
    paper.setCurrentY(0);
    DrawReport(paper, study_, report, PageNum, ZoomFact);
    painter.end();
    ui->PicPaper->update();
    showPageState();
}

void frmPP::fitScrollBar(QScrollBar* bar, double paperExtent, double borderExtent,
                         double& paperEdge) {
    if (paperExtent > borderExtent) {
        bar->setRange(0, roundEven(paperExtent - borderExtent));
        bar->setValue(0);
        bar->show();
        paperEdge = 0;
    } else {
        bar->hide();
    }
}

void frmPP::cmdZoom_Click() {
    ++ZoomCounter;
    static constexpr double kSteps[] = {0.5, 0.75, 1.0, 1.5};
    if (ZoomCounter < 1 || ZoomCounter > 4) return;
    ZoomFact = kSteps[ZoomCounter - 1];
    DrawPage();
    settingRange_ = true;
    fitScrollBar(ui->HScroll, paperWidth(), borderScaleWidth(), paperLeft_);
    fitScrollBar(ui->VScroll, paperHeight(), borderScaleHeight(), paperTop_);
    settingRange_ = false;
    placePaper();
    if (ZoomCounter == 4) ZoomCounter = 0;
}

void frmPP::scrollBarMoved(QScrollBar* bar, double paperExtent, double borderExtent,
                           double& paperEdge) {
    if (settingRange_) return;
    settingRange_ = true;
    bar->setRange(0, std::max(0, roundEven(paperExtent - borderExtent)));
    settingRange_ = false;
    paperEdge = -bar->value();
    DrawPage();
}

void frmPP::HScroll_Change(int) {
    scrollBarMoved(ui->HScroll, paperWidth(), borderScaleWidth(), paperLeft_);
}

void frmPP::VScroll_Change(int) {
    scrollBarMoved(ui->VScroll, paperHeight(), borderScaleHeight(), paperTop_);
}

bool frmPP::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::Wheel || (watched != ui->PicPaper && watched != ui->picBord))
        return QWidget::eventFilter(watched, e);
    auto* event = static_cast<QWheelEvent*>(e);
    QPoint roll = event->angleDelta();
    if (event->modifiers() & Qt::ShiftModifier) roll = QPoint(roll.x() + roll.y(), 0);
    // A notch (120) moves as many small steps as the desktop's wheel setting says.
    auto move = [](QScrollBar* bar, int delta) {
        if (!delta || !bar->isVisible()) return;
        bar->setValue(bar->value() -
                      qRound(delta / 120.0 * QApplication::wheelScrollLines() * bar->singleStep()));
    };
    move(ui->VScroll, roll.y());
    move(ui->HScroll, roll.x());
    return true;
}

void frmPP::cmdPrint_Click() {
    OutObject = Output::Printer;
    QString error;
    const PrintOutcome outcome = printReport(this, study_, PageNum, &error);
    OutObject = Output::Paper;
    if (outcome == PrintOutcome::Failed)
        showMessage(this, kProgramTitle,
                    QStringLiteral("The Printer Returned the following error: ") + error,
                    MessageIcon::Error);
}

void frmPP::cmdClose_Click() {
    close();
}

// The buttons are enabled where there is a page to go to (showPageState).
void frmPP::cmdNext_Click() {
    if (PageNum >= PageCount) return;
    ++PageNum;
    DrawPage();
}

void frmPP::cmdPrevious_Click() {
    if (PageNum <= 1) return;
    --PageNum;
    DrawPage();
}

} // namespace kim
