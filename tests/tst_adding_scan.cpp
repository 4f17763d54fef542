// Adding files on the real window with the folder button: the folders it scans and what it leaves out.

#include "addingfixture.h"
#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "foldertree.h"
#include "preview/tagcopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

namespace {

const QString FolderPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)");

} // namespace

class TestAddingScan : public AddingFixture {
    Q_OBJECT

private slots:
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
};

void TestAddingScan::folderButtonAsksForExtensionThenFolder()
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

void TestAddingScan::folderButtonAddsMatchingFilesFolderByFolder_data()
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

void TestAddingScan::folderButtonAddsMatchingFilesFolderByFolder()
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

void TestAddingScan::folderButtonShowsBusyPointerWhileScanning()
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

void TestAddingScan::folderButtonIsRefusedWhileBusy()
{
    // A scan or job is running: a nested scan would end its busy pointer too early.
    window().setPointer(Form1::Pointer::Busy);
    window().PushButton4->click();
    QVERIFY(m_test->prompts.calls.isEmpty());
    QCOMPARE(window().pointer(), Form1::Pointer::Busy);
}

void TestAddingScan::inputDuringAScanStartsNothing_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Add All") << false;
    QTest::newRow("a dropped folder") << true;
}

// A click or key given while a scan runs is neither acted on then nor queued for later.
void TestAddingScan::inputDuringAScanStartsNothing()
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

void TestAddingScan::leftOutNamesAreToldOnceAfterTheScan_data()
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

void TestAddingScan::leftOutNamesAreToldOnceAfterTheScan()
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

void TestAddingScan::previewsAreLeftOutOfScans_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Add All") << false;
    QTest::newRow("a dropped folder") << true;
}

// A file is a preview by Lumbrisk's mark alone, never by its name.
void TestAddingScan::previewsAreLeftOutOfScans()
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

QTEST_MAIN(TestAddingScan)
#include "tst_adding_scan.moc"
