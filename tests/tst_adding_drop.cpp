// Adding files on the real window: the open dialog, drag-over and drops.

#include "addingfixture.h"
#include "filelist/filelistview.h"
#include "foldertree.h"

#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

namespace {

const QString TooManyFiles = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");

} // namespace

class TestAddingDrop : public AddingFixture {
    Q_OBJECT

private slots:
    void dialogAddsChosenFiles_data();
    void dialogAddsChosenFiles();
    void dragOverRefusesDataWithoutFiles_data();
    void dragOverRefusesDataWithoutFiles();
    void dropAddsFilesAndScansFolders_data();
    void dropAddsFilesAndScansFolders();
    void dropSkipsUnreadableFolders();
    void dropIsAlwaysACopy_data();
    void dropIsAlwaysACopy();
};

void TestAddingDrop::dialogAddsChosenFiles_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("tooMany");
    const QStringList none;
    QTest::newRow("cancelled") << none << none << false;
    QTest::newRow("one file, kept as returned") << QStringList{QStringLiteral("/music//odd/a.mp3")}
                                                << QStringList{QStringLiteral("/music//odd/a.mp3")} << false;
    QTest::newRow("several, in the dialog's order, cleaned")
        << QStringList{QStringLiteral("/music//x/b.mp3"), QStringLiteral("/music//x/a.mp3")}
        << QStringList{QStringLiteral("/music/x/b.mp3"), QStringLiteral("/music/x/a.mp3")} << false;
    QTest::newRow("several in the root") << QStringList{QStringLiteral("/b.mp3"), QStringLiteral("/a.mp3")}
                                         << QStringList{QStringLiteral("/b.mp3"), QStringLiteral("/a.mp3")} << false;
    QTest::newRow("a device is never added") << QStringList{QStringLiteral("/dev/null")} << none << false;

    // The combined answer counts the folder and every name, each with one separator.
    const auto named = [](int length) { return QString(length - 4, QLatin1Char('x')) + QStringLiteral(".mp3"); };
    const QString longest = QLatin1Char('/') + named(29998);
    QTest::newRow("one file of 29999 characters") << QStringList{longest} << QStringList{longest} << false;
    QTest::newRow("one file of 30000 characters") << QStringList{longest + QLatin1Char('3')} << none << true;
    const QStringList fitting{QStringLiteral("/f/") + named(14997), QStringLiteral("/f/") + named(14998)};
    QTest::newRow("several filling 30000 characters") << fitting << fitting << false;
    QTest::newRow("several over 30000 characters")
        << QStringList{fitting.at(0), QStringLiteral("/f/") + named(14999)} << none << true;
}

void TestAddingDrop::dialogAddsChosenFiles()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, rows);
    QFETCH(bool, tooMany);
    ScriptedPrompts &prompts = m_test->prompts;
    prompts.fileAnswers << chosen;
    window().PushButton1->click();

    const QList<ScriptedPrompts::Call> dialogs = prompts.callsOf(QStringLiteral("openFiles"));
    QCOMPARE(dialogs.size(), 1);
    QCOMPARE(dialogs.first().title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    QCOMPARE(dialogs.first().extra, QStringLiteral("MP3 Files (*.mp3)"));
    QCOMPARE(window().ListView1->texts(), rows);
    const QList<ScriptedPrompts::Call> messages = prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), tooMany ? 1 : 0);
    if (tooMany) {
        QCOMPARE(messages.first().title, window().applicationTitle());
        QCOMPARE(messages.first().text, TooManyFiles);
        QCOMPARE(messages.first().icon, Prompts::Icon::None);
    }
}

void TestAddingDrop::dragOverRefusesDataWithoutFiles_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::newRow("plain text") << false << QStringLiteral("/music/a.mp3") << QList<QUrl>{};
    QTest::newRow("web address only") << false << QString() << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.mp3"))};
    QTest::newRow("local file") << true << QString() << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/music/a.mp3"))};
}

void TestAddingDrop::dragOverRefusesDataWithoutFiles()
{
    QFETCH(bool, accepted);
    QFETCH(QString, text);
    QFETCH(QList<QUrl>, urls);
    QMimeData data;
    if (!text.isEmpty())
        data.setText(text);
    if (!urls.isEmpty())
        data.setUrls(urls);
    // Entering is the first drag-over; the moves that follow get the same answer.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window().ListView1->viewport(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QCOMPARE(enter.dropAction(), accepted ? Qt::CopyAction : Qt::IgnoreAction);
    if (!accepted)
        return;
    QDragMoveEvent over(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window().ListView1->viewport(), &over);
    QVERIFY(over.isAccepted());
    QCOMPARE(over.dropAction(), Qt::CopyAction);
}

