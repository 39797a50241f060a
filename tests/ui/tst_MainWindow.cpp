// The main window between jobs, the tray menu and the About window.

#include <cmath>

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "WindowFixture.h"
#include "ui/application_look.h"
#include "ui/look_widgets.h"

Q_DECLARE_METATYPE(TPage)

namespace {

const char* const ModeButtons[] = {"AudioBtn", "VideoBtn", "DownloadBtn"};

// Collects the pages whose show handler ran, in order.
class TShowRecorder : public QObject
{
public:
    QStringList Shown;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous())
            Shown << watched->objectName();
        return false;
    }
};

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void noComponentShowsEmptyText();
    void designScale_data();
    void designScale();
    void sizesAt96Dpi();
    void fontFittingWidth_data();
    void fontFittingWidth();
    void textsFitTheirPlaces();
    void initialState();
    void okDisabledAtStartOnEveryPage_data();
    void okDisabledAtStartOnEveryPage();
    void filesFromAudioPageServeVideoPage();
    void selectAgainDisablesOk();
    void settingsListsNeverChangeOk();
    void downloadLinkRule_data();
    void downloadLinkRule();
    void fileCountLabel_data();
    void fileCountLabel();
    void cancelledFileDialogChangesNothing();
    void fileDialogsFilterWithoutCase();
    void destinationButtons_data();
    void destinationButtons();
    void modeButtonRunsShowHandlersInOrder_data();
    void modeButtonRunsShowHandlersInOrder();
    void tabVersusModeButton();
    void hiddenHoldersStayHidden();
    void trayMenuItems();
    void hideAndOpenFromTray();
    void minimiseWithoutTrayKeepsWindowReachable();
    void aboutWindow();
    void aboutLinkOpensAddress();
    void jobHostReachesTheWindow();
};

void TestMainWindow::noComponentShowsEmptyText()
{
    TWindowFixture f;
    const QString empty = QStringLiteral("empty text");
    for (QObject* root :
         {static_cast<QObject*>(f.Window.get()), static_cast<QObject*>(f.About.get())}) {
        for (QLabel* label : root->findChildren<QLabel*>())
            QVERIFY2(label->text() != empty, qPrintable(label->objectName()));
        for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
            QVERIFY2(button->text() != empty, qPrintable(button->objectName()));
        for (QLineEdit* field : root->findChildren<QLineEdit*>())
            QVERIFY2(field->text() != empty, qPrintable(field->objectName()));
        for (QComboBox* list : root->findChildren<QComboBox*>()) {
            QVERIFY2(list->count() > 1, qPrintable(list->objectName()));
            for (int i = 0; i < list->count(); ++i)
                QVERIFY2(list->itemText(i) != empty, qPrintable(list->objectName()));
        }
        for (QAction* action : root->findChildren<QAction*>())
            QVERIFY2(action->text() != empty, qPrintable(action->objectName()));
    }
    for (TOpenDialog* dialog : f.Window->findChildren<TOpenDialog*>()) {
        QVERIFY(!dialog->Title().isEmpty());
        QVERIFY(!dialog->Filter().isEmpty());
        QCOMPARE(dialog->DefaultExt(), QStringLiteral("All supported files"));
    }
    for (TSelectFolderDialog* dialog : f.Window->findChildren<TSelectFolderDialog*>())
        QVERIFY2(!dialog->Title().isEmpty(), qPrintable(dialog->objectName()));
    QCOMPARE(f.Window->windowTitle(), QStringLiteral("Quorvex - Media Converter 1.35"));
    QCOMPARE(f.Find<QTabWidget>("DataControl")->tabText(2), QStringLiteral("Download"));
}

void TestMainWindow::designScale_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("clientHeight");
    QTest::newRow("96 dpi") << 96 << 13 << 643 << 592;
    QTest::newRow("120 dpi, the design") << 120 << 16 << 791 << 729;
    QTest::newRow("144 dpi") << 144 << 20 << 989 << 911;
    QTest::newRow("no dpi reported") << 0 << 13 << 643 << 592;
}

