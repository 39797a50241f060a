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
    QTest::addColumn<QByteArray>("value");  // null: unset
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("budget");
    QTest::addColumn<int>("encoderThreads");  // 0: the library's own choice

    QTest::newRow("unset: every processor") << QByteArray() << 8 << 8 << 0;
    QTest::newRow("one of eight") << QByteArray("1") << 8 << 1 << 1;
    QTest::newRow("four of eight") << QByteArray("4") << 8 << 4 << 4;
    QTest::newRow("every processor") << QByteArray("8") << 8 << 8 << 0;
    QTest::newRow("more than there are") << QByteArray("16") << 8 << 16 << 0;
    QTest::newRow("zero") << QByteArray("0") << 8 << 8 << 0;
    QTest::newRow("negative") << QByteArray("-2") << 8 << 8 << 0;
    QTest::newRow("blank before") << QByteArray(" 2") << 8 << 8 << 0;
    QTest::newRow("not a whole number") << QByteArray("2.5") << 8 << 8 << 0;
    QTest::newRow("empty") << QByteArray("") << 8 << 8 << 0;
    QTest::newRow("absurd") << QByteArray("99999999999999999999") << 8 << 8 << 0;
    QTest::newRow("processors unknown, unset") << QByteArray() << 0 << 1 << 0;
    QTest::newRow("processors unknown, two") << QByteArray("2") << 0 << 2 << 2;
}

void TThreadBudgetTest::budget()
{
    QFETCH(QByteArray, value);
    QFETCH(int, processors);
    QFETCH(int, budget);
    QFETCH(int, encoderThreads);
    const char* text = value.isNull() ? nullptr : value.constData();
    QCOMPARE(ThreadBudget(text, processors), budget);
    QCOMPARE(EncoderThreadCount(text, processors), encoderThreads);
}

QTEST_APPLESS_MAIN(TThreadBudgetTest)
#include "tst_ThreadBudget.moc"
