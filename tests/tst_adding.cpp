// Adding files on the real window: the folder button, the open dialog, drag-over and drops.

#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "preview/tagcopy.h"
#include "foldertree.h"
#include "testwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

const QString FolderPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)");
const QString TooManyFiles = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");

QMimeData *filesData(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

} // namespace

class TestAdding : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void folderButtonAsksForExtensionThenFolder();
    void folderButtonAddsMatchingFilesFolderByFolder_data();
    void folderButtonAddsMatchingFilesFolderByFolder();
    void folderButtonShowsBusyPointerWhileScanning();
    void folderButtonIsRefusedWhileBusy();
    void inputDuringAScanStartsNothing_data();
    void inputDuringAScanStartsNothing();
    void leftOutNamesAreToldOnceAfterTheScan_data();
    void leftOutNamesAreToldOnceAfterTheScan();
    void previewsAreLeftOutOfScans_data();
    void previewsAreLeftOutOfScans();

    void dialogAddsChosenFiles_data();
    void dialogAddsChosenFiles();

    void dragOverRefusesDataWithoutFiles_data();
    void dragOverRefusesDataWithoutFiles();
    void dropAddsFilesAndScansFolders_data();
    void dropAddsFilesAndScansFolders();
    void dropSkipsUnreadableFolders();
    void dropIsAlwaysACopy_data();
    void dropIsAlwaysACopy();

private:
    // Rows of the music tree's files: folders in the order given, each folder's names in
    // name order.
    QStringList musicRows(const QStringList &folders, bool everyType) const;
    // The music tree's folders below R, breadth first in name order.
    QStringList musicFolders() const;
    Form1 &window() { return *m_test->window; }

    QTemporaryDir m_musicDir;
    std::unique_ptr<FolderTree> m_music;
    std::unique_ptr<TestWindow> m_test;
};

void TestAdding::initTestCase()
{
    // One tree for every test that only reads it.
    m_music = std::make_unique<FolderTree>(m_musicDir.path() + QStringLiteral("/music"));
    for (const char *file : {"R/one.mp3", "R/LOUD.MP3", "R/~lock.mp3", "R/.dot.mp3", "R/notes.txt", "R/README",
                             "R/Albums 2021/track 1.mp3", "R/Albums 2021/cover.jpg", "R/Albums 2021/Disc 2/deep.mp3",
                             "R/Müsik 日本/曲 one.mp3", "R/.hidden/secret.mp3", "R/.hidden/.also.mp3",
                             "R/Why?/CD1/track.mp3", "R/empty/.keep"})
        m_music->file(QString::fromUtf8(file));
    m_music->link(QStringLiteral("R/Albums 2021/Disc 2/loop"), QStringLiteral(".."));
}

void TestAdding::init()
{
    m_test = std::make_unique<TestWindow>();
    m_test->open();
}

void TestAdding::cleanup()
{
    QCOMPARE(m_test->prompts.errorReports(), QStringList());
    m_test.reset();
}

QStringList TestAdding::musicFolders() const
{
    return {QStringLiteral("R"), QStringLiteral("R/.hidden"), QStringLiteral("R/Albums 2021"), QStringLiteral("R/empty"),
            QString::fromUtf8("R/Müsik 日本"), QStringLiteral("R/Why?"), QStringLiteral("R/Albums 2021/Disc 2"),
            QStringLiteral("R/Why?/CD1")};
}