void TestMainWindow::designScale()
{
    QFETCH(int, dpi);
    QFETCH(int, textHeight);
    QFETCH(int, clientWidth);
    QFETCH(int, clientHeight);
    if (dpi > 0)
        QCOMPARE(BaseTextHeightFor(dpi), textHeight);
    const double scale = DesignScaleFor(dpi);
    QCOMPARE(scale, textHeight / 16.0);
    QCOMPARE(int(std::lround(791 * scale)), clientWidth);
    QCOMPARE(int(std::lround(729 * scale)), clientHeight);
}

void TestMainWindow::sizesAt96Dpi()
{
    TWindowFixture f;
    if (f.Window->logicalDpiY() != 96)
        QSKIP("the screen is not a 96-dpi screen");
    QCOMPARE(f.Window->size(), QSize(643, 592));
    QCOMPARE(f.Window->minimumSize(), f.Window->maximumSize());  // not resizable
    const Qt::WindowFlags flags = f.Window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    const QRect desk = f.Window->screen()->availableGeometry();
    QVERIFY2(qAbs(f.Window->geometry().center().x() - desk.center().x()) <= 4,
             qPrintable(QStringLiteral("%1 in %2")
                            .arg(f.Window->geometry().center().x())
                            .arg(desk.center().x())));
    for (const char* background : {"RzBackground4", "RzBackground1", "RzBackground3"}) {
        auto* page = f.Find<TBackground>(background);
        QCOMPARE(page->size(), QSize(476, 559));
        QCOMPARE(page->PicturePixmap().size(), QSize(476, 559));
    }
    QCOMPARE(f.Find("Panel1")->size(), QSize(146, 255));
    for (const char* side : {"Image1", "Image2", "Image3"})
        QCOMPARE(f.Find(side)->size(), QSize(146, 255));
    QCOMPARE(f.Find("LogoImg")->size(), QSize(120, 116));
    // A page fills the area QTabWidget gives it.
    QCOMPARE(f.Find("TabSheet1")->size(), QSize(476, 559));
    // Tabs lie below the logo and do not overlap the mode column.
    auto* tabs = f.Find<QTabWidget>("DataControl")->tabBar();
    const QRect first = tabs->tabRect(0).translated(tabs->mapTo(f.Window.get(), QPoint()));
    const QRect last = tabs->tabRect(2).translated(tabs->mapTo(f.Window.get(), QPoint()));
    QVERIFY(first.top() >= f.Find("LogoImg")->geometry().bottom());
    QVERIFY(last.bottom() < f.Find("Panel1")->geometry().top());
}

void TestMainWindow::fontFittingWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("room");
    QTest::addColumn<bool>("fits");
    QTest::newRow("fits as designed") << "Audio" << 400 << true;
    QTest::newRow("a little too wide") << "Convert Audio" << -2 << true;
    QTest::newRow("never below three quarters") << "Convert Audio" << 10 << false;
}

void TestMainWindow::fontFittingWidth()
{
    QFETCH(QString, text);
    QFETCH(int, room);
    QFETCH(bool, fits);
    InitApplicationLook();
    QFont font = DesignFont(QStringLiteral("Tahoma"), 20);
    font.setBold(true);
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    if (room < 0)
        room = natural * 9 / 10;  // a tenth too narrow
    const QFont fitted = FontFittingWidth(font, text, room);
    QCOMPARE(fitted.family(), font.family());
    QCOMPARE(fitted.bold(), true);
    QVERIFY(fitted.pixelSize() >= 15);
    QCOMPARE(QFontMetrics(fitted).horizontalAdvance(text) <= room, fits);
    if (natural <= room)
        QCOMPARE(fitted.pixelSize(), 20);
    else if (fits)
        QVERIFY(fitted.pixelSize() < 20);
    else
        QCOMPARE(fitted.pixelSize(), 15);
}

void TestMainWindow::textsFitTheirPlaces()
{
    // No caption is cut off or covered by the control beside it.
    TWindowFixture f;
    for (QLabel* label : f.Window->findChildren<QLabel*>()) {
        const QString look = label->property("look").toString();
        if (look != QLatin1String("stepTitle") && look != QLatin1String("settingLabel") &&
            look != QLatin1String("fileCount"))
            continue;
        const QString name = label->objectName();
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(name));
        QVERIFY2(label->geometry().right() < label->parentWidget()->width(), qPrintable(name));
        for (QWidget* control :
             label->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (control != label && !qobject_cast<QLabel*>(control))
                QVERIFY2(!control->geometry().intersects(label->geometry()),
                         qPrintable(name + QLatin1String(" under ") + control->objectName()));
        }
    }
}

