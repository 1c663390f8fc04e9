#include "off_thread_run.h"

#include <QPointer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <new>
#include <optional>
#include <stdexcept>

using namespace kim;

class TstOffThreadRun : public QObject {
    Q_OBJECT
  private slots:
    void endsOnTheWindowsThread_data();
    void endsOnTheWindowsThread();
    void aDroppedRunIsNeverHeardOf();
    void progressIsMergedAndComesFirst();
    void ownRunGoesWithItsEndOrItsParent();
};

enum class Ending { Returns, Throws, OutOfMemory, Cancelled };
Q_DECLARE_METATYPE(Ending)

// However the work ends, the window hears it once, on its own thread, with the run no
// longer running; an exception comes back as the run's failure.
void TstOffThreadRun::endsOnTheWindowsThread_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("heard");
    QTest::newRow("returns") << Ending::Returns << "finished 42";
    QTest::newRow("throws") << Ending::Throws
                            << "failed The work stopped on an unexpected error: the disk went";
    QTest::newRow("out of memory") << Ending::OutOfMemory << "failed no memory";
    QTest::newRow("cancelled") << Ending::Cancelled << "finished -1";
}

void TstOffThreadRun::endsOnTheWindowsThread() {
    QFETCH(Ending, ending);
    QFETCH(QString, heard);
    OffThreadRun run;
    QStringList calls;
    bool runningWhenHeard = true;
    QThread* heardOn = nullptr;
    auto hear = [&](const QString& what) {
        calls << what;
        runningWhenHeard = run.running();
        heardOn = QThread::currentThread();
    };
    run.start(
        [ending](const OffThreadRun::Job& job) {
            switch (ending) {
            case Ending::Throws:
                throw std::runtime_error("the disk went");
            case Ending::OutOfMemory:
                throw std::bad_alloc();
            case Ending::Cancelled:
                while (!job.stopRequested())
                    QThread::yieldCurrentThread();
                return -1;
            default:
                return 42;
            }
        },
        {.finished = [&](int value) { hear(QStringLiteral("finished %1").arg(value)); },
         .failed =
             [&](std::exception_ptr e) {
                 hear("failed " + failureText(e, QStringLiteral("no memory")));
             },
         .progress = {}});
    QVERIFY(run.running());
    if (ending == Ending::Cancelled) run.cancel();
    QTRY_VERIFY(!calls.isEmpty());
    QCOMPARE(calls, QStringList{heard});
    QVERIFY(!runningWhenHeard);
    QCOMPARE(heardOn, QThread::currentThread());
}

// A new start forgets the run before it: whatever it still sends is dropped, even when it
// ends after the new one.
void TstOffThreadRun::aDroppedRunIsNeverHeardOf() {
    OffThreadRun run;
    QStringList calls;
    std::atomic<bool> release{false}, firstDone{false};
    run.start(
        [&](const OffThreadRun::Job& job) {
            // Stopped, it still goes on a while and reports, as long work may.
            while (!release.load())
                QThread::yieldCurrentThread();
            job.progress(0.5);
            job.post([&] { calls << "posted by the first"; });
            firstDone = true;
            return 1;
        },
        {.finished = [&](int) { calls << "first finished"; },
         .failed = {},
         .progress = [&](double) { calls << "first progress"; }});
    run.start([](const OffThreadRun::Job&) { return 2; },
              {.finished = [&](int) { calls << "second finished"; }, .failed = {}, .progress = {}});
    QTRY_COMPARE(calls, QStringList{"second finished"});
    release = true;
    QTRY_VERIFY(firstDone.load());
    QCoreApplication::processEvents(); // what the first posted before it ended
    QCOMPARE(calls, QStringList{"second finished"});
    // drop() forgets without a word.
    run.start(
        [](const OffThreadRun::Job&) { return 4; },
        {.finished = [&](int) { calls << "dropped finished"; }, .failed = {}, .progress = {}});
    run.drop();
    QVERIFY(!run.running());
    std::optional<int> fifth;
    run.start([](const OffThreadRun::Job&) { return 5; },
              {.finished = [&](int v) { fifth = v; }, .failed = {}, .progress = {}});
    QTRY_VERIFY(fifth);
    QCOMPARE(calls, QStringList{"second finished"});
}

// A worker sending figures faster than the window takes them does not flood it: the
// window hears some of them, in order, the last one among them, all before the end.
void TstOffThreadRun::progressIsMergedAndComesFirst() {
    constexpr int kFigures = 200000;
    OffThreadRun run;
    std::vector<double> heard;
    bool ended = false;
    bool progressAfterEnd = false;
    run.start(
        [](const OffThreadRun::Job& job) {
            for (int i = 1; i <= kFigures; ++i)
                job.progress(i);
            return 0;
        },
        {.finished = [&](int) { ended = true; },
         .failed = {},
         .progress =
             [&](double v) {
                 progressAfterEnd |= ended;
                 heard.push_back(v);
             }});
    QTRY_VERIFY(ended);
    QVERIFY(!progressAfterEnd);
    QVERIFY(!heard.empty());
    QVERIFY2(heard.size() < kFigures / 10, qPrintable(QString::number(heard.size())));
    QVERIFY(std::is_sorted(heard.begin(), heard.end()));
    QCOMPARE(heard.back(), double(kFigures));
}

// A run of its own goes once its end is told; with its parent, it stops its work first.
void TstOffThreadRun::ownRunGoesWithItsEndOrItsParent() {
    QObject parent;
    bool told = false;
    QPointer<OffThreadRun> own = OffThreadRun::startOwn(
        &parent, [](const OffThreadRun::Job&) { return 1; },
        {.finished = [&](int) { told = true; }, .failed = {}, .progress = {}});
    QVERIFY(own);
    QTRY_VERIFY(!own);
    QVERIFY(told);

    auto stopped = std::make_shared<std::atomic<bool>>(false);
    bool heard = false;
    {
        QObject going;
        OffThreadRun::startOwn(
            &going,
            [stopped](const OffThreadRun::Job& job) {
                while (!job.stopRequested())
                    QThread::yieldCurrentThread();
                stopped->store(true);
                return 0;
            },
            {.finished = [&](int) { heard = true; }, .failed = {}, .progress = {}});
    } // the parent goes: the run stops its work and waits for it
    QVERIFY(stopped->load());
    QCoreApplication::processEvents();
    QVERIFY(!heard);
}

QTEST_MAIN(TstOffThreadRun)
#include "tst_off_thread_run.moc"