QStringList TestAdding::musicRows(const QStringList &folders, bool everyType) const
{
    const QHash<QString, QStringList> files{
        {QStringLiteral("R"), {QStringLiteral("LOUD.MP3"), QStringLiteral("notes.txt"), QStringLiteral("one.mp3"), QStringLiteral("README")}},
        {QStringLiteral("R/Albums 2021"), {QStringLiteral("cover.jpg"), QStringLiteral("track 1.mp3")}},
        {QStringLiteral("R/Albums 2021/Disc 2"), {QStringLiteral("deep.mp3")}},
        {QString::fromUtf8("R/Müsik 日本"), {QString::fromUtf8("曲 one.mp3")}},
        {QStringLiteral("R/.hidden"), {QStringLiteral("secret.mp3")}},
        {QStringLiteral("R/Why?/CD1"), {QStringLiteral("track.mp3")}}};
    QStringList rows;
    for (const QString &folder : folders) {
        for (const QString &name : files.value(folder)) {
            if (everyType || name.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
                rows << m_music->path(folder + QLatin1Char('/') + name);
        }
    }
    return rows;
}

void TestAdding::folderButtonAsksForExtensionThenFolder()
{
    ScriptedPrompts &prompts = m_test->prompts;
    SettingsStore &settings = *m_test->settings;
    const QString chosen = m_music->path(QStringLiteral("R/empty"));

    // An empty answer ends the run and writes nothing.
    window().PushButton4->click();
    QCOMPARE(prompts.callsOf(QStringLiteral("input")).size(), 1);
    const ScriptedPrompts::Call asked = prompts.callsOf(QStringLiteral("input")).first();
    QCOMPARE(asked.title, window().applicationTitle());
    QCOMPARE(asked.text, FolderPrompt);
    QCOMPARE(asked.extra, QStringLiteral("mp3"));
    QCOMPARE(settings.read(QStringLiteral("Extension"), QStringLiteral("absent")), QStringLiteral("absent"));
    QVERIFY(prompts.callsOf(QStringLiteral("browseForFolder")).isEmpty());

    // A cancelled browser keeps the typed extension for the next time.
    prompts.inputAnswers << QStringLiteral("txt");
    window().PushButton4->click();
    QCOMPARE(settings.read(QStringLiteral("Extension")), QStringLiteral("txt"));
    QCOMPARE(settings.read(QStringLiteral("LastFolder"), QStringLiteral("absent")), QStringLiteral("absent"));

    prompts.inputAnswers << QStringLiteral("wav");
    prompts.folderAnswers << chosen;
    window().PushButton4->click();
    QCOMPARE(prompts.callsOf(QStringLiteral("input")).at(2).extra, QStringLiteral("txt"));
    QCOMPARE(settings.read(QStringLiteral("LastFolder")), chosen);

    // The browser opens at the folder of the last scan.
    prompts.inputAnswers << QStringLiteral("wav");
    window().PushButton4->click();
    const QList<ScriptedPrompts::Call> browsed = prompts.callsOf(QStringLiteral("browseForFolder"));
    QCOMPARE(browsed.size(), 3);
    QCOMPARE(browsed.first().title, QStringLiteral("Please select folder:"));
    QCOMPARE(browsed.first().extra, QString());
    QCOMPARE(browsed.last().extra, chosen);
    QCOMPARE(window().ListView1->count(), 0);
    // A scan that adds nothing says so.
    const QList<ScriptedPrompts::Call> told = prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first().title, window().applicationTitle());
    QCOMPARE(told.first().text, QStringLiteral("No files with the extension wav were found in ") + chosen);
}

void TestAdding::folderButtonAddsMatchingFilesFolderByFolder_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("everyType");
    QTest::addColumn<QString>("stored"); // the next default
    QTest::addColumn<QStringList>("alsoTaken"); // extensions taken besides mp3
    QTest::newRow("mp3") << QStringLiteral("mp3") << false << "mp3" << QStringList();
    QTest::newRow("MP3, case ignored") << QStringLiteral("MP3") << false << "MP3" << QStringList();
    QTest::newRow("* for every type") << QStringLiteral("*") << true << "*" << QStringList();
    QTest::newRow(".mp3") << QStringLiteral(".mp3") << false << "mp3" << QStringList();
    QTest::newRow("*.mp3") << QStringLiteral("*.mp3") << false << "mp3" << QStringList();
    QTest::newRow("blanks around MP3") << QStringLiteral(" MP3 ") << false << "MP3" << QStringList();
    QTest::newRow("a comma list") << QStringLiteral("mp3, .JPG,,txt") << false << "mp3,JPG,txt" << QStringList{"jpg", "txt"};
}

void TestAdding::folderButtonAddsMatchingFilesFolderByFolder()
{
    QFETCH(QString, answer);
    QFETCH(bool, everyType);
    QFETCH(QStringList, alsoTaken);
    window().ListView1->append(QStringLiteral("/kept/first.mp3"));
    m_test->prompts.inputAnswers << answer;
    m_test->prompts.folderAnswers << m_music->path(QStringLiteral("R"));
    window().PushButton4->click();
    QStringList rows = musicRows(musicFolders(), true);
    rows.removeIf([&](const QString &row) {
        const QString suffix = QFileInfo(row).suffix().toLower();
        return !everyType && suffix != QLatin1String("mp3") && !alsoTaken.contains(suffix);
    });
    QCOMPARE(window().ListView1->texts(), QStringList{QStringLiteral("/kept/first.mp3")} + rows);
    QTEST(m_test->settings->read(QStringLiteral("Extension")), "stored");
    QVERIFY(m_test->prompts.callsOf(QStringLiteral("message")).isEmpty());
}

