// The tool's timeline stages without running a conversion: closing up
// timestamp jumps, and the duration judgements made on what was read and
// what was written.
#include <QtTest>

#include "tool/DurationAccount.h"
#include "tool/TimestampGap.h"

Q_DECLARE_METATYPE(QList<qint64>)

class TToolTimelineTest : public QObject
{
    Q_OBJECT

private slots:
    void jumps_data();
    void jumps();
    void framesFromStart_data();
    void framesFromStart();
    void strayPresentation_data();
    void strayPresentation();
    void readShortfall_data();
    void readShortfall();
    void writtenAgainstFed_data();
    void writtenAgainstFed();
    void spanAndText();
};

void TToolTimelineTest::jumps_data()
{
    // Packets alternate video (stream 0, 40 ms) and audio (stream 1, 26 ms)
    // unless the row says otherwise; "starts" are where each comes out, in ms.
    QTest::addColumn<QList<qint64>>("streams");
    QTest::addColumn<QList<qint64>>("starts");
    QTest::addColumn<QList<qint64>>("mended");
    QTest::addColumn<int>("jumps");

    QTest::newRow("steady") << QList<qint64>{0, 0, 0} << QList<qint64>{0, 40, 80}
                            << QList<qint64>{0, 40, 80} << 0;
    QTest::newRow("gap within the bound is kept")
        << QList<qint64>{0, 0, 0} << QList<qint64>{0, 40, 3040} << QList<qint64>{0, 40, 3040} << 0;
    QTest::newRow("one picture at 24.8 days")
        << QList<qint64>{0, 0, 0, 0} << QList<qint64>{0, 40, 2147483647, 120}
        << QList<qint64>{0, 40, 80, 120} << 2;
    QTest::newRow("an hour ahead for good")
        << QList<qint64>{0, 0, 0, 0} << QList<qint64>{0, 40, 3600080, 3600120}
        << QList<qint64>{0, 40, 80, 120} << 1;
    QTest::newRow("an hour back for good")
        << QList<qint64>{0, 0, 0} << QList<qint64>{3600000, 3600040, 80}
        << QList<qint64>{3600000, 3600040, 3600080} << 1;
    QTest::newRow("jump in one stream leaves the other")
        << QList<qint64>{0, 1, 0, 1, 0, 1} << QList<qint64>{0, 0, 40, 26, 900080, 52}
        << QList<qint64>{0, 0, 40, 26, 80, 52} << 1;
    QTest::newRow("MPEG clock wrapping past 33 bits")
        << QList<qint64>{0, 0, 0, 0} << QList<qint64>{95443640, 95443680, 0, 40}
        << QList<qint64>{95443640, 95443680, 95443720, 95443760} << 1;
    QTest::newRow("out and back in both directions")
        << QList<qint64>{0, 0, 0, 0, 0} << QList<qint64>{0, 40, 5966000, -2370000, 160}
        << QList<qint64>{0, 40, 80, 120, 160} << 3;
    QTest::newRow("a stream starting late within a minute")
        << QList<qint64>{0, 0, 1} << QList<qint64>{0, 40, 5000} << QList<qint64>{0, 40, 5000} << 0;
    QTest::newRow("a stream starting an hour early")
        << QList<qint64>{0, 0, 1, 1} << QList<qint64>{3600000, 3600040, 0, 26}
        << QList<qint64>{3600000, 3600040, 3600080, 3600106} << 1;
    QTest::newRow("a stream starting days late")
        << QList<qint64>{0, 0, 1, 1} << QList<qint64>{0, 40, 2147483647, 2147483673}
        << QList<qint64>{0, 40, 80, 106} << 1;
}

void TToolTimelineTest::jumps()
{
    QFETCH(QList<qint64>, streams);
    QFETCH(QList<qint64>, starts);
    QFETCH(QList<qint64>, mended);
    QFETCH(int, jumps);
    TTimestampMender mender(2);
    QList<qint64> out;
    for (int i = 0; i < starts.size(); ++i) {
        const std::size_t stream = static_cast<std::size_t>(streams[i]);
        const qint64 lengthMs = stream == 0 ? 40 : 26;
        const qint64 shift = mender.ShiftFor(stream, starts[i] * 1000, lengthMs * 1000);
        out << (starts[i] * 1000 + shift) / 1000;
    }
    QCOMPARE(out, mended);
    QCOMPARE(mender.JumpsClosed(), jumps);
}