void TestMainWindow::initialState()
{
    TWindowFixture f;
    QCOMPARE(f.Window->CurrentPage(), 0);
    QVERIFY(f.Find("Image1")->isVisible());
    QVERIFY(!f.Find("Image2")->isVisible());
    QVERIFY(!f.Find("Image3")->isVisible());
    QCOMPARE(f.Find<TImageButton>("AudioBtn")->CaptionQColor(), QColor(Qt::yellow));
    QCOMPARE(f.Find<TImageButton>("VideoBtn")->CaptionQColor(), QColor(Qt::white));
    QVERIFY(!f.OkEnabled());
    QVERIFY(!f.Button("ProcessCancelBtn")->isEnabled());
    QVERIFY(!f.Find("FormPanel")->isVisible());
    QCOMPARE(f.Window->ProgressPosition(), 0);
    QVERIFY(f.Window->InputFileList().empty());
    QVERIFY(f.Window->DebugTextContent().empty());
    const std::string current = QDir::currentPath().toStdString();
    for (TPage page : {TPage::Audio, TPage::Video, TPage::Download}) {
        QCOMPARE(f.Window->DestinationPath(page), current);
        QCOMPARE(f.Window->SelectedFolder(page), current);
    }
    QCOMPARE(f.Window->SelectedItemText("AudioFormatsForOutput"), std::string("Select..."));
    QCOMPARE(f.Find<QComboBox>("AudioFormatsForOutput")->count(), 9);  // with FLAC and Opus
    QCOMPARE(f.Window->SelectedItemText("VideoResolutionList"), std::string("Same As Input"));
    QCOMPARE(f.Find<QComboBox>("VideoResolutionList")->count(), 16);
    QCOMPARE(f.Window->UrlForDownloadText(), std::string("http://"));
    QCOMPARE(f.Find<QLabel>("AudioPanelTextAmountFiles")->text(),
             QStringLiteral("0 file(s) loaded"));
    QVERIFY(!f.About->isVisible());
}

void TestMainWindow::okDisabledAtStartOnEveryPage_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("audio") << 0;
    QTest::newRow("video") << 1;
    QTest::newRow("download") << 2;
}

void TestMainWindow::okDisabledAtStartOnEveryPage()
{
    QFETCH(int, mode);
    TWindowFixture f;
    f.Button(ModeButtons[(mode + 1) % 3])->click();
    f.Button(ModeButtons[mode])->click();
    QCOMPARE(f.Window->CurrentPage(), mode);
    QVERIFY(!f.OkEnabled());
}

void TestMainWindow::filesFromAudioPageServeVideoPage()
{
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(2));
    QVERIFY(!f.OkEnabled());  // still "Select..."
    QVERIFY(f.Window->SelectListItem("AudioFormatsForOutput", "MPEG Layer-3 (MP3)"));
    QVERIFY(f.OkEnabled());

    f.Button("VideoBtn")->click();
    QVERIFY(!f.OkEnabled());
    f.Find<QComboBox>("VideoFormatsForOutput")->setCurrentIndex(1);
    QVERIFY(f.OkEnabled());
    // The video page says how many files its OK will convert.
    QCOMPARE(f.Find<QLabel>("VideoPanelTextAmountFiles")->text(),
             QStringLiteral("2 file(s) loaded"));
    QCOMPARE(f.Window->InputFileList().size(), size_t(2));

    // Back on the audio page its own rule holds again.
    f.Button("AudioBtn")->click();
    QVERIFY(f.OkEnabled());
}

void TestMainWindow::selectAgainDisablesOk()
{
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(1));
    auto* formats = f.Find<QComboBox>("AudioFormatsForOutput");
    formats->setCurrentIndex(3);
    QVERIFY(f.OkEnabled());
    formats->setCurrentIndex(0);
    QVERIFY(!f.OkEnabled());
    // The formats after the table's own count as chosen formats too.
    formats->setCurrentIndex(formats->count() - 1);
    QCOMPARE(formats->currentText(), QStringLiteral("Opus Audio (OPUS)"));
    QVERIFY(f.OkEnabled());
}

