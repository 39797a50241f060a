#include <QCryptographicHash>
#include <QSet>
#include <QTest>

#include "settings/CaptionsTable.h"
#include "settings/SettingsTable.h"
#include "settings/TranslateFormUnit.h"

Q_DECLARE_METATYPE(TStringList)

class TestSettingsTable : public QObject
{
    Q_OBJECT

private slots:
    // A wrong cell shows up as a broken group, a stray extension or a
    // placeholder in the wrong place; these checks look for exactly that.
    // The original rows form contiguous groups; the formats added after them
    // join their list at its end.
    void groupsAreContiguousWithPlaceholderFirst_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QList<int>>("added");
        QTest::addColumn<QString>("placeholder");
        const QList<int> none;
        QTest::newRow("audio formats")
            << "AudioFormatsForOutput" << 0 << 6 << QList<int>{87, 88} << "Select...";
        QTest::newRow("audio frequencies")
            << "AudioFrequenciesList" << 7 << 14 << none << "Same As Input";
        QTest::newRow("audio bit rates")
            << "AudioBitrateList" << 15 << 27 << none << "Same As Input";
        QTest::newRow("audio channels")
            << "AudioChannelsModeList" << 28 << 30 << none << "Same As Input";
        QTest::newRow("video formats")
            << "VideoFormatsForOutput" << 31 << 42 << QList<int>{89, 90, 91, 92} << "Select...";
        QTest::newRow("video audio bit rates")
            << "VideoAudioBitrateList" << 43 << 55 << none << "Same As Input";
        QTest::newRow("video channels")
            << "VideoChannelsModeList" << 56 << 58 << none << "Same As Input";
        QTest::newRow("video bit rates")
            << "VideoVideoBitrateList" << 59 << 70 << none << "Same As Input";
        QTest::newRow("frame sizes")
            << "VideoResolutionList" << 71 << 86 << none << "Same As Input";
    }

    void groupsAreContiguousWithPlaceholderFirst()
    {
        QFETCH(QString, control);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QList<int>, added);
        QFETCH(QString, placeholder);
        TStringList rows;
        QVERIFY(TTranslateForm().GetSettingsRows(control.toStdString(), rows));
        TStringList expected;
        for (int r = first; r <= last; ++r)
            expected.push_back(std::to_string(r));
        for (int r : added)
            expected.push_back(std::to_string(r));
        QCOMPARE(rows, expected);
        QCOMPARE(QString(SettingsTable[size_t(first)].ItemText), placeholder);
    }

    void originalRowsAreUnchanged()
    {
        // Every cell of rows 0..86, as the original table has them: a row
        // moved, renumbered or retyped changes this digest.
        QCryptographicHash digest(QCryptographicHash::Sha256);
        for (int r = 0; r < OriginalSettingsRowCount; ++r) {
            for (int c = 0; c < SettingsColumnCount; ++c) {
                digest.addData(QByteArray(SettingsCell(r, c)));
                digest.addData(QByteArray(c + 1 < SettingsColumnCount ? "\t" : "\n"));
            }
        }
        QCOMPARE(digest.result().toHex(),
                 QByteArray("e9e69ac4fb29dd8ca70a1080ef93a502d75a799149f9eef08ad463bfb4653f3f"));
    }

    void addedFormats_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("extension");
        QTest::newRow("FLAC") << 87 << "AudioFormatsForOutput"
                              << "Free Lossless Audio Codec (FLAC)"
                              << "-vn -acodec flac"
                              << "flac";
        QTest::newRow("Opus") << 88 << "AudioFormatsForOutput"
                              << "Opus Audio (OPUS)"
                              << "-vn -acodec libopus"
                              << "opus";
        QTest::newRow("WebM VP9") << 89 << "VideoFormatsForOutput"
                                  << "WebM Video VP9 + Opus (WEBM)"
                                  << "-vcodec libvpx-vp9 -acodec libopus"
                                  << "webm";
        QTest::newRow("Matroska") << 90 << "VideoFormatsForOutput"
                                  << "Matroska Video H.264 + AAC (MKV)"
                                  << "-vcodec libx264 -acodec libfaac"
                                  << "mkv";
        QTest::newRow("HEVC") << 91 << "VideoFormatsForOutput"
                              << "MPEG-4 HEVC Video H.265 (MP4)"
                              << "-vcodec libx265 -vtag hvc1 -acodec libfaac"
                              << "mp4";
        QTest::newRow("AV1") << 92 << "VideoFormatsForOutput"
                             << "AV1 Video + Opus (WEBM)"
                             << "-vcodec libsvtav1 -acodec libopus"
                             << "webm";
    }

    void addedFormats()
    {
        QFETCH(int, row);
        QFETCH(QString, control);
        QFETCH(QString, item);
        QFETCH(QString, arguments);
        QFETCH(QString, extension);
        QCOMPARE(QString(SettingsCell(row, 0)), control);
        QCOMPARE(QString(SettingsCell(row, 1)), item);
        QCOMPARE(QString(SettingsCell(row, 2)), arguments);
        QCOMPARE(QString(SettingsCell(row, 3)), extension);
        // The job finds the row by its list and item text, as for any other.
        QCOMPARE(TTranslateForm().FindSettingsRow(control.toStdString(), item.toStdString()), row);
        // The added video formats keep the input's frame rate.
        QVERIFY(!arguments.contains("-r "));
    }

    void addedItemsFollowTheListsOwn()
    {
        TTranslateForm form;
        TStringList rows;
        TStringList items;
        QVERIFY(form.GetSettingsRows("AudioFormatsForOutput", rows));
        QVERIFY(form.GetSettingsColumn(rows, 1, items));
        QCOMPARE(items.size(), size_t(9));
        QCOMPARE(items[6], std::string("Dolby Digital DVD Audio (AC3)"));
        QCOMPARE(items[7], std::string("Free Lossless Audio Codec (FLAC)"));
        QCOMPARE(items[8], std::string("Opus Audio (OPUS)"));
        QVERIFY(form.GetSettingsRows("VideoFormatsForOutput", rows));
        QVERIFY(form.GetSettingsColumn(rows, 1, items));
        QCOMPARE(items.size(), size_t(16));
        QCOMPARE(items[11], std::string("Windows Media Video (WMV)"));
        QCOMPARE(items[12], std::string("WebM Video VP9 + Opus (WEBM)"));
        QCOMPARE(items[15], std::string("AV1 Video + Opus (WEBM)"));
    }

    void placeholdersAndErrorRows()
    {
        QSet<int> errorRows;
        QSet<int> extensionRows;
        for (int r = 0; r < SettingsRowCount; ++r) {
            const TSettingsRow& row = SettingsTable[size_t(r)];
            if (QByteArray(row.ToolArguments) == "ERROR")
                errorRows << r;
            if (*row.Extension)
                extensionRows << r;
            const QByteArray args(row.ToolArguments);
            QVERIFY2(args == args.trimmed(), row.ItemText);
        }
        QCOMPARE(errorRows, (QSet<int>{0, 31}));
        QSet<int> formats;
        for (int r = 1; r <= 6; ++r)
            formats << r;
        for (int r = 32; r <= 42; ++r)
            formats << r;
        for (int r = OriginalSettingsRowCount; r < SettingsRowCount; ++r)
            formats << r;
        QCOMPARE(extensionRows, formats);  // the 23 output formats and nothing else
        for (int r : {1, 2, 3, 4, 5, 6, 87, 88})
            QVERIFY(QByteArray(SettingsTable[size_t(r)].ToolArguments).startsWith("-vn"));

        QCOMPARE(QByteArray(SettingsCell(7, 2)), QByteArray("-ar [KHZ]"));
        QCOMPARE(QByteArray(SettingsCell(15, 2)), QByteArray("-ab [AKBIT]k"));
        QCOMPARE(QByteArray(SettingsCell(28, 2)), QByteArray("-ac [CHANNEL]"));
        for (int r : {43, 56, 59, 71})
            QCOMPARE(QByteArray(SettingsCell(r, 2)), QByteArray("-sameq"));

        const QByteArray wmv(SettingsCell(42, 2));
        QCOMPARE(wmv.size(), 27);
        QVERIFY(wmv.contains("wmv2  -acodec"));
        QCOMPARE(QByteArray(SettingsCell(36, 2)), QByteArray(SettingsCell(37, 2)));
        QCOMPARE(QByteArray(SettingsCell(36, 3)), QByteArray("mp4"));
        QCOMPARE(QByteArray(SettingsCell(37, 3)), QByteArray("m4v"));
        QCOMPARE(QByteArray(SettingsCell(38, 3)), QByteArray("mp4"));
        QCOMPARE(QByteArray(SettingsCell(33, 3)), QByteArray(SettingsCell(34, 3)));
    }

    void noDuplicateNamePairs()
    {
        QSet<QByteArray> seen;
        for (const TSettingsRow& row : SettingsTable) {
            const QByteArray key =
                QByteArray(row.ControlName).toLower() + '\0' + QByteArray(row.ItemText).toLower();
            QVERIFY2(!seen.contains(key), row.ItemText);
            seen << key;
        }
    }

    void getSettingsRowsMatchesWholeNameIgnoringCase()
    {
        TTranslateForm form;
        TStringList rows{"stale"};
        QVERIFY(form.GetSettingsRows("audioformatsforoutput", rows));
        QCOMPARE(rows, (TStringList{"0", "1", "2", "3", "4", "5", "6", "87", "88"}));
        QVERIFY(!form.GetSettingsRows(" AudioFormatsForOutput", rows));
        QVERIFY(rows.empty());
        rows = {"stale"};
        QVERIFY(!form.GetSettingsRows("AudioBtn", rows));
        QVERIFY(rows.empty());
    }

    void findSettingsRow_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("row");
        QTest::newRow("case ignored") << "VIDEOFORMATSFOROUTPUT"
                                      << "windows media video (wmv)" << 42;
        QTest::newRow("control decides, video") << "VideoChannelsModeList"
                                                << "Same As Input" << 56;
        QTest::newRow("control decides, audio") << "AudioChannelsModeList"
                                                << "Same As Input" << 28;
        QTest::newRow("no trimming") << "AudioBitrateList"
                                     << "128 kbit " << -1;
        QTest::newRow("item of another list") << "AudioBitrateList"
                                              << "3072 kbit" << -1;
    }

    void findSettingsRow()
    {
        QFETCH(QString, control);
        QFETCH(QString, item);
        QFETCH(int, row);
        QCOMPARE(TTranslateForm().FindSettingsRow(control.toStdString(), item.toStdString()), row);
    }

    void getSettingsColumn_data()
    {
        QTest::addColumn<TStringList>("rows");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("result");
        QTest::addColumn<TStringList>("values");
        QTest::newRow("extensions")
            << TStringList{"1", "2", "3"} << 3 << true << TStringList{"mp3", "wma", "ogg"};
        QTest::newRow("empty cell counts") << TStringList{"0"} << 3 << true << TStringList{""};
        QTest::newRow("no rows") << TStringList{} << 1 << false << TStringList{};
        QTest::newRow("bad entries skipped")
            << TStringList{"x", "93", "-1", "", "4"} << 3 << true << TStringList{"wav"};
        QTest::newRow("only bad entries") << TStringList{"93", "1a"} << 1 << false << TStringList{};
        QTest::newRow("an added row") << TStringList{"88"} << 3 << true << TStringList{"opus"};
        QTest::newRow("column outside")
            << TStringList{"1", "2"} << 4 << true << TStringList{"", ""};
    }

    void getSettingsColumn()
    {
        QFETCH(TStringList, rows);
        QFETCH(int, column);
        QFETCH(bool, result);
        QFETCH(TStringList, values);
        TStringList got{"stale"};
        QCOMPARE(TTranslateForm().GetSettingsColumn(rows, column, got), result);
        QCOMPARE(got, values);
    }

    void frameSizeItemsInOrder()
    {
        TTranslateForm form;
        TStringList rows;
        TStringList items;
        QVERIFY(form.GetSettingsRows("VideoResolutionList", rows));
        QVERIFY(form.GetSettingsColumn(rows, 1, items));
        QCOMPARE(items.size(), size_t(16));
        QCOMPARE(items.front(), std::string("Same As Input"));
        QCOMPARE(items.back(), std::string("1920x1080"));
    }

    void findCaptionRow_data()
    {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("property");
        QTest::addColumn<int>("row");
        QTest::newRow("first row of a component") << "AudioOpenDlg"
                                                  << "" << 16;
        QTest::newRow("case ignored both ways") << "audioopendlg"
                                                << "FILTER" << 51;
        QTest::newRow("DefaultExt finds DefaulText, audio") << "AudioOpenDlg"
                                                            << "DefaultExt" << 50;
        QTest::newRow("DefaultExt finds DefaulText, video") << "VideoOpenDlg"
                                                            << "DefaultExt" << 52;
        QTest::newRow("blank property matches any") << "AudioOpenDlg"
                                                    << "  " << 16;
        QTest::newRow("property not trimmed") << "AudioOpenDlg"
                                              << " Filter" << -1;
        QTest::newRow("no row for the window") << "MainWindow"
                                               << "" << -1;
        QTest::newRow("file count label") << "VideoPanelTextAmountFiles"
                                          << "" << 32;
        QTest::newRow("about text") << "AboutText"
                                    << "Caption" << 48;
    }

    void findCaptionRow()
    {
        QFETCH(QString, component);
        QFETCH(QString, property);
        QFETCH(int, row);
        QCOMPARE(TTranslateForm().FindCaptionRow(component.toStdString(), property.toStdString()),
                 row);
    }

    void captionsTableShape()
    {
        int caption = 0, title = 0, text = 0, filter = 0, defaultExt = 0;
        for (const TCaptionRow& row : CaptionsTable) {
            QVERIFY(*row.ComponentName && *row.PropertyName && *row.Value);
            const QByteArray p(row.PropertyName);
            caption += p == "Caption";
            title += p == "Title";
            text += p == "Text";
            filter += p == "Filter";
            defaultExt += p == "DefaulText";
        }
        QCOMPARE(caption, 44);
        QCOMPARE(title, 5);
        QCOMPARE(text, 1);
        QCOMPARE(filter, 2);
        QCOMPARE(defaultExt, 2);
        const QByteArray about(CaptionsTable[48].Value);
        QCOMPARE(about.count("\n\r"), 2);
        QVERIFY(about.startsWith("Quorvex - Media Converter 1.35\n\rBrimlow LLC\n\r"));
        QVERIFY(QByteArray(CaptionsTable[49].Value).startsWith("http://"));
    }
};

QTEST_APPLESS_MAIN(TestSettingsTable)
#include "tst_SettingsTable.moc"