void TestAddingDrop::dropAddsFilesAndScansFolders_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("rows");
    const QString albums = QStringLiteral("R/Albums 2021");
    const QString musik = QString::fromUtf8("R/Müsik 日本");
    const QStringList albumsFolders{albums, albums + QStringLiteral("/Disc 2")};

    QTest::newRow("a folder: its files and those below, of every type")
        << QStringList{m_music->path(QStringLiteral("R"))} << musicRows(musicFolders(), true);
    // Files are taken as delivered: no check of type or even existence.
    const QString loose = m_music->path(QStringLiteral("R/notes.txt"));
    const QString gone = m_music->path(QStringLiteral("gone.mp3"));
    QTest::newRow("files and a folder, each at its place")
        << QStringList{loose, m_music->path(albums), gone}
        << QStringList{loose} + musicRows(albumsFolders, true) + QStringList{gone};
    QTest::newRow("devices are skipped")
        << QStringList{loose, QStringLiteral("/dev/null"), gone} << QStringList{loose, gone};
    QTest::newRow("two folders, each once")
        << QStringList{m_music->path(musik), m_music->path(albums)}
        << musicRows({musik}, true) + musicRows(albumsFolders, true);
}

void TestAddingDrop::dropAddsFilesAndScansFolders()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, rows);
    std::unique_ptr<QMimeData> data(filesData(dropped));
    // Rows always go to the end, wherever the drop lands.
    window().ListView1->append(QStringLiteral("/kept/first.mp3"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window().ListView1->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window().ListView1->viewport(), &drop);
    QCOMPARE(window().ListView1->texts(), QStringList{QStringLiteral("/kept/first.mp3")} + rows);
}

void TestAddingDrop::dropSkipsUnreadableFolders()
{
    const FolderTree tree(m_test->scratch() + QStringLiteral("/U"));
    for (const char *file : {"a.mp3", "locked1/x.mp3", "locked2/y.mp3", "open/z.mp3"})
        tree.file(QString::fromLatin1(file));
    const UnreadableFolders locked({tree.path(QStringLiteral("locked1")), tree.path(QStringLiteral("locked2"))});
    if (!locked.inEffect())
        QSKIP("These folders stay readable for this user, so there is no refusal to show.");
    std::unique_ptr<QMimeData> data(filesData({tree.root()}));
    QDropEvent drop(QPointF(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    window().ListView1_OLEDragDrop(&drop);
    QCOMPARE(window().ListView1->texts(), QStringList({tree.path(QStringLiteral("a.mp3")), tree.path(QStringLiteral("open/z.mp3"))}));
}

void TestAddingDrop::dropIsAlwaysACopy_data()
{
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::DropAction>("proposed");
    QTest::addColumn<bool>("taken"); // as a copy
    // A source told "move" may remove its originals.
    QTest::newRow("move proposed") << (Qt::CopyAction | Qt::MoveAction) << Qt::MoveAction << true;
    QTest::newRow("link proposed") << (Qt::CopyAction | Qt::LinkAction) << Qt::LinkAction << true;
    QTest::newRow("no copy offered") << Qt::DropActions(Qt::MoveAction | Qt::LinkAction) << Qt::MoveAction << false;
}

void TestAddingDrop::dropIsAlwaysACopy()
{
    QFETCH(Qt::DropActions, offered);
    QFETCH(Qt::DropAction, proposed);
    QFETCH(bool, taken);
    std::unique_ptr<QMimeData> data(filesData({QStringLiteral("/music/a.mp3")}));
    QWidget *viewport = window().ListView1->viewport();
    QDragEnterEvent enter(QPoint(5, 5), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(proposed);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(proposed);
    QCoreApplication::sendEvent(viewport, &drop);
    QCOMPARE(enter.isAccepted(), taken);
    QCOMPARE(drop.isAccepted(), taken);
    if (taken) {
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    }
    QCOMPARE(window().ListView1->count(), taken ? 1 : 0);
}

QTEST_MAIN(TestAddingDrop)
#include "tst_adding_drop.moc"