void TestMainWindow::settingsListsNeverChangeOk()
{
    TWindowFixture f;
    for (const char* list : {"AudioBitrateList", "AudioChannelsModeList", "AudioFrequenciesList"}) {
        f.Find<QComboBox>(list)->setCurrentIndex(2);
        QVERIFY(!f.OkEnabled());
    }
    f.Browse("AudioBrowseBtn", SomeFiles(1));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
    for (const char* list : {"AudioBitrateList", "AudioChannelsModeList", "AudioFrequenciesList"}) {
        f.Find<QComboBox>(list)->setCurrentIndex(1);
        QVERIFY(f.OkEnabled());
    }
}

void TestMainWindow::downloadLinkRule_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("enabled");
    const QString dir = QStringLiteral("/tmp");
    QTest::newRow("http:// alone") << "http://" << dir << false;
    QTest::newRow("http:// with blanks") << "  http://   " << dir << false;
    QTest::newRow("http:// twice") << "http://http://" << dir << false;
    QTest::newRow("nothing") << "" << dir << false;
    QTest::newRow("tab and blanks") << " \t " << dir << false;
    QTest::newRow("capitals") << "HTTP://" << dir << true;
    QTest::newRow("a link") << "http://127.0.0.1/watch?v=1" << dir << true;
    QTest::newRow("any text") << "x" << dir << true;
    QTest::newRow("no destination") << "http://host/a"
                                    << "   " << false;
}

void TestMainWindow::downloadLinkRule()
{
    QFETCH(QString, link);
    QFETCH(QString, folder);
    QFETCH(bool, enabled);
    TWindowFixture f;
    f.Button("DownloadBtn")->click();
    f.Window->SetDestinationFolder(TPage::Download, folder.toStdString());
    auto* url = f.Find<QLineEdit>("UrlForDownload");
    url->clear();
    for (QChar c : link) {  // keystroke by keystroke, as a user types
        if (c == QLatin1Char('\t'))
            url->insert(QStringLiteral("\t"));  // Tab would move the focus on
        else
            QTest::keyClicks(url, QString(c));
    }
    QCOMPARE(url->text(), link);
    QCOMPARE(f.OkEnabled(), enabled);
}

void TestMainWindow::fileCountLabel_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("audio page, one") << 0 << 1 << "1 file(s) loaded";
    QTest::newRow("video page, three") << 1 << 3 << "3 file(s) loaded";
    QTest::newRow("audio page, ten: the inserted 0 is not replaced again")
        << 0 << 10 << "10 file(s) loaded";
    QTest::newRow("video page, a hundred") << 1 << 100 << "100 file(s) loaded";
}

void TestMainWindow::fileCountLabel()
{
    QFETCH(int, mode);
    QFETCH(int, count);
    QFETCH(QString, text);
    TWindowFixture f;
    f.Button(ModeButtons[mode])->click();
    f.Browse(mode == 0 ? "AudioBrowseBtn" : "VideoBrowseBtn", SomeFiles(count));
    QCOMPARE(f.LastOpenDialog, QLatin1String(mode == 0 ? "AudioOpenDlg" : "VideoOpenDlg"));
    QCOMPARE(int(f.Window->InputFileList().size()), count);
    QCOMPARE(f.Window->InputFileList().front(), SomeFiles(1).front().toStdString());
    // The list is shared: both pages count it.
    for (const char* name : {"AudioPanelTextAmountFiles", "VideoPanelTextAmountFiles"}) {
        auto* label = f.Find<QLabel>(name);
        QCOMPARE(label->text(), text);
        // The whole text is readable and keeps its right edge inside the step box.
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        QVERIFY(label->geometry().right() < label->parentWidget()->width());
    }
    QVERIFY(f.Find<QLabel>("VideoPanelTextAmountFiles")->x() >
            f.Find("VideoBrowseBtn")->geometry().right());
    QVERIFY(f.Find<QLabel>("AudioPanelTextAmountFiles")->x() >
            f.Find("AudioBrowseBtn")->geometry().right());
}

void TestMainWindow::cancelledFileDialogChangesNothing()
{
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(3));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
    QVERIFY(f.OkEnabled());
    f.Browse("AudioBrowseBtn", std::nullopt);
    QCOMPARE(f.OpenDialogCalls, 2);
    QCOMPARE(f.Window->InputFileList().size(), size_t(3));
    QCOMPARE(f.Find<QLabel>("AudioPanelTextAmountFiles")->text(),
             QStringLiteral("3 file(s) loaded"));
    QVERIFY(f.OkEnabled());
}

