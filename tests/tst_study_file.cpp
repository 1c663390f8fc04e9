#include "study_file.h"

#include <QtTest>

#include <sstream>

using namespace kim;

class TstStudyFile : public QObject {
    Q_OBJECT
private slots:
    void example();
};

void TstStudyFile::example() {
    auto r = readStudyFile(KIM_TEST_DATA "/example.int");
    QVERIFY2(r.ok, r.error.c_str());
}

QTEST_APPLESS_MAIN(TstStudyFile)
#include "tst_study_file.moc"
