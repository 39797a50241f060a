// The two file-open dialogs: the captions table's filter first and every file
// after it, and no typed name that exists is ever dropped, through the main
// window and through the real dialog offscreen.

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "WindowDriver.h"
#include "WindowFixture.h"
#include "settings/TranslateFormUnit.h"
#include "ui/dialog_components.h"

namespace {

QString TableFilter(const char* dialog)
{
    const int row = TTranslateForm().FindCaptionRow(dialog, "Filter");
    return ConvertDialogFilter(TTranslateForm::CaptionValue(row));
}

bool Touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1;
}

}  // namespace

class TestOpenDialogs : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Two the table's filter shows, two it hides, one folder.
        for (const char* name : {"a.mp3", "b.flac", "c.WAV", "d e.mkv"})
            QVERIFY(Touch(Path(name)));
        QVERIFY(QDir(m_dir.path()).mkdir("sub.mp3"));
    }

    void dialogsOfferTheTableFilterThenEveryFile_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("browse");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("audio") << "AudioBtn"
                               << "AudioBrowseBtn"
                               << "AudioOpenDlg";
        QTest::newRow("video") << "VideoBtn"
                               << "VideoBrowseBtn"
                               << "VideoOpenDlg";
    }
    void dialogsOfferTheTableFilterThenEveryFile()
    {
        QFETCH(QString, page);
        QFETCH(QString, browse);
        QFETCH(QString, dialog);
        TWindowFixture f;
        QStringList offered;
        TOpenDialog::SetAnswer([&offered](const TOpenDialog& shown) {
            offered = shown.NameFilters();
            return std::optional<QStringList>();
        });
        f.Button(page.toLatin1().constData())->click();
        f.Button(browse.toLatin1().constData())->click();
        const QString table = TableFilter(dialog.toLatin1().constData());
        QVERIFY(table.startsWith("All supported files ("));
        QCOMPARE(offered, (QStringList{table, "All files (*)"}));

        // The real dialog gets the same filters, the table's one chosen.
        auto* component = f.Window->findChild<TOpenDialog*>(dialog);
        QVERIFY(component);
        QFileDialog real;
        real.setOption(QFileDialog::DontUseNativeDialog);
        component->Prepare(real);
        QCOMPARE(real.nameFilters(), offered);
        // (The dialog names a filter by its description once details are hidden.)
        QCOMPARE(real.selectedNameFilter(), table.section(" (", 0, 0));
        QCOMPARE(real.fileMode(), QFileDialog::ExistingFiles);
        QVERIFY(real.defaultSuffix().isEmpty());
    }

    void typedNames_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("missing");

        QTest::newRow("nothing typed")
            << "" << QStringList{"%/a.mp3"} << QStringList{"%/a.mp3"} << QStringList();
        QTest::newRow("one name with a blank, unquoted")
            << "d e.mkv" << QStringList() << QStringList{"%/d e.mkv"} << QStringList();
        QTest::newRow("hidden names kept, in typed order")
            << "\"b.flac\" \"a.mp3\" \"d e.mkv\" \"c.WAV\"" << QStringList{"%/a.mp3", "%/c.WAV"}
            << QStringList{"%/b.flac", "%/a.mp3", "%/d e.mkv", "%/c.WAV"} << QStringList();
        QTest::newRow("a name that is not there is named")
            << "\"a.mp3\" \"gone.ogg\"" << QStringList{"%/a.mp3"} << QStringList{"%/a.mp3"}
            << QStringList{"%/gone.ogg"};
        QTest::newRow("absolute and relative, each once")
            << "\"%/a.mp3\" \"a.mp3\" \"./b.flac\"" << QStringList{"%/a.mp3"}
            << QStringList{"%/a.mp3", "%/b.flac"} << QStringList();
        QTest::newRow("a folder is neither a file nor missing")
            << "\"sub.mp3\" \"a.mp3\"" << QStringList{"%/a.mp3"} << QStringList{"%/a.mp3"}
            << QStringList();
        QTest::newRow("selected but not typed comes after")
            << "\"b.flac\"" << QStringList{"%/a.mp3"} << QStringList{"%/b.flac", "%/a.mp3"}
            << QStringList();
    }
    void typedNames()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, files);
        QFETCH(QStringList, missing);
        const QString dir = m_dir.path();
        for (QStringList* list : {&selected, &files, &missing})
            list->replaceInStrings("%", dir);
        const TChosenFiles chosen =
            CompleteWithTypedNames(selected, TypedFileNames(field.replace("%", dir), dir));
        QCOMPARE(chosen.Files, files);
        QCOMPARE(chosen.Missing, missing);
    }

    void realDialogKeepsTypedNamesItsFilterHides()
    {
        QObject window;
        TOpenDialog component(QStringLiteral("AudioOpenDlg"), &window);
        TTranslateForm().Translate(&window);
        component.SetInitialDir(m_dir.path());
        TMessageRecorder messages;

        bool typed = false;
        QTimer giveUp;  // a dialog that never shows its files must not hang the test
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, this, [] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        giveUp.start(20000);
        WhenTrue(
            this,
            [] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (dialog && !dialog->isActiveWindow())
                    dialog->activateWindow();
                auto* view = dialog && dialog->isActiveWindow()
                                 ? dialog->findChild<QListView*>("listView")
                                 : nullptr;
                // Both files the filter shows are listed, so typing selects them.
                return view && view->model()->rowCount(view->rootIndex()) >= 3;
            },
            [&typed] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                // Typed as a person does: the name field has the focus.
                auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
                field->setFocus();
                field->setText("\"a.mp3\" \"b.flac\" \"c.WAV\" \"gone.ogg\"");
                typed = true;
                QMetaObject::invokeMethod(dialog, "accept");
            });
        const bool accepted = component.Execute(nullptr);
        QVERIFY(typed);
        QVERIFY(accepted);
        QCOMPARE(component.Files(), (QStringList{Path("a.mp3"), Path("b.flac"), Path("c.WAV")}));
        QCOMPARE(messages.Texts(), QStringList{"File not found, not added: " + Path("gone.ogg")});
        QCOMPARE(messages.Messages.front().Kind, TMessageKind::Warning);
    }
};

QTEST_MAIN(TestOpenDialogs)
#include "tst_OpenDialogs.moc"
