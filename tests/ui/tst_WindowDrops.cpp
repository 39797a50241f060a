// Drag and drop on the main window: files and folder trees dropped on the
// conversion pages, links dropped on the download page, and the rules for
// naming and ordering media files found in folders.

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "WindowFixture.h"
#include "ui/media_drop.h"

namespace {

const char* const ModeButtons[] = {"AudioBtn", "VideoBtn", "DownloadBtn"};
const char* const PageNames[] = {"TabSheet1", "TabSheet2", "TabSheet3"};

// A folder tree as a file manager shows it: mixed case names and
// extensions, a hidden file, files that are no media, and a linked folder
// that leads back to the top.
bool MakeTree(const QString& root)
{
    const QStringList files = {"music/Track 10.mp3", "music/track 2.MP3", "music/cover.jpg",
                               "music/notes.txt",    "music/.hidden.mp3", "music/b/song.flac",
                               "music/A/x.opus",     "music/A/clip.mkv",  "music/.cache/c.mp3",
                               "empty/readme.txt"};
    for (const QString& name : files) {
        const QString path = root + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return false;
    }
    return QFile::link(root + QStringLiteral("/music"), root + QStringLiteral("/music/loop"));
}

// Sends a drag entering the page and, when it is accepted, the drop.
bool Drop(TWindowFixture& f, int mode, QMimeData* mime)
{
    QWidget* target = f.Find(PageNames[mode]);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

QMimeData* UriList(const QString& root, const QStringList& entries)
{
    QList<QUrl> urls;
    for (const QString& entry : entries)
        urls << (entry.startsWith(QLatin1String("http")) ? QUrl(entry)
                                                         : QUrl::fromLocalFile(root + '/' + entry));
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

}  // namespace

class TestWindowDrops : public QObject
{
    Q_OBJECT

private slots:
    void filterExtensions_data();
    void filterExtensions();
    void nameOrder();
    void dropOnConversionPage_data();
    void dropOnConversionPage();
    void dropOnDownloadPage_data();
    void dropOnDownloadPage();
    void noDropWhileJobRuns();
};

void TestWindowDrops::filterExtensions_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("extensions");
    QTest::newRow("either case") << "All supported files (*.[mM][pP]3 *.[oO][gG][gG])"
                                 << QStringList{"mp3", "ogg"};
    QTest::newRow("plain and upper case") << "Media (*.WAV *.flv)" << QStringList{"flv", "wav"};
    QTest::newRow("all files names none")
        << "Media (*.[mM]4[aA]);;All files (*)" << QStringList{"m4a"};
    QTest::newRow("patterns are no extensions") << "Odd (*.* *.m? x*)" << QStringList{};
}

void TestWindowDrops::filterExtensions()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, extensions);
    QStringList got = FilterExtensions(filter).values();
    got.sort();
    QCOMPARE(got, extensions);
}

void TestWindowDrops::nameOrder()
{
    QStringList names = {"track 10.mp3", "Track 9.mp3", "track 010b.mp3", "b.mp3",
                         "A.mp3",        "track 2.mp3", "a.mp3",          "track.mp3"};
    std::sort(names.begin(), names.end(), NameLessThan);
    QCOMPARE(names, (QStringList{"A.mp3", "a.mp3", "b.mp3", "track 2.mp3", "Track 9.mp3",
                                 "track 10.mp3", "track 010b.mp3", "track.mp3"}));
}

void TestWindowDrops::dropOnConversionPage_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("expected");  // empty: the list stays as it was
    QTest::newRow("files, as dropped") << 0 << QStringList{"music/track 2.MP3", "music/cover.jpg"}
                                       << QStringList{"music/track 2.MP3", "music/cover.jpg"};
    QTest::newRow("folder tree on the audio page")
        << 0 << QStringList{"music"}
        << QStringList{"music/A/clip.mkv", "music/A/x.opus", "music/b/song.flac",
                       "music/track 2.MP3", "music/Track 10.mp3"};
    QTest::newRow("folder tree on the video page")
        << 1 << QStringList{"music"} << QStringList{"music/A/clip.mkv"};
    QTest::newRow("file and folder, a file named twice once")
        << 0 << QStringList{"music/b/song.flac", "music/b", "music/A/x.opus"}
        << QStringList{"music/b/song.flac", "music/A/x.opus"};
    QTest::newRow("folder without media") << 0 << QStringList{"empty"} << QStringList{};
    QTest::newRow("a web link") << 1 << QStringList{"http://127.0.0.1/a.mp4"} << QStringList{};
    QTest::newRow("a file that is gone") << 0 << QStringList{"music/gone.mp3"} << QStringList{};
}