void TestMainWindow::fileDialogsFilterWithoutCase()
{
    TWindowFixture f;
    const QString audio =
        f.Window->findChild<TOpenDialog*>(QStringLiteral("AudioOpenDlg"))->Filter();
    const QString video =
        f.Window->findChild<TOpenDialog*>(QStringLiteral("VideoOpenDlg"))->Filter();
    QVERIFY2(audio.contains(QLatin1String("*.[mM][pP]3")), qPrintable(audio));
    QVERIFY2(video.contains(QLatin1String("*.[mM][pP]4")), qPrintable(video));
    QVERIFY(!video.contains(QLatin1String("[mM][pP]3")));
    QCOMPARE(f.Window->findChild<TOpenDialog*>(QStringLiteral("AudioOpenDlg"))->Title(),
             QStringLiteral("Quorvex - Open Audio/Video File(s)"));
}

void TestMainWindow::destinationButtons_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("button");
    QTest::addColumn<TPage>("page");
    QTest::newRow("audio") << 0 << "AudioDestinationBtn" << TPage::Audio;
    QTest::newRow("video") << 1 << "VideoDestinationBtn" << TPage::Video;
    QTest::newRow("download") << 2 << "DownloadDestinationBtn" << TPage::Download;
}

void TestMainWindow::destinationButtons()
{
    QFETCH(int, mode);
    QFETCH(QString, button);
    QFETCH(TPage, page);
    TWindowFixture f;
    f.Button(ModeButtons[mode])->click();
    f.FilesAnswer = SomeFiles(1);
    if (mode < 2) {
        f.Button(mode == 0 ? "AudioBrowseBtn" : "VideoBrowseBtn")->click();
        f.Find<QComboBox>(mode == 0 ? "AudioFormatsForOutput" : "VideoFormatsForOutput")
            ->setCurrentIndex(1);
    } else {
        f.Window->SetUrlForDownloadText("http://127.0.0.1/a");
    }
    QVERIFY(f.OkEnabled());
    const std::string before = f.Window->DestinationPath(page);
    const QByteArray name = button.toLatin1();

    // Cancelled: nothing changes.
    f.FolderAnswer = std::nullopt;
    f.Button(name.constData())->click();
    QCOMPARE(f.LastFolderDialogStart.toStdString(), before);
    QCOMPARE(f.Window->DestinationPath(page), before);
    QVERIFY(f.OkEnabled());

    // A folder with blanks, quotes and non-ASCII letters: field and picker agree.
    const QString odd = QStringLiteral("/tmp/a \"b\" -c/Müsik");
    f.FolderAnswer = odd;
    f.Button(name.constData())->click();
    QCOMPARE(f.Window->DestinationPath(page), odd.toStdString());
    QCOMPARE(f.Window->SelectedFolder(page), odd.toStdString());
    QVERIFY(f.OkEnabled());
    f.Button(name.constData())->click();
    QCOMPARE(f.LastFolderDialogStart, odd);  // the picker opens at its folder

    // A folder with no path in the file system empties the field and disables OK.
    f.FolderAnswer = QString();
    f.Button(name.constData())->click();
    QCOMPARE(f.Window->DestinationPath(page), std::string());
    QVERIFY(!f.OkEnabled());
    // Only this page's destination changed.
    for (TPage other : {TPage::Audio, TPage::Video, TPage::Download}) {
        if (other != page)
            QCOMPARE(f.Window->DestinationPath(other), before);
    }
}

void TestMainWindow::modeButtonRunsShowHandlersInOrder_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("page 0 to 1") << 0 << 1 << QStringList{"TabSheet2"};
    QTest::newRow("page 1 to 2") << 1 << 2 << QStringList{"TabSheet1", "TabSheet3"};
    QTest::newRow("page 2 to 1") << 2 << 1 << QStringList{"TabSheet1", "TabSheet2"};
    QTest::newRow("page 2 to 0") << 2 << 0 << QStringList{"TabSheet1"};
    QTest::newRow("page 0 to 0") << 0 << 0 << QStringList{};
}

