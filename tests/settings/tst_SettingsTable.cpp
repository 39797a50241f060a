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
    void groupsAreContiguousWithPlaceholderFirst_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("placeholder");
        QTest::newRow("audio formats") << "AudioFormatsForOutput" << 0 << 6 << "Select...";
        QTest::newRow("audio frequencies") << "AudioFrequenciesList" << 7 << 14 << "Same As Input";
        QTest::newRow("audio bit rates") << "AudioBitrateList" << 15 << 27 << "Same As Input";
        QTest::newRow("audio channels") << "AudioChannelsModeList" << 28 << 30 << "Same As Input";
        QTest::newRow("video formats") << "VideoFormatsForOutput" << 31 << 42 << "Select...";
        QTest::newRow("video audio bit rates")
            << "VideoAudioBitrateList" << 43 << 55 << "Same As Input";
        QTest::newRow("video channels") << "VideoChannelsModeList" << 56 << 58 << "Same As Input";
        QTest::newRow("video bit rates") << "VideoVideoBitrateList" << 59 << 70 << "Same As Input";
        QTest::newRow("frame sizes") << "VideoResolutionList" << 71 << 86 << "Same As Input";
    }

    void groupsAreContiguousWithPlaceholderFirst()
    {
        QFETCH(QString, control);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, placeholder);
        TStringList rows;
        QVERIFY(TTranslateForm().GetSettingsRows(control.toStdString(), rows));
        TStringList expected;
        for (int r = first; r <= last; ++r)
            expected.push_back(std::to_string(r));
        QCOMPARE(rows, expected);
        QCOMPARE(QString(SettingsTable[size_t(first)].ItemText), placeholder);
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
        QCOMPARE(extensionRows, formats);  // the 17 output formats and nothing else
        for (int r = 1; r <= 6; ++r)
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
        QCOMPARE(rows, (TStringList{"0", "1", "2", "3", "4", "5", "6"}));
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
            << TStringList{"x", "87", "-1", "", "4"} << 3 << true << TStringList{"wav"};
        QTest::newRow("only bad entries") << TStringList{"87", "1a"} << 1 << false << TStringList{};
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