void TestWindowDrops::dropOnConversionPage()
{
    QFETCH(int, mode);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(MakeTree(dir.path()));
    TWindowFixture f;
    f.Button(ModeButtons[mode])->click();
    f.Browse(mode == 0 ? "AudioBrowseBtn" : "VideoBrowseBtn", SomeFiles(1));
    f.Find<QComboBox>(mode == 0 ? "AudioFormatsForOutput" : "VideoFormatsForOutput")
        ->setCurrentIndex(1);
    const TStringList before = f.Window->InputFileList();

    std::unique_ptr<QMimeData> mime(UriList(dir.path(), dropped));
    QCOMPARE(Drop(f, mode, mime.get()), !expected.isEmpty());
    TStringList want;
    for (const QString& file : expected)
        want.push_back((dir.path() + '/' + file).toStdString());
    if (expected.isEmpty())
        want = before;
    QCOMPARE(f.Window->InputFileList(), want);
    // As a confirmed Browse: both labels count the list, OK follows the rule.
    const QString count = QStringLiteral("%1 file(s) loaded").arg(want.size());
    QCOMPARE(f.Find<QLabel>("AudioPanelTextAmountFiles")->text(), count);
    QCOMPARE(f.Find<QLabel>("VideoPanelTextAmountFiles")->text(), count);
    QVERIFY(f.OkEnabled());
}

void TestWindowDrops::dropOnDownloadPage_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("link");  // empty: the field keeps "http://"
    QTest::newRow("a link from a browser")
        << QStringList{"https://127.0.0.1/watch?v=1&t=2"} << "https://127.0.0.1/watch?v=1&t=2"
        << "https://127.0.0.1/watch?v=1&t=2";
    QTest::newRow("dragged text that is a link")
        << QStringList{} << "  http://127.0.0.1/page.html\n"
        << "http://127.0.0.1/page.html";
    QTest::newRow("a local file") << QStringList{"file:///tmp/a.mp4"} << ""
                                  << "";
    QTest::newRow("text that is no link") << QStringList{} << "hello world"
                                          << "";
    QTest::newRow("two lines of text") << QStringList{} << "http://127.0.0.1/a\nhttp://127.0.0.1/b"
                                       << "";
}

void TestWindowDrops::dropOnDownloadPage()
{
    QFETCH(QStringList, urls);
    QFETCH(QString, text);
    QFETCH(QString, link);
    TWindowFixture f;
    f.Button("DownloadBtn")->click();
    QMimeData mime;
    QList<QUrl> list;
    for (const QString& url : urls)
        list << QUrl(url);
    if (!list.isEmpty())
        mime.setUrls(list);
    if (!text.isEmpty())
        mime.setText(text);
    QCOMPARE(Drop(f, 2, &mime), !link.isEmpty());
    QCOMPARE(QString::fromStdString(f.Window->UrlForDownloadText()),
             link.isEmpty() ? QStringLiteral("http://") : link);
    QCOMPARE(f.OkEnabled(), !link.isEmpty());
}

void TestWindowDrops::noDropWhileJobRuns()
{
    QTemporaryDir dir;
    QVERIFY(MakeTree(dir.path()));
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(2));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
    bool taken = true;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        std::unique_ptr<QMimeData> mime(UriList(dir.path(), {"music"}));
        taken = Drop(f, 0, mime.get());
        // Cancelled but still winding down: the pages are unlocked, yet the
        // list must not change under the job.
        w.ProcessCancelBtnClick();
        taken = taken || Drop(f, 0, mime.get());
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(!taken);
    QCOMPARE(f.Window->InputFileList().size(), size_t(2));
    QCOMPARE(f.Find<QLabel>("AudioPanelTextAmountFiles")->text(),
             QStringLiteral("2 file(s) loaded"));
}

QTEST_MAIN(TestWindowDrops)
#include "tst_WindowDrops.moc"