void TestMainWindow::modeButtonRunsShowHandlersInOrder()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, shown);
    TWindowFixture f;
    f.Button(ModeButtons[from])->click();
    TShowRecorder recorder;
    for (const char* page : {"TabSheet1", "TabSheet2", "TabSheet3"})
        f.Find(page)->installEventFilter(&recorder);
    f.Button(ModeButtons[to])->click();
    QCOMPARE(recorder.Shown, shown);
    QCOMPARE(f.Window->CurrentPage(), to);
    // The target page's rule is the one in force: the download page with a
    // link enables OK although the audio page (shown first) has no files.
    f.Window->SetUrlForDownloadText("http://127.0.0.1/x");
    QVERIFY(f.OkEnabled());
    f.Button(ModeButtons[(to + 1) % 3])->click();
    f.Button(ModeButtons[to])->click();
    QCOMPARE(f.OkEnabled(), to == 2);
}

void TestMainWindow::tabVersusModeButton()
{
    TWindowFixture f;
    f.Window->SetUrlForDownloadText("http://127.0.0.1/x");
    QVERIFY(f.OkEnabled());
    auto* tabs = f.Find<QTabWidget>("DataControl")->tabBar();
    auto* tabBar = static_cast<TPageTabBar*>(tabs);
    // The download page by its tab: the page and OK change ...
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabBar->TabShape(2).center());
    QCOMPARE(f.Window->CurrentPage(), 2);
    QVERIFY(f.OkEnabled());
    // ... the mode display does not.
    QCOMPARE(f.Find<TImageButton>("AudioBtn")->CaptionQColor(), QColor(Qt::yellow));
    QCOMPARE(f.Find<TImageButton>("DownloadBtn")->CaptionQColor(), QColor(Qt::white));
    QVERIFY(f.Find("Image1")->isVisible());
    QVERIFY(!f.Find("Image3")->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabBar->TabShape(0).center());
    QCOMPARE(f.Window->CurrentPage(), 0);
    QVERIFY(!f.OkEnabled());
    // The mode button moves both.
    f.Button("DownloadBtn")->click();
    QCOMPARE(f.Find<TImageButton>("AudioBtn")->CaptionQColor(), QColor(Qt::white));
    QCOMPARE(f.Find<TImageButton>("DownloadBtn")->CaptionQColor(), QColor(Qt::yellow));
    QVERIFY(!f.Find("Image1")->isVisible());
    QVERIFY(f.Find("Image3")->isVisible());
}

void TestMainWindow::hiddenHoldersStayHidden()
{
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(4));
    for (const char* mode : {"VideoBtn", "DownloadBtn", "AudioBtn"})
        f.Button(mode)->click();
    f.Window->AppendDebugLine("RUN: a line");
    f.Window->hide();
    f.Window->show();
    QVERIFY(!f.Find("InputFiles")->isVisible());
    QVERIFY(!f.Find("DebugText")->isVisible());
    QCOMPARE(f.Find<QListWidget>("InputFiles")->count(), 4);
}

void TestMainWindow::trayMenuItems()
{
    TWindowFixture f;
    auto* menu = f.Window->findChild<QMenu*>(QStringLiteral("PopupMenuShel"));
    QVERIFY(menu);
    const QList<QAction*> items = menu->actions();
    QCOMPARE(items.size(), 5);
    // The separator line carries no text of its own.
    const QStringList texts = {"Open Quorvex...", "Hide Minimized", "", "About Quorvex", "Exit"};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(items[i]->objectName(), QStringLiteral("PopupMenuShelBtn%1").arg(i + 1));
        QCOMPARE(items[i]->text(), texts[i]);
        QCOMPARE(items[i]->isSeparator(), i == 2);
    }
}

void TestMainWindow::hideAndOpenFromTray()
{
    TWindowFixture f;
    f.Button("VideoBtn")->click();
    f.Browse("VideoBrowseBtn", SomeFiles(2));
    f.Find<QComboBox>("VideoFormatsForOutput")->setCurrentIndex(2);
    QVERIFY(f.OkEnabled());
    const auto items = f.Window->findChild<QMenu*>(QStringLiteral("PopupMenuShel"))->actions();
    items[1]->trigger();  // Hide Minimized
    QVERIFY(!f.Window->isVisible());
    items[0]->trigger();  // Open Quorvex...
    QVERIFY(f.Window->isVisible());
    QVERIFY(!f.Window->isMinimized());
    QCOMPARE(f.Window->CurrentPage(), 1);
    QCOMPARE(f.Window->InputFileList().size(), size_t(2));
    QVERIFY(f.OkEnabled());  // the page's show handler ran again
    // A double click on the icon of a shown window changes nothing.
    f.Window->RzTrayIcon1LButtonDblClick();
    QVERIFY(f.Window->isVisible());
    QCOMPARE(f.Window->CurrentPage(), 1);
    // Hide, then double click.
    items[1]->trigger();
    f.Window->RzTrayIcon1LButtonDblClick();
    QVERIFY(f.Window->isVisible());
    QCOMPARE(f.Window->CurrentPage(), 1);
}

