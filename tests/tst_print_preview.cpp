#include "file_commands.h"
#include "frmMain_Intermod.h"
#include "frmPP.h"
#include "printing.h"
#include "settings_store.h"
#include "widget_support.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using namespace kim;

class TstPrintPreview : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init();
    void cleanup();

    void opensFromThePrintMenu();
    void zoomCycleAndScrollBars();
    void printMenuOnlyBringsTheOpenPreviewForward();
    void landscapePaper();
    void followsTheStudyAndSurvivesBeingCovered();
    void closingTheMainWindowClosesThePreview();
    void printsToPdfTheSamePageAtAnyZoom();
    void cancelledOrFailedPrints();

  private:
    frmPP* openPreview() {
        window_->findChild<QAction*>("mnu_File_Print")->trigger();
        return window_->preview();
    }
    QPushButton* button(frmPP* pp, const char* name) { return pp->findChild<QPushButton*>(name); }
    QImage paper(frmPP* pp) { return pp->findChild<QWidget*>("PicPaper")->grab().toImage(); }
    QString pdfText(const QString& pdf) {
        QProcess p;
        p.start("pdftotext", {"-layout", pdf, "-"});
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QByteArray pdfPicture(const QString& pdf) {
        QProcess p;
        p.start("pdftoppm", {"-r", "40", "-png", pdf});
        p.waitForFinished();
        return p.readAllStandardOutput();
    }
    // Prints from the preview into a PDF file of that name.
    void printTo(frmPP* pp, const QString& path) {
        setFileDialogHook([path](const FileDialogRequest&) { return path; });
        button(pp, "cmdPrint")->click();
        setFileDialogHook(nullptr);
    }

    std::unique_ptr<testing::TempSettings> settings_;
    std::unique_ptr<testing::MessageLog> log_;
    std::unique_ptr<frmMain_Intermod> window_;
    std::unique_ptr<QTemporaryDir> files_;
};

