#include "file_commands.h"
#include "frmMain_Intermod.h"
#include "frmPP.h"
#include "printing.h"
#include "settings_store.h"
#include "widget_support.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
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
    void paperOfThePrinter_data();
    void paperOfThePrinter();
    void followsTheStudyAndSurvivesBeingCovered();
    void closingTheMainWindowClosesThePreview();
    void printsToPdfTheSamePageAtAnyZoom();
    void cancelledOrFailedPrints();
    void pagingThroughAStudy();
    void redrawingGivesTheSamePixels();
    void wheelScrollsTheSheet();
    void printedStudyHoldsEveryLine();
    void pageRangePrintsOnlyThosePages();
    void distinctMixesFollowTheResults();

  private:
    frmPP* openPreview() {
        window_->findChild<QAction*>("mnu_File_Print")->trigger();
        return window_->preview();
    }
    QPushButton* button(frmPP* pp, const char* name) { return pp->findChild<QPushButton*>(name); }
    QImage paper(frmPP* pp) { return pp->findChild<QWidget*>("PicPaper")->grab().toImage(); }
    QString run(const QString& program, const QStringList& arguments) {
        QProcess p;
        p.start(program, arguments);
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QString pdfText(const QString& pdf) { return run("pdftotext", {"-layout", pdf, "-"}); }
    QString pdfInfo(const QString& pdf, const QString& field) {
        for (const QString& line : run("pdfinfo", {pdf}).split('\n'))
            if (line.startsWith(field + ":")) return line.mid(field.size() + 1).trimmed();
        return {};
    }
    QByteArray pdfPicture(const QString& pdf) {
        QProcess p;
        p.start("pdftoppm", {"-r", "40", "-png", pdf});
        p.waitForFinished();
        return p.readAllStandardOutput();
    }
    // Prints from the preview into a PDF file of that name (none: Cancel), all pages or
    // the range given; what the print dialog was offered goes to offered_.
    void printTo(frmPP* pp, const QString& path, qint64 first = 0, qint64 last = 0) {
        setPrintDialogHook([=, this](QPrinter& printer, PrintRequest& request) {
            offered_ = request;
            if (path.isEmpty()) return false;
            printer.setOutputFileName(path);
            if (first) {
                request.first = first;
                request.last = last;
            }
            return true;
        });
        button(pp, "cmdPrint")->click();
        setPrintDialogHook(nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!pp->printing(), 30000);
    }
    frmPP* openStudy(const char* file) {
        window_->AutoLoad(QString(KIM_TEST_DATA) + "/" + file);
        return openPreview();
    }
    QString pageLabel(frmPP* pp) { return pp->findChild<QLabel*>("lblPage")->text(); }
    // Next and Prev. enabled
    QPair<bool, bool> pageButtons(frmPP* pp) {
        return {button(pp, "cmdNext")->isEnabled(), button(pp, "cmdPrevious")->isEnabled()};
    }
    PrintRequest offered_;

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
    setPrintDialogHook(nullptr);
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
    QCOMPARE(pp->PageNum, 1);
    QCOMPARE(pp->PageCount, 1);
    QCOMPARE(pageLabel(pp), "Page 1 of 1");
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

void TstPrintPreview::paperOfThePrinter_data() {
    QTest::addColumn<QPageSize::PageSizeId>("size");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<double>("width"); // the sheet at zoom 1.0, in twips
    QTest::addColumn<double>("height");
    QTest::newRow("Letter") << QPageSize::Letter << false << 12240.0 << 15840.0;
    QTest::newRow("A4") << QPageSize::A4 << false << 11906.0 << 16838.0;
    QTest::newRow("A4 landscape") << QPageSize::A4 << true << 16838.0 << 11906.0;
    QTest::newRow("Legal") << QPageSize::Legal << false << 12240.0 << 20160.0;
}

// The sheet is the paper the print will use, in its proportions, at every zoom.
void TstPrintPreview::paperOfThePrinter() {
    QFETCH(QPageSize::PageSizeId, size);
    QFETCH(bool, landscape);
    QFETCH(double, width);
    QFETCH(double, height);
    appPrinter().setPageSize(QPageSize(size));
    appPrinter().setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    frmPP* pp = openPreview();
    QWidget* sheet = pp->findChild<QWidget*>("PicPaper");
    for (double zoom : {1.0, 1.5, 0.5, 0.75}) {
        QCOMPARE(pp->ZoomFact, zoom);
        QCOMPARE(pp->paperWidth(), width * zoom);
        QCOMPARE(pp->paperHeight(), height * zoom);
        QVERIFY(qAbs(double(sheet->width()) / sheet->height() - width / height) < 0.01);
        button(pp, "cmdZoom")->click();
    }
    // Centred across where narrower than the border.
    QCOMPARE(pp->ZoomFact, 1.0);
    QCOMPARE(pp->paperLeft(),
             width < pp->borderScaleWidth() ? (pp->borderScaleWidth() - width) / 2 : 0.0);
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
    printTo(pp, files_->filePath("no folder/report.pdf"));
    QCOMPARE(log_->messages.size(), 1);
    QCOMPARE(log_->messages[0].title, kProgramTitle);
    QVERIFY(log_->messages[0].text.startsWith("The Printer Returned the following error: "));
    QVERIFY(log_->messages[0].text.endsWith(": " + QString::fromLocal8Bit(strerror(ENOENT)) + "."));
    QVERIFY(pp->isVisible());
    QCOMPARE(pp->OutObject, frmPP::Output::Paper);
    // Two clicks, two documents.
    printTo(pp, files_->filePath("one.pdf"));
    printTo(pp, files_->filePath("two.pdf"));
    QVERIFY(QFile::exists(files_->filePath("one.pdf")) &&
            QFile::exists(files_->filePath("two.pdf")));
}

// A study of 166 lines makes several pages (six on Letter paper, most lines taking two
// rows); the buttons go where there is a page to go to.
void TstPrintPreview::pagingThroughAStudy() {
    frmPP* pp = openStudy("many_lines.int");
    const qint64 count = pp->PageCount;
    QVERIFY(count >= 3);
    const QImage first = paper(pp);
    using Buttons = QPair<bool, bool>;
    QCOMPARE(pageButtons(pp), Buttons(true, false));
    QCOMPARE(pageLabel(pp), QString("Page 1 of %1").arg(count));
    button(pp, "cmdNext")->click();
    QCOMPARE(pp->PageNum, 2);
    QCOMPARE(pageButtons(pp), Buttons(true, true));
    QCOMPARE(pageLabel(pp), QString("Page 2 of %1").arg(count));
    const QImage second = paper(pp);
    QVERIFY(second != first);
    while (button(pp, "cmdNext")->isEnabled())
        button(pp, "cmdNext")->click();
    QCOMPARE(pp->PageNum, count);
    QCOMPARE(pageButtons(pp), Buttons(false, true));
    QCOMPARE(pageLabel(pp), QString("Page %1 of %1").arg(count));
    pp->cmdNext_Click(); // no page beyond the last
    QCOMPARE(pp->PageNum, count);
    while (pp->PageNum > 2)
        button(pp, "cmdPrevious")->click();
    QCOMPARE(paper(pp), second);
    button(pp, "cmdPrevious")->click();
    QCOMPARE(pageButtons(pp), Buttons(true, false));
    QCOMPARE(paper(pp), first);
    // Zoom and scroll keep the page.
    button(pp, "cmdNext")->click();
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->PageNum, 2);
    QCOMPARE(pp->ZoomFact, 1.5);
    QVERIFY(pp->findChild<QScrollBar*>("HScroll")->isVisible());
    pp->findChild<QScrollBar*>("VScroll")->setValue(2000);
    QCOMPARE(pp->paperTop(), -2000.0);
    QCOMPARE(pp->PageNum, 2);

    // A new study of one page: the next drawing shows it, its only page.
    window_->findChild<QAction*>("mnu_File_New")->trigger();
    button(pp, "cmdZoom")->click();
    QCOMPARE(pp->PageCount, 1);
    QCOMPARE(pp->PageNum, 1);
    QCOMPARE(pageButtons(pp), Buttons(false, false));
    QCOMPARE(pageLabel(pp), "Page 1 of 1");
}