void TestMainWindow::minimiseWithoutTrayKeepsWindowReachable()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a tray");
    TWindowFixture f;
    f.Window->showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(f.Window->isVisible());
    f.Window->PopupMenuShelBtn1Click();
    QVERIFY(!f.Window->isMinimized());
    QVERIFY(f.Window->isVisible());
}

void TestMainWindow::aboutWindow()
{
    TWindowFixture f;
    TAboutWindow& about = *f.About;
    QCOMPARE(about.size(), QSize(355, 135));
    QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
    const QString text = about.findChild<QLabel*>(QStringLiteral("AboutText"))->text();
    QVERIFY(text.startsWith(QLatin1String("Quorvex - Media Converter 1.35\n\rBrimlow LLC\n\r")));
    QCOMPARE(text.count(QLatin1String("\n\r")), 2);
    QCOMPARE(TLineBreakLabel::DisplayText(text).split(QLatin1Char('\n')).size(), 3);
    // The three lines fit the label without wrapping into the link below.
    auto* label = about.findChild<QLabel*>(QStringLiteral("AboutText"));
    for (const QString& line : TLineBreakLabel::DisplayText(text).split(QLatin1Char('\n')))
        QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(), qPrintable(line));
    auto* link = about.findChild<QLabel*>(QStringLiteral("UrlForHomeSite"));
    QVERIFY(link->text().startsWith(QLatin1String("http://")));
    QCOMPARE(about.LinkTarget(), link->text());
    QCOMPARE(about.findChild<QAbstractButton*>(QStringLiteral("AboutOkBtn"))->text(),
             QStringLiteral("Ok"));

    // "About Quorvex" shows it modally; "Ok" closes it; the next time it is the same.
    const auto items = f.Window->findChild<QMenu*>(QStringLiteral("PopupMenuShel"))->actions();
    for (int round = 0; round < 2; ++round) {
        bool wasShown = false;
        QPoint at;
        QTimer::singleShot(0, &about, [&] {
            wasShown = about.isVisible() && about.isModal();
            at = about.pos();
            about.findChild<QAbstractButton*>(QStringLiteral("AboutOkBtn"))->click();
        });
        items[3]->trigger();
        QVERIFY(wasShown);
        QVERIFY(!about.isVisible());
        if (round == 0)
            about.setProperty("firstPos", at);
        else
            QCOMPARE(at, about.property("firstPos").toPoint());
    }
}

class TUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Opened;

public slots:
    void Open(const QUrl& url) { Opened << url; }
};

void TestMainWindow::aboutLinkOpensAddress()
{
    TWindowFixture f;
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");
    f.About->show();
    auto* link = f.About->findChild<QLabel*>(QStringLiteral("UrlForHomeSite"));
    QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.Opened.size(), 1);
    QCOMPARE(catcher.Opened.front(), QUrl(link->text()));
    f.About->hide();
}

void TestMainWindow::jobHostReachesTheWindow()
{
    TWindowFixture f;
    TJobHost& host = f.Window->JobHost();
    host.AppendDebugLine("RUN: first");
    host.AppendDebugLine("second");
    QCOMPARE(f.Window->DebugTextContent(), std::string("RUN: first\nsecond"));
    host.SetProgress(42);
    QCOMPARE(f.Window->ProgressPosition(), 42);
    host.SetProgress(250);
    QCOMPARE(f.Window->ProgressPosition(), 100);
    host.SetProgressBusy(true);
    QVERIFY(f.Find<TProgressLine>("ProgressLine")->IsBusy());
    host.SetProgress(10);
    QVERIFY(!f.Find<TProgressLine>("ProgressLine")->IsBusy());
    QVERIFY(!host.StopRequested());
}

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