void TstPrintPreview::init() {
    settings_ = std::make_unique<testing::TempSettings>();
    log_ = std::make_unique<testing::MessageLog>();
    files_ = std::make_unique<QTemporaryDir>();
    appPrinter().setPageOrientation(QPageLayout::Portrait);
    appPrinter().setPageSize(QPageSize(QPageSize::Letter));
    appPrinter().setOutputFormat(QPrinter::PdfFormat); // no printer here: PDF files
    window_ = std::make_unique<frmMain_Intermod>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void TstPrintPreview::cleanup() {
    setFileDialogHook(nullptr);
    window_.reset();
    log_.reset();
    settings_.reset();
    files_.reset();
}

void TstPrintPreview::opensFromThePrintMenu() {
    frmPP* pp = openPreview();
    QVERIFY(pp && pp->isVisible());
    QCOMPARE(pp->windowTitle(), "Print Preview");
    QVERIFY(!pp->isModal());
    QVERIFY(window_->isEnabled());
    QCOMPARE(pp->ZoomFact, 1.0);
    QCOMPARE(pp->ZoomCounter, qint16(3));
    QCOMPARE(pp->PageNum, qint16(1));
    QCOMPARE(pp->PageCount, qint16(1));
    QCOMPARE(pp->PrintWidth, 12240.0);
    QCOMPARE(pp->PrintHeight, 15840.0);
    QCOMPARE(pp->TMargin, 720.0f);
    QVERIFY(!button(pp, "cmdSetup")->isVisible());
    QVERIFY(!button(pp, "cmdNext")->isEnabled() && !button(pp, "cmdPrevious")->isEnabled());
    // Print, Zoom, Close, Next, Prev. side by side from a tenth of the width.
    QStringList order;
    int x = pp->width() / 10;
    for (const char* name : {"cmdPrint", "cmdZoom", "cmdClose", "cmdNext", "cmdPrevious"}) {
        QCOMPARE(button(pp, name)->x(), x);
        x += button(pp, name)->width();
        order << button(pp, name)->text();
    }
    QCOMPARE(order, (QStringList{"Print", "Zoom", "Close", "Next -->", "<-- Prev."}));
    QCOMPARE(button(pp, "cmdPrint")->size(), QSize(64, 22)); // 960 by 330 twips
    QCOMPARE(pp->findChild<QWidget*>("picBord")->palette().color(QPalette::Window),
             QColor(128, 128, 128));
    button(pp, "cmdClose")->click();
    QTRY_VERIFY(!window_->preview());
}

void TstPrintPreview::zoomCycleAndScrollBars() {
    frmPP* pp = openPreview();
    auto* h = pp->findChild<QScrollBar*>("HScroll");
    auto* v = pp->findChild<QScrollBar*>("VScroll");
    const double bw = pp->borderScaleWidth(), bh = pp->borderScaleHeight();
    QVERIFY(bh < 15840); // a landscape screen: the paper is higher than the border
    // 1.0: centred across, at the top, only the vertical bar.
    QCOMPARE(pp->paperLeft(), (bw - 12240) / 2);
    QCOMPARE(pp->paperTop(), 0.0);
    QVERIFY(!h->isVisible() && v->isVisible());
    QCOMPARE(pp->vScrollValue(), 0);
    // 1.5: both bars; the paper at the top left; the range runs down from 0.
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->ZoomFact, 1.5);
    QCOMPARE(pp->ZoomCounter, qint16(0));
    QVERIFY(h->isVisible() && v->isVisible());
    QCOMPARE(pp->paperLeft(), 0.0);
    QCOMPARE(pp->hScrollMin(), 0);
    QCOMPARE(pp->hScrollMax(), qRound(bw - 18360));
    QCOMPARE(pp->vScrollMax(), static_cast<int>(std::nearbyint(bh - 23760)));
    h->setValue(1000);
    QCOMPARE(pp->hScrollValue(), -1000);
    QCOMPARE(pp->paperLeft(), -1000.0);
    v->setValue(v->maximum());
    QCOMPARE(pp->paperTop(), double(pp->vScrollMax()));
    QCOMPARE(h->pageStep(), 1224); // a tenth of the page's width
    QCOMPARE(h->singleStep(), 122);
    // 0.5: centred both ways, no bars.
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->ZoomFact, 0.5);
    QVERIFY(!h->isVisible() && !v->isVisible());
    QCOMPARE(pp->paperLeft(), (bw - 6120) / 2);
    QCOMPARE(pp->paperTop(), (bh - 7920) / 2);
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->ZoomFact, 0.75);
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->ZoomFact, 1.0);
    QCOMPARE(pp->ZoomCounter, qint16(3));
    QVERIFY(!button(pp, "cmdNext")->isEnabled() && !button(pp, "cmdPrevious")->isEnabled());
}

void TstPrintPreview::printMenuOnlyBringsTheOpenPreviewForward() {
    frmPP* pp = openPreview();
    button(pp, "cmdZoom")->click();
    QCOMPARE(openPreview(), pp);
    QCOMPARE(pp->ZoomFact, 1.5); // not opened again
    pp->close();
    QTRY_VERIFY(!window_->preview());
    frmPP* fresh = openPreview();
    QCOMPARE(fresh->ZoomFact, 1.0); // a closed preview opens afresh
}

void TstPrintPreview::landscapePaper() {
    appPrinter().setPageOrientation(QPageLayout::Landscape);
    frmPP* pp = openPreview();
    QCOMPARE(pp->Orient, qint16(2));
    QCOMPARE(pp->PrintWidth, 12240.0); // the page's vertical extent in landscape
    QCOMPARE(pp->paperWidth(), 15840.0);
    QCOMPARE(pp->paperHeight(), 12240.0);
    QVERIFY(pp->findChild<QScrollBar*>("HScroll")->isVisible()); // wider than the border
    QCOMPARE(pp->paperLeft(), 0.0);
    const QImage page = paper(pp);
    QVERIFY(page.width() > page.height());
}

