// The two file-open dialogs: the captions table's filter first and every file
// after it, and no typed name that exists is ever dropped, through the main
// window and through the real dialog offscreen.

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

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

// Runs ACT on the open dialog once it lists at least MINROWS entries, and
// rejects a dialog that never does, so that no test hangs on it.
void WithShownDialog(QObject* owner, int minRows, std::function<void(QFileDialog*)> act)
{
    auto* giveUp = new QTimer(owner);
    giveUp->setSingleShot(true);
    QObject::connect(giveUp, &QTimer::timeout, owner, [giveUp] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
        giveUp->deleteLater();
    });
    giveUp->start(20000);
    WhenTrue(
        owner,
        [minRows] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog && !dialog->isActiveWindow())
                dialog->activateWindow();
            auto* view = dialog && dialog->isActiveWindow()
                             ? dialog->findChild<QListView*>("listView")
                             : nullptr;
            return view && view->model()->rowCount(view->rootIndex()) >= minRows;
        },
        [act, giveUp = QPointer<QTimer>(giveUp)] {
            if (giveUp) {
                giveUp->stop();
                giveUp->deleteLater();
            }
            act(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        });
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

    static QStringList OddNames()
    {
        return {QString::fromUtf8("-dash \u00fcn\u00ef 'quote\" space.flac"),
                QStringLiteral("\"both\" ends.mp3"), QStringLiteral("  blanks around .ogg"),
                QStringLiteral("it's.wav")};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Two the table's filter shows, two it hides, one folder.
        for (const char* name : {"a.mp3", "b.flac", "c.WAV", "d e.mkv"})
            QVERIFY(Touch(Path(name)));
        // Names the name field cannot hold as they are.
        for (const QString& name : OddNames())
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

    void realDialogReturnsChosenNamesWhole_data()
    {
        QTest::addColumn<QStringList>("names");
        const QStringList odd = OddNames();
        QTest::newRow("quotes, dash, non-ASCII") << QStringList{odd[0]};
        QTest::newRow("quoted at both ends") << QStringList{odd[1]};
        QTest::newRow("blanks around") << QStringList{odd[2]};
        QTest::newRow("several odd names") << odd;
        QTest::newRow("odd and plain") << QStringList{"a.mp3", odd[0], "b.flac"};
    }
    void realDialogReturnsChosenNamesWhole()
    {
        QFETCH(QStringList, names);
        QObject window;
        // No table filter: every file is listed.
        TOpenDialog component(QStringLiteral("AudioOpenDlg"), &window);
        component.SetInitialDir(m_dir.path());
        TMessageRecorder messages;

        QString field;
        WithShownDialog(this, 9, [&names, &field](QFileDialog* dialog) {
            // Chosen as a person does: a click on the first, Ctrl+click on
            // the others, then the Open button.
            // The view the dialog shows (the list or the detail view); a click
            // on it gives it the focus.
            QAbstractItemView* view = dialog->findChild<QListView*>("listView");
            if (!view->isVisible())
                view = dialog->findChild<QAbstractItemView*>("treeView");
            view->setFocus(Qt::MouseFocusReason);
            const QModelIndex root = view->rootIndex();
            bool first = true;
            for (const QString& name : names) {
                QModelIndex item;
                for (int row = 0; row < view->model()->rowCount(root); ++row) {
                    const QModelIndex index = view->model()->index(row, 0, root);
                    if (index.data().toString() == name)
                        item = index;
                }
                if (!item.isValid())
                    break;
                view->scrollTo(item);
                QTest::mouseClick(view->viewport(), Qt::LeftButton,
                                  first ? Qt::NoModifier : Qt::ControlModifier,
                                  view->visualRect(item).center());
                first = false;
            }
            field = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
            auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
            QTest::mouseClick(box->button(QDialogButtonBox::Open), Qt::LeftButton);
            if (dialog->isVisible())
                dialog->reject();
        });
        const bool accepted = component.Execute(nullptr);
        QVERIFY2(accepted, qPrintable("name field: " + field));
        QStringList paths;
        for (const QString& name : names)
            paths << Path(name);
        QStringList files = component.Files();
        // The dialog returns the chosen files in its list's order.
        files.sort();
        paths.sort();
        QCOMPARE(files, paths);
        QCOMPARE(messages.Texts(), QStringList());
    }

    void realDialogKeepsTypedNamesItsFilterHides()
    {
        QObject window;
        TOpenDialog component(QStringLiteral("AudioOpenDlg"), &window);
        TTranslateForm().Translate(&window);
        component.SetInitialDir(m_dir.path());
        TMessageRecorder messages;

        bool typed = false;
        // Both files the filter shows are listed, so typing selects them.
        WithShownDialog(this, 3, [&typed](QFileDialog* dialog) {
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
