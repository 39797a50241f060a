#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "settings/TranslateFormUnit.h"

namespace {

// A non-visual component with the named properties a dialog offers.
class TDialogComponent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title MEMBER m_title)
    Q_PROPERTY(QString filter MEMBER m_filter)
    Q_PROPERTY(QString defaultExt MEMBER m_defaultExt)

public:
    using QObject::QObject;
    QString m_title, m_filter, m_defaultExt;
};

template <typename T, typename P>
T* Make(P* parent, const char* name)
{
    T* object = new T(parent);
    object->setObjectName(QLatin1String(name));
    return object;
}

}  // namespace

class TestTranslate : public QObject
{
    Q_OBJECT

private slots:
    void translatesEveryKindOfComponent()
    {
        QWidget window;
        window.setObjectName("MainWindow");
        window.setWindowTitle("kept");
        auto* page = Make<QWidget>(&window, "TabSheet1");
        auto* label = Make<QLabel>(page, "AudioPanelStep1Text");
        auto* button = Make<QPushButton>(page, "AudioBrowseBtn");
        auto* link = Make<QLineEdit>(&window, "UrlForDownload");
        auto* formats = Make<QComboBox>(page, "AudioFormatsForOutput");
        formats->addItem("empty text");
        auto* frames = Make<QComboBox>(page, "VideoResolutionList");
        auto* unknownList = Make<QComboBox>(page, "SomeOtherList");
        unknownList->addItems({"one", "two"});
        unknownList->setCurrentIndex(1);
        auto* untouched = Make<QLabel>(&window, "ProgressLine");
        untouched->setText("empty text");
        auto* dialog = Make<TDialogComponent>(&window, "AudioOpenDlg");
        auto* folder = Make<TDialogComponent>(&window, "AudioSelectFolderDlg");
        auto* fileDialog = Make<QFileDialog>(&window, "VideoOpenDlg");
        fileDialog->setOption(QFileDialog::DontUseNativeDialog);
        auto* menu = Make<QMenu>(&window, "PopupMenuShel");
        auto* open = Make<QAction>(menu, "PopupMenuShelBtn1");
        auto* separator = Make<QAction>(menu, "PopupMenuShelBtn3");
        menu->addActions({open, separator});

        TTranslateForm().Translate(&window);

        QCOMPARE(window.windowTitle(), QString("kept"));
        QCOMPARE(label->text(), QString("Select Files to Convert"));
        QCOMPARE(button->text(), QString("Browse"));
        QCOMPARE(link->text(), QString("http://"));
        QCOMPARE(formats->count(), 9);  // the table's seven, then FLAC and Opus
        QCOMPARE(formats->itemText(8), QString("Opus Audio (OPUS)"));
        QCOMPARE(formats->currentIndex(), 0);
        QCOMPARE(formats->currentText(), QString("Select..."));
        QCOMPARE(frames->count(), 16);
        QCOMPARE(frames->currentText(), QString("Same As Input"));
        QCOMPARE(unknownList->count(), 2);
        QCOMPARE(unknownList->currentIndex(), 1);
        QCOMPARE(untouched->text(), QString("empty text"));
        QCOMPARE(dialog->m_title, QString("Quorvex - Open Audio/Video File(s)"));
        QVERIFY(dialog->m_filter.startsWith("All supported files (*.[mM][pP]3 "));
        QCOMPARE(dialog->m_defaultExt, QString("All supported files"));
        QCOMPARE(folder->m_title, QString("Select Destination Folder For Converted File(s)"));
        QVERIFY(folder->m_filter.isEmpty());
        QCOMPARE(fileDialog->windowTitle(), QString("Quorvex - Open Video File(s)"));
        QCOMPARE(fileDialog->defaultSuffix(), QString("All supported files"));
        QCOMPARE(fileDialog->nameFilters().size(), 1);
        QCOMPARE(open->text(), QString("Open Quorvex..."));
        QVERIFY(!open->isSeparator());
        QVERIFY(separator->isSeparator());
        // A separator's caption only makes it one: menus would draw the "-".
        QVERIFY(separator->text().isEmpty());
        QVERIFY(separator->iconText().isEmpty());
    }

    void componentsWithoutThePropertyAreLeftAlone()
    {
        QObject plain;
        QVERIFY(!SetComponentText(&plain, "Caption", "x"));
        QVERIFY(!SetComponentText(&plain, "Filter", "a|*.a"));
        QLineEdit edit;
        QVERIFY(!SetComponentText(&edit, "Title", "x"));
        QVERIFY(SetComponentText(&edit, "TEXT", "typed"));
        QCOMPARE(edit.text(), QString("typed"));
        QDialog dialog;
        QVERIFY(SetComponentText(&dialog, "title", "Dialog"));
        QCOMPARE(dialog.windowTitle(), QString("Dialog"));
    }

    void filtersMatchWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("offered");
        QTest::newRow("lower") << "song.mp3" << true;
        QTest::newRow("upper") << "SONG.MP3" << true;
        QTest::newRow("mixed") << "Clip.Mp4" << true;
        QTest::newRow("digits in extension") << "phone.3G2" << true;
        QTest::newRow("other type") << "notes.txt" << false;
        QTest::newRow("extension as a middle part") << "song.mp3.txt" << false;
    }

    void filtersMatchWithoutRegardToCase()
    {
        QFETCH(QString, file);
        QFETCH(bool, offered);
        const QString filter = ConvertDialogFilter(
            "All supported files|*.mp3;*.ogg;*.wav;*.wma;*.m4a;*.ac3;*.avi;*.mp4;*.mov;*.wmv;"
            "*.flv;*.mpg;*.mpeg;*.3gp;*.3g2;*.m4v");
        QVERIFY(filter.startsWith("All supported files ("));
        const QString inner = filter.section('(', 1).chopped(1);
        bool matched = false;
        for (const QString& pattern : inner.split(' ')) {
            const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
            matched = matched || re.match(file).hasMatch();  // case-sensitive on purpose
        }
        QCOMPARE(matched, offered);
    }

    void filterWithSeveralGroups()
    {
        QCOMPARE(ConvertDialogFilter("Audio|*.mp3|Video|*.avi;*.mp4"),
                 QString("Audio (*.[mM][pP]3);;Video (*.[aA][vV][iI] *.[mM][pP]4)"));
    }
};

QTEST_MAIN(TestTranslate)
#include "tst_Translate.moc"