void TToolTimelineTest::framesFromStart_data()
{
    // Decoded frames of one stream (40 ms each), timed from the file's start.
    QTest::addColumn<QList<qint64>>("starts");
    QTest::addColumn<QList<qint64>>("mended");
    QTest::newRow("from the start") << QList<qint64>{0, 40} << QList<qint64>{0, 40};
    QTest::newRow("half a minute in") << QList<qint64>{30000, 30040} << QList<qint64>{30000, 30040};
    QTest::newRow("past a clock wrap, 26 hours in")
        << QList<qint64>{95071000, 95071040} << QList<qint64>{0, 40};
    QTest::newRow("hours before the start")
        << QList<qint64>{-9000000, -8999960} << QList<qint64>{0, 40};
}

void TToolTimelineTest::framesFromStart()
{
    QFETCH(QList<qint64>, starts);
    QFETCH(QList<qint64>, mended);
    TTimestampMender mender(1);
    mender.StartFrom(0);
    QList<qint64> out;
    for (const qint64 start : starts)
        out << (start * 1000 + mender.ShiftFor(0, start * 1000, 40000)) / 1000;
    QCOMPARE(out, mended);
}

void TToolTimelineTest::strayPresentation_data()
{
    QTest::addColumn<qint64>("ptsMs");
    QTest::addColumn<qint64>("dtsMs");
    QTest::addColumn<bool>("strays");
    QTest::newRow("equal") << 1380ll << 1380ll << false;
    QTest::newRow("B-frame reordering") << 1460ll << 1380ll << false;
    QTest::newRow("3 s apart is kept") << 4380ll << 1380ll << false;
    QTest::newRow("minutes ahead") << 374247ll << 1380ll << true;
    QTest::newRow("wrapped behind") << 69290ll << -2370154ll << true;
    QTest::newRow("far before") << 0ll << 9000ll << true;
}

void TToolTimelineTest::strayPresentation()
{
    QFETCH(qint64, ptsMs);
    QFETCH(qint64, dtsMs);
    QFETCH(bool, strays);
    QCOMPARE(PresentationStrays(ptsMs * 1000, dtsMs * 1000), strays);
}

void TToolTimelineTest::readShortfall_data()
{
    QTest::addColumn<double>("read");
    QTest::addColumn<double>("declared");
    QTest::addColumn<bool>("falls");
    QTest::newRow("cut-off file") << 0.05 << 3.0 << true;
    QTest::newRow("all of it") << 3.0 << 3.0 << false;
    QTest::newRow("a little more") << 3.1 << 3.0 << false;
    QTest::newRow("90 %") << 2.7 << 3.0 << false;
    QTest::newRow("just under 90 %") << 2.69 << 3.0 << true;
    QTest::newRow("nothing declared") << 0.05 << 0.0 << false;
}

void TToolTimelineTest::readShortfall()
{
    QFETCH(double, read);
    QFETCH(double, declared);
    QFETCH(bool, falls);
    QCOMPARE(ReadFallsShort(read, declared), falls);
}

void TToolTimelineTest::writtenAgainstFed_data()
{
    QTest::addColumn<double>("written");
    QTest::addColumn<double>("fed");
    QTest::addColumn<bool>("agree");
    QTest::newRow("equal") << 2.0 << 2.0 << true;
    QTest::newRow("one second off a short file") << 3.0 << 2.0 << true;
    QTest::newRow("more than a second off") << 3.1 << 2.0 << false;
    QTest::newRow("nothing written") << 0.0 << 2.0 << false;
    QTest::newRow("5 % of a long file") << 1050.0 << 1000.0 << true;
    QTest::newRow("over 5 % of a long file") << 940.0 << 1000.0 << false;
}

void TToolTimelineTest::writtenAgainstFed()
{
    QFETCH(double, written);
    QFETCH(double, fed);
    QFETCH(bool, agree);
    QCOMPARE(DurationsAgree(written, fed), agree);
}

void TToolTimelineTest::spanAndText()
{
    TMediaSpan span;
    QVERIFY(span.IsEmpty());
    QCOMPARE(span.Seconds(), 0.0);
    span.Add(1.0, 1.5);
    span.Add(0.5, 0.6);
    span.Add(2.0, 1.0);  // an end before its start counts as a point
    span.Add(std::numeric_limits<double>::quiet_NaN(), 9.0);
    QCOMPARE(span.Seconds(), 1.5);

    QCOMPARE(QString::fromStdString(ShortReadReason(0.05, 3.0)),
             QStringLiteral("damaged input: 0.05 of 3.0 s could be read"));
    QCOMPARE(QString::fromStdString(SecondsText(12.345)), QStringLiteral("12.35"));
    QCOMPARE(QString::fromStdString(SecondsText(-1)), QStringLiteral("0.0"));
}

QTEST_APPLESS_MAIN(TToolTimelineTest)
#include "tst_ToolTimeline.moc"