void TestAdding::folderButtonShowsBusyPointerWhileScanning()
{
    m_test->prompts.inputAnswers << QStringLiteral("mp3");
    m_test->prompts.folderAnswers << m_music->path(QStringLiteral("R"));
    Form1::Pointer during = Form1::Pointer::Default;
    Qt::CursorShape overDuring = Qt::ArrowCursor; // over every control, the text boxes too
    QTimer::singleShot(0, this, [&] {
        during = window().pointer();
        overDuring = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    window().PushButton4->click();
    QCOMPARE(during, Form1::Pointer::Busy);
    QCOMPARE(overDuring, Qt::WaitCursor);
    QCOMPARE(window().pointer(), Form1::Pointer::Default);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestAdding::inputDuringAScanStartsNothing_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Add All") << false;
    QTest::newRow("a dropped folder") << true;
}

// A click or key given while a scan runs is neither acted on then nor queued for later.
void TestAdding::inputDuringAScanStartsNothing()
{
    QFETCH(bool, dropped);
    window().show();
    QVERIFY(QTest::qWaitForWindowActive(&window()));
    const QString before = window().Text2->text();
    QTimer::singleShot(0, this, [&] {
        QTest::mouseClick(window().PushButton1, Qt::LeftButton);
        QTest::keyClick(window().Text2, Qt::Key_9);
    });
    if (dropped) {
        std::unique_ptr<QMimeData> data(filesData({m_music->path(QStringLiteral("R"))}));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window().ListView1->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window().ListView1->viewport(), &drop);
    } else {
        m_test->prompts.inputAnswers << QStringLiteral("mp3");
        m_test->prompts.folderAnswers << m_music->path(QStringLiteral("R"));
        window().PushButton4->click();
    }
    QCoreApplication::processEvents();
    QVERIFY(window().ListView1->count() > 0);
    QVERIFY(m_test->prompts.callsOf(QStringLiteral("openFiles")).isEmpty());
    QCOMPARE(window().Text2->text(), before);
}

void TestAdding::leftOutNamesAreToldOnceAfterTheScan_data()
{
    QTest::addColumn<bool>("dropped"); // folders A and B dropped; else Add All on their parent
    QTest::addColumn<int>("inA");      // names in Latin-1 beside a plain name
    QTest::addColumn<int>("inB");
    QTest::addColumn<QString>("why");
    QTest::newRow("Add All, one name") << false << 1 << 0
        << "1 name was left out of the scan because it is not valid UTF-8 (such a name cannot be passed on unchanged):";
    QTest::newRow("a drop of two folders, five of six names shown") << true << 3 << 3
        << "6 names were left out of the scan because they are not valid UTF-8 (such names cannot be passed on unchanged):";
}

void TestAdding::leftOutNamesAreToldOnceAfterTheScan()
{
    QFETCH(bool, dropped);
    QFETCH(int, inA);
    QFETCH(int, inB);
    QFETCH(QString, why);
    const FolderTree tree(m_test->scratch() + QStringLiteral("/L"));
    const auto removed = qScopeGuard([&tree] { tree.removeAll(); });
    QStringList plain, escaped;
    for (const auto &[folder, count] : {std::pair{QStringLiteral("A"), inA}, std::pair{QStringLiteral("B"), inB}}) {
        tree.file(folder + QStringLiteral("/plain.mp3"));
        plain << tree.path(folder + QStringLiteral("/plain.mp3"));
        for (int n = 1; n <= count; ++n) {
            tree.withBytes(QFile::encodeName(folder) + "/caf\xe9 " + QByteArray::number(n) + ".mp3", false);
            escaped << tree.path(QStringLiteral("%1/caf\\351 %2.mp3").arg(folder).arg(n));
        }
    }
    if (dropped) {
        std::unique_ptr<QMimeData> data(filesData({tree.path(QStringLiteral("A")), tree.path(QStringLiteral("B"))}));
        QDropEvent drop(QPointF(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        window().ListView1_OLEDragDrop(&drop);
    } else {
        m_test->prompts.inputAnswers << QStringLiteral("mp3");
        m_test->prompts.folderAnswers << tree.root();
        window().PushButton4->click();
    }
    QCOMPARE(window().ListView1->texts(), plain);
    const QList<ScriptedPrompts::Call> told = m_test->prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first().title, window().applicationTitle());
    QCOMPARE(told.first().icon, Prompts::Icon::Exclamation);
    const bool all = escaped.size() <= 5;
    const QString more = all ? QString() : QStringLiteral("\r... and %1 more (see the details)").arg(escaped.size() - 5);
    QCOMPARE(told.first().text, why + QStringLiteral("\r\r") + escaped.first(qMin(5, int(escaped.size()))).join(QLatin1Char('\r')) + more);
    QCOMPARE(told.first().details, all ? QString() : escaped.join(QLatin1Char('\n')));
}

void TestAdding::previewsAreLeftOutOfScans_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Add All") << false;
    QTest::newRow("a dropped folder") << true;
}

// A file is a preview by Lumbrisk's mark alone, never by its name.
void TestAdding::previewsAreLeftOutOfScans()
{
    QFETCH(bool, dropped);
    const QString folder = m_test->scratch() + QStringLiteral("/P");
    const QString song = folder + QStringLiteral("/Live.mp3");
    const QString unmarked = folder + QStringLiteral("/Live_Preview.mp3");
    const QString preview = folder + QStringLiteral("/sub/Song_Preview.mp3");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
    QVERIFY(Fixtures::MakeTone(song, 1));
    QVERIFY(QFile::copy(song, unmarked) && QFile::copy(song, preview));
    QCOMPARE(TagCopy::MarkOnly(preview, QStringLiteral("2 source=/music/Song.mp3")), QString());
    if (dropped) {
        std::unique_ptr<QMimeData> data(filesData({folder}));
        QDropEvent drop(QPointF(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        window().ListView1_OLEDragDrop(&drop);
    } else {
        m_test->prompts.inputAnswers << QStringLiteral("mp3");
        m_test->prompts.folderAnswers << folder;
        window().PushButton4->click();
    }
    QCOMPARE(window().ListView1->texts(), (QStringList{unmarked, song}));
    const QList<ScriptedPrompts::Call> told = m_test->prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first().text,
             QStringLiteral("1 preview that Lumbrisk made was left out of the scan: it is no song to make a preview of."));
}

void TestAdding::folderButtonIsRefusedWhileBusy()
{
    // A scan or job is running: a nested scan would end its busy pointer too early.
    window().setPointer(Form1::Pointer::Busy);
    window().PushButton4->click();
    QVERIFY(m_test->prompts.calls.isEmpty());
    QCOMPARE(window().pointer(), Form1::Pointer::Busy);
}

void TestAdding::dialogAddsChosenFiles_data()
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

void TestAdding::dialogAddsChosenFiles()
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

void TestAdding::dragOverRefusesDataWithoutFiles_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::newRow("plain text") << false << QStringLiteral("/music/a.mp3") << QList<QUrl>{};
    QTest::newRow("web address only") << false << QString() << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.mp3"))};
    QTest::newRow("local file") << true << QString() << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/music/a.mp3"))};
}

void TestAdding::dragOverRefusesDataWithoutFiles()
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

void TestAdding::dropAddsFilesAndScansFolders_data()
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

void TestAdding::dropAddsFilesAndScansFolders()
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

void TestAdding::dropSkipsUnreadableFolders()
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

void TestAdding::dropIsAlwaysACopy_data()
{
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::DropAction>("proposed");
    QTest::addColumn<bool>("taken"); // as a copy
    // A source told "move" may remove its originals.
    QTest::newRow("move proposed") << (Qt::CopyAction | Qt::MoveAction) << Qt::MoveAction << true;
    QTest::newRow("link proposed") << (Qt::CopyAction | Qt::LinkAction) << Qt::LinkAction << true;
    QTest::newRow("no copy offered") << Qt::DropActions(Qt::MoveAction | Qt::LinkAction) << Qt::MoveAction << false;
}

void TestAdding::dropIsAlwaysACopy()
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

QTEST_MAIN(TestAdding)
#include "tst_adding.moc"
