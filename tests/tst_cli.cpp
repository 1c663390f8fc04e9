#include <QtTest>

class TstCli : public QObject {
    Q_OBJECT
private slots:
    void runs();
};

void TstCli::runs() {
    QProcess p;
    p.start(KIM_CLI, {KIM_TEST_DATA "/example.int"});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