// Scrolling redraws the page over itself: down and up again gives the same pixels.
void TstPrintPreview::redrawingGivesTheSamePixels() {
    frmPP* pp = openStudy("many_lines.int");
    button(pp, "cmdZoom")->click(); // 1.5: both bars
    auto* h = pp->findChild<QScrollBar*>("HScroll");
    auto* v = pp->findChild<QScrollBar*>("VScroll");
    const QImage before = paper(pp);
    for (int i = 0; i < 5; ++i) {
        v->setValue(v->maximum());
        v->setValue(0);
        h->setValue(h->maximum());
        h->setValue(0);
    }
    QCOMPARE(paper(pp), before);
}

void TstPrintPreview::wheelScrollsTheSheet() {
    frmPP* pp = openPreview();
    button(pp, "cmdZoom")->click(); // 1.5
    QWidget* sheet = pp->findChild<QWidget*>("PicPaper");
    auto roll = [&](QPoint delta, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        const QPointF at(sheet->width() / 2, sheet->height() / 2);
        QWheelEvent wheel(at, sheet->mapToGlobal(at), QPoint(), delta, Qt::NoButton, keys,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(sheet, &wheel);
    };
    const int step = pp->findChild<QScrollBar*>("VScroll")->singleStep();
    const int lines = QApplication::wheelScrollLines();
    roll(QPoint(0, -120)); // one notch toward the user: down the page
    QCOMPARE(pp->paperTop(), -double(step * lines));
    roll(QPoint(0, 120));
    QCOMPARE(pp->paperTop(), 0.0);
    roll(QPoint(0, -120), Qt::ShiftModifier); // across
    QCOMPARE(pp->paperLeft(), -double(pp->findChild<QScrollBar*>("HScroll")->singleStep() * lines));
    QCOMPARE(pp->paperTop(), 0.0);
    roll(QPoint(0, 1200)); // not above the top
    QCOMPARE(pp->paperTop(), 0.0);
}

// Every line the study finds is on paper, in the list's order, over its pages: the
// lines intermod-study writes for the same file.
void TstPrintPreview::printedStudyHoldsEveryLine() {
    frmPP* pp = openStudy("many_lines.int");
    const QString pdf = files_->filePath("all.pdf");
    printTo(pp, pdf);
    QVERIFY(log_->messages.isEmpty());
    const qint64 count = pp->PageCount;
    QCOMPARE(offered_.pageCount, count);
    QCOMPARE(offered_.first, 1);
    QCOMPARE(offered_.last, count);
    QCOMPARE(pdfInfo(pdf, "Pages"), QString::number(count));
    QCOMPARE(pdfInfo(pdf, "Title"), "Intermodulation Program - Cerro Alto Relay");

    QStringList expected =
        run(KIM_CLI, {QString(KIM_TEST_DATA) + "/many_lines.int"}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(expected.size(), 166);
    QString printed = run("pdftotext", {pdf, "-"});
    printed.remove(QRegularExpression("\\s"));
    qsizetype at = 0;
    for (const QString& line : expected) {
        const QString bare = QString(line).remove(QRegularExpression("\\s"));
        const qsizetype found = printed.indexOf(bare, at);
        QVERIFY2(found >= 0, qPrintable("not found in order: " + line));
        at = found + bare.size();
    }
    const QString pages = pdfText(pdf);
    for (int p = 1; p <= count; ++p)
        QVERIFY(pages.contains(QString("Page %1 of %2").arg(p).arg(count)));
    // The heading line of every page after the first.
    QCOMPARE(pages.count("Intermodulation Program - Cerro Alto Relay"), count - 1);
}

void TstPrintPreview::pageRangePrintsOnlyThosePages() {
    frmPP* pp = openStudy("many_lines.int");
    const QString all = files_->filePath("all.pdf"), range = files_->filePath("range.pdf");
    printTo(pp, all);
    printTo(pp, range, 2, 3);
    QCOMPARE(pdfInfo(range, "Pages"), "2");
    // The same pages as in the whole report.
    QProcess split;
    split.start("pdftotext", {"-f", "2", "-l", "3", all, "-"});
    split.waitForFinished();
    QCOMPARE(run("pdftotext", {range, "-"}), QString::fromUtf8(split.readAllStandardOutput()));
    QVERIFY(!pdfText(range).contains("Company:"));

    // The page the preview shows, as the dialog's current page.
    button(pp, "cmdNext")->click();
    const QString current = files_->filePath("current.pdf");
    setPrintDialogHook([&](QPrinter& printer, PrintRequest& request) {
        printer.setOutputFileName(current);
        request.first = request.last = request.currentPage;
        return true;
    });
    button(pp, "cmdPrint")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!pp->printing(), 30000);
    QCOMPARE(pdfInfo(current, "Pages"), "1");
    QVERIFY(pdfText(current).contains(QString("Page 2 of %1").arg(pp->PageCount)));
}

// After the result lines, on as many pages as they take: each distinct mix and receiver,
// with its order and distance.
void TstPrintPreview::distinctMixesFollowTheResults() {
    const QString study = files_->filePath("mesa.int");
    QFile f(study);
    QVERIFY(f.open(QIODevice::WriteOnly));
    for (const char* v :
         {"Mesa Ridge Relay", "", "Monday, March 02, 2026", "25.0", "Transmitter Frequencies",
          "-------------------------", "151.62500", "152.30000", "153.05000", "154.48250",
          "155.71500", "158.77500", "Receiver Frequencies", "-------------------------",
          "150.80000", "152.97500", "156.80000", "159.48000", "Finished!"})
        f.write(QByteArray("\"") + v + "\"\r\n");
    f.close();
    window_->AutoLoad(study);
    QTRY_VERIFY(!window_->studyRunning());
    frmPP* pp = openPreview();
    const qint64 pages = pp->PageCount;
    QVERIFY(pages >= 2);
    const QString pdf = files_->filePath("mixes.pdf");
    printTo(pp, pdf);
    QStringList rows;
    for (const QString& row : pdfText(pdf).split('\n'))
        if (!row.trimmed().isEmpty()) rows << row.simplified();
    const qsizetype heading = rows.indexOf("Distinct mixes:");
    QVERIFY2(heading > 0, qPrintable(rows.join('\n')));
    // The last result line, then the mixes by receiver, order and distance.
    QVERIFY(rows[heading - 1].startsWith("A+B+C-D-E: ") || rows[heading - 1].startsWith("Page "));
    const QString first = QString::fromUtf8(
        "150.80000: 3\u00d7152.30000 \u2212 2\u00d7153.05000, order 5, Sep: 00.0 KHz");
    QCOMPARE(rows.value(heading + 1), first);
    QVERIFY(rows.contains(
        QString::fromUtf8("152.97500: 2\u00d7152.30000 \u2212 151.62500, order 3, Sep: 00.0 KHz")));
    QCOMPARE(rows.filter(QRegularExpression(": .*, order \\d, Sep: ")).size(), 7);
    QCOMPARE(rows.indexOf(QRegularExpression("^A\\+B.*")) < heading, true);
    // Page 1 begins as ever.
    QCOMPARE(rows.first(), "Intermodulation Program");
}

QTEST_MAIN(TstPrintPreview)
#include "tst_print_preview.moc"
