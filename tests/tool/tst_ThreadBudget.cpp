// The thread budget a run of the tool is given: what the environment's text
// makes of it, and what the encoders are told.
#include <QtTest>

#include "tool/ThreadBudget.h"

class TThreadBudgetTest : public QObject
{
    Q_OBJECT

private slots:
    void budget_data();
    void budget();
};

void TThreadBudgetTest::budget_data()
{
    QTest::addColumn<int>("given");         // -threads
    QTest::addColumn<QByteArray>("value");  // null: unset
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("budget");
    QTest::addColumn<int>("encoderThreads");  // 0: the library's own choice

    QTest::newRow("unset: every processor") << ThreadsNotGiven << QByteArray() << 8 << 8 << 0;
    QTest::newRow("one of eight") << ThreadsNotGiven << QByteArray("1") << 8 << 1 << 1;
    QTest::newRow("four of eight") << ThreadsNotGiven << QByteArray("4") << 8 << 4 << 4;
    QTest::newRow("every processor") << ThreadsNotGiven << QByteArray("8") << 8 << 8 << 0;
    QTest::newRow("more than there are") << ThreadsNotGiven << QByteArray("16") << 8 << 16 << 0;
    QTest::newRow("zero") << ThreadsNotGiven << QByteArray("0") << 8 << 8 << 0;
    QTest::newRow("negative") << ThreadsNotGiven << QByteArray("-2") << 8 << 8 << 0;
    QTest::newRow("blank before") << ThreadsNotGiven << QByteArray(" 2") << 8 << 8 << 0;
    QTest::newRow("not a whole number") << ThreadsNotGiven << QByteArray("2.5") << 8 << 8 << 0;
    QTest::newRow("empty") << ThreadsNotGiven << QByteArray("") << 8 << 8 << 0;
    QTest::newRow("absurd") << ThreadsNotGiven << QByteArray("99999999999999999999") << 8 << 8 << 0;
    QTest::newRow("processors unknown, unset") << ThreadsNotGiven << QByteArray() << 0 << 1 << 0;
    QTest::newRow("processors unknown, two") << ThreadsNotGiven << QByteArray("2") << 0 << 2 << 2;
    // -threads wins over the environment.
    QTest::newRow("-threads 1, environment 4") << 1 << QByteArray("4") << 8 << 1 << 1;
    QTest::newRow("-threads 3, environment unset") << 3 << QByteArray() << 8 << 3 << 3;
    QTest::newRow("-threads 0: every processor") << 0 << QByteArray("2") << 8 << 8 << 0;
    QTest::newRow("-threads 0, processors unknown") << 0 << QByteArray() << 0 << 1 << 0;
    QTest::newRow("-threads past every processor") << 16 << QByteArray() << 8 << 16 << 0;
    QTest::newRow("-threads absurd") << 5000000 << QByteArray() << 8 << 1024 << 0;
}

void TThreadBudgetTest::budget()
{
    QFETCH(int, given);
    QFETCH(QByteArray, value);
    QFETCH(int, processors);
    QFETCH(int, budget);
    QFETCH(int, encoderThreads);
    const char* text = value.isNull() ? nullptr : value.constData();
    QCOMPARE(ThreadBudget(given, text, processors), budget);
    QCOMPARE(EncoderThreadCount(given, text, processors), encoderThreads);
}

QTEST_APPLESS_MAIN(TThreadBudgetTest)
#include "tst_ThreadBudget.moc"
