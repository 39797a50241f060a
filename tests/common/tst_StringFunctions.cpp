#include <QTest>

#include "common/StringFunctionsUnit.h"

Q_DECLARE_METATYPE(TStringList)

class TestStringFunctions : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QByteArray>("delimiter");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<TStringList>("expected");

        QTest::newRow("plain") << QByteArray("|||") << QByteArray("a|||b|||c")
                               << TStringList{"a", "b", "c"};
        QTest::newRow("pieces trimmed, empty middle kept")
            << QByteArray("|||") << QByteArray(" a ||| ||| c ") << TStringList{"a", "", "c"};
        QTest::newRow("leading delimiter")
            << QByteArray("|||") << QByteArray("|||a") << TStringList{"", "a"};
        QTest::newRow("trailing delimiter")
            << QByteArray("|||") << QByteArray("a|||") << TStringList{"a"};
        QTest::newRow("blank tail dropped")
            << QByteArray("|||") << QByteArray("a|||   ") << TStringList{"a"};
        QTest::newRow("empty text") << QByteArray("|||") << QByteArray("") << TStringList{};
        QTest::newRow("blank text") << QByteArray("|||") << QByteArray("   ") << TStringList{};
        QTest::newRow("empty delimiter")
            << QByteArray("") << QByteArray("  x y ") << TStringList{"x y"};
        QTest::newRow("empty delimiter, blank")
            << QByteArray("") << QByteArray(" \t") << TStringList{};
        QTest::newRow("no overlap")
            << QByteArray("|||") << QByteArray("a||||b") << TStringList{"a", "|b"};
        QTest::newRow("control bytes trimmed")
            << QByteArray("|||") << QByteArray("\r\n205\t|||mp3\x01") << TStringList{"205", "mp3"};
        QTest::newRow("probe text with bit rate")
            << QByteArray("|||") << QByteArray("205|||mp3|||44100 Hz|||stereo|||128 ")
            << TStringList{"205", "mp3", "44100 Hz", "stereo", "128"};
        QTest::newRow("UTF-8 bytes untouched")
            << QByteArray("|||") << QByteArray("\xc3\xa9t\xc3\xa9|||\xe2\x82\xac ")
            << TStringList{"\xc3\xa9t\xc3\xa9", "\xe2\x82\xac"};
    }

    void split()
    {
        QFETCH(QByteArray, delimiter);
        QFETCH(QByteArray, text);
        QFETCH(TStringList, expected);
        QCOMPARE(SplitString(delimiter.toStdString(), text.toStdString()), expected);
    }

    void replace_data()
    {
        QTest::addColumn<QByteArray>("search");
        QTest::addColumn<QByteArray>("replacement");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("dots") << QByteArray(".") << QByteArray("_") << QByteArray("my.song.mp3")
                              << QByteArray("my_song_mp3");
        QTest::newRow("remove unit, blank stays")
            << QByteArray("Hz") << QByteArray("") << QByteArray("44100 Hz") << QByteArray("44100 ");
        QTest::newRow("case-sensitive") << QByteArray("HZ") << QByteArray("")
                                        << QByteArray("44100 Hz") << QByteArray("44100 Hz");
        QTest::newRow("empty search")
            << QByteArray("") << QByteArray("x") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("empty source")
            << QByteArray("a") << QByteArray("b") << QByteArray("") << QByteArray("");
        QTest::newRow("rescans from start")
            << QByteArray("aa") << QByteArray("a") << QByteArray("aaaa") << QByteArray("a");
        QTest::newRow("inserted digits not searched")
            << QByteArray("0") << QByteArray("10") << QByteArray("0 file(s) loaded")
            << QByteArray("10 file(s) loaded");
        QTest::newRow("every occurrence") << QByteArray("0") << QByteArray("100")
                                          << QByteArray("0 of 0") << QByteArray("100 of 100");
        QTest::newRow("same text")
            << QByteArray("0") << QByteArray("0") << QByteArray("0 and 0") << QByteArray("0 and 0");
        QTest::newRow("option in a path")
            << QByteArray("-ab") << QByteArray("-aq") << QByteArray("/m/-ab/x -ab 1")
            << QByteArray("/m/-aq/x -aq 1");
    }

    void replace()
    {
        QFETCH(QByteArray, search);
        QFETCH(QByteArray, replacement);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(ReplaceString(
                     search.toStdString(), replacement.toStdString(), source.toStdString())),
                 expected);
    }

    void caseFoldingIsAsciiOnly()
    {
        QCOMPARE(AsciiLowerCase("AbC-\xc3\x89"), std::string("abc-\xc3\x89"));
        QCOMPARE(AsciiUpperCase("ffmod.exe\xc3\xa9"), std::string("FFMOD.EXE\xc3\xa9"));
        QVERIFY(SameTextAscii("VideoFormatsForOutput", "videoformatsforoutput"));
        QVERIFY(!SameTextAscii(" AudioBtn", "AudioBtn"));
        QCOMPARE(TrimString("\x01 \t x y \r\n"), std::string("x y"));
    }
};

QTEST_APPLESS_MAIN(TestStringFunctions)
#include "tst_StringFunctions.moc"
