// Where the blocks of a shared-out sound stream start: on the join's grid,
// long while much is left, shorter toward the end, never past the bounds.
#include <QtTest>

#include "tool/BlockPlan.h"

class TBlockPlanTest : public QObject
{
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
};

void TBlockPlanTest::lengths_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<qlonglong>("expected");  // frames; 0: unknown
    QTest::addColumn<qlonglong>("fixed");
    QTest::addColumn<int>("period");

    // 10 and 30 s of MP3 frames at 44.1 kHz: 383 and 1148 frames.
    QTest::newRow("10 minutes, two threads") << 2 << 22968LL << 0LL << 1;
    QTest::newRow("10 minutes, eight threads") << 8 << 22968LL << 0LL << 1;
    QTest::newRow("two hours, two threads") << 2 << 275625LL << 0LL << 1;
    QTest::newRow("just over two blocks") << 2 << 800LL << 0LL << 1;
    QTest::newRow("length unknown") << 2 << 0LL << 0LL << 1;
    QTest::newRow("AC-3's grid of 49 frames") << 2 << 22968LL << 0LL << 49;
    QTest::newRow("AC-3's grid of 147 frames") << 3 << 22968LL << 0LL << 147;
    QTest::newRow("fixed for tests") << 2 << 22968LL << 7LL << 1;
    QTest::newRow("fixed, rounded up to the grid") << 2 << 22968LL << 7LL << 49;
}

void TBlockPlanTest::lengths()
{
    QFETCH(int, workers);
    QFETCH(qlonglong, expected);
    QFETCH(qlonglong, fixed);
    QFETCH(int, period);
    TBlockLengths bounds;
    bounds.Shortest = 383;
    bounds.Longest = 1148;
    const auto onGrid = [period](std::int64_t frame) {
        return (frame + period - 1) / period * period;
    };
    TBlockPlan plan(bounds, workers, expected, onGrid, fixed);

    QCOMPARE(plan.GridStart(0), std::int64_t{0});
    std::int64_t previous = std::numeric_limits<std::int64_t>::max();
    std::int64_t block = 0;
    // Every block up to twice past the stated end: a stream may run longer
    // than its input says.
    while (plan.GridStart(block) < std::max<qlonglong>(expected, 10000) * 2) {
        const std::int64_t start = plan.GridStart(block);
        const std::int64_t length = plan.GridStart(block + 1) - start;
        QCOMPARE(start % period, std::int64_t{0});
        // A start moves on to the grid: a length exceeds what was asked by
        // less than a period.
        if (fixed > 0) {
            QVERIFY(length >= fixed && length < fixed + period);
        } else {
            QVERIFY2(length >= 383 && length < 1148 + period,
                     qPrintable(QString("block %1: %2 frames").arg(block).arg(length)));
            QVERIFY2(block == 0 || length < previous + period,
                     "a block longer than the one before it");
            // Toward the end each thread still has about two blocks left.
            if (expected > 0 && start < expected && length >= 383 + period)
                QVERIFY(length < (expected - start) / (2 * workers) + period);
            if (expected == 0)
                QCOMPARE(length, onGrid(start + 383) - start);
        }
        previous = length;
        ++block;
    }
    if (expected > 0 && fixed == 0) {
        // Long inputs take the long blocks at the start.
        if (expected / (2 * workers) >= 1148)
            QCOMPARE(plan.GridStart(1), onGrid(1148));
        // Past the stated end every block is the shortest.
        std::int64_t past = 0;
        while (plan.GridStart(past) < expected)
            ++past;
        QCOMPARE(plan.GridStart(past + 1), onGrid(plan.GridStart(past) + 383));
    }
}

QTEST_GUILESS_MAIN(TBlockPlanTest)
#include "tst_BlockPlan.moc"