void TstPrintPreview::followsTheStudyAndSurvivesBeingCovered() {
    frmPP* pp = openPreview();
    const QImage before = paper(pp);
    pp->hide();
    pp->show();
    QCOMPARE(paper(pp), before);
    window_->findChild<QLineEdit*>("txtSiteName")->setText("Mesa Ridge Relay");
    QCOMPARE(paper(pp), before); // not until the next drawing
    for (int i = 0; i < 4; ++i)
        button(pp, "cmdZoom")->click();
    QVERIFY(paper(pp) != before);
}

void TstPrintPreview::closingTheMainWindowClosesThePreview() {
    QPointer<frmPP> pp = openPreview();
    window_->close();
    QTRY_VERIFY(!pp);
}

void TstPrintPreview::printsToPdfTheSamePageAtAnyZoom() {
    testing::store("User", "Company", "Korvane Radio");
    window_->findChild<QLineEdit*>("txtSiteName")->setText("Mesa Ridge Relay");
    for (const char* f : {"151.62500", "1,850.00000"})
        frmMain_Intermod::insertSorted(window_->findChild<QListWidget*>("lstTransmit"), f);
    frmMain_Intermod::insertSorted(window_->findChild<QListWidget*>("lstReceive"), "151.62500");
    window_->findChild<QPushButton*>("cmdCalculate")->click();
    frmPP* pp = openPreview();
    button(pp, "cmdZoom")->click();
    button(pp, "cmdZoom")->click(); // 0.5
    const QString small = files_->filePath("small.pdf"), large = files_->filePath("large.pdf");
    printTo(pp, small);
    QCOMPARE(pp->OutObject, frmPP::Output::Paper);
    QVERIFY(pp->isVisible());
    button(pp, "cmdZoom")->click();
    button(pp, "cmdZoom")->click();
    button(pp, "cmdZoom")->click(); // 1.5
    printTo(pp, large);
    QVERIFY(log_->messages.isEmpty());
    QVERIFY(QFile::exists(small) && QFile::exists(large));

    // The PDF's text with every run of blanks as one.
    const QString text = pdfText(small).simplified();
    const QStringList inOrder{"Intermodulation Program",
                              "Company:",
                              "Korvane Radio",
                              "Engineer:",
                              "Unknown",
                              "Site Name:",
                              "Mesa Ridge Relay",
                              "Site Description:",
                              "Date:",
                              "Minimum Separation:",
                              "25.0  KHz",
                              "Transmission Frequencies:",
                              "01,850.00000  MHz",
                              "00,151.62500  MHz",
                              "Receiver Frequencies:",
                              "00,151.62500  MHz",
                              "1A = R: 151.62500 and 151.62500, Sep: 00.0 KHz"};
    qsizetype at = 0;
    for (const QString& piece : inOrder) {
        const qsizetype found = text.indexOf(piece.simplified(), at);
        QVERIFY2(found >= 0, qPrintable(piece + " not found in order in:\n" + text));
        at = found + piece.simplified().size();
    }
    QCOMPARE(pdfText(large).simplified(), text);
    QCOMPARE(pdfPicture(large), pdfPicture(small));
    // After printing, zoom draws on the paper again.
    const QImage before = paper(pp);
    button(pp, "cmdZoom")->click();
    QVERIFY(paper(pp) != before);
}

void TstPrintPreview::cancelledOrFailedPrints() {
    frmPP* pp = openPreview();
    printTo(pp, QString()); // cancelled: nothing printed, nothing said
    QVERIFY(log_->messages.isEmpty());
    QVERIFY(QDir(files_->path()).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    printTo(pp, files_->filePath("no folder/report.pdf"));
    QCOMPARE(log_->messages.size(), 1);
    QCOMPARE(log_->messages[0].title, kProgramTitle);
    QVERIFY(log_->messages[0].text.startsWith("The Printer Returned the following error: "));
    QVERIFY(pp->isVisible());
    QCOMPARE(pp->OutObject, frmPP::Output::Paper);
    // Two clicks, two documents.
    printTo(pp, files_->filePath("one.pdf"));
    printTo(pp, files_->filePath("two.pdf"));
    QVERIFY(QFile::exists(files_->filePath("one.pdf")) &&
            QFile::exists(files_->filePath("two.pdf")));
}

QTEST_MAIN(TstPrintPreview)
#include "tst_print_preview.moc"
