// AddFolder on real folder trees: the breadth-first scan, the file listing and its tests.

#include "filelist/addfolder.h"
#include "foldertree.h"
#include "savedenvironment.h"
#include "scriptedprompts.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace AddFolder;

class TestAddFolder : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hasBadChars_data();
    void hasBadChars();
    void isExistingFile_data();
    void isExistingFile();
    void getFilesInFolder_data();
    void getFilesInFolder();

    void scanIsBreadthFirstInNameOrder();
    void scanListsNamesInNaturalOrder_data();
    void scanListsNamesInNaturalOrder();
    void scanWithoutRecursionGoesOneLevelDown();
    void scanLetsEventsRun();
    void scanSkipsFoldersWithBadNamesAndEverythingBelow();
    void scanSearchesLongPaths_data();
    void scanSearchesLongPaths();
    void scanDropsUnreadableFoldersAndGoesOn();
    void scanListsEachRealFolderOnceDespiteLinks();
    void scanSkipsTrashFolders_data();
    void scanSkipsTrashFolders();
    void scanSkipsTildePlainHiddenAndUndecodableFilesAndCleansPaths();
    void scanTellsWhatItLeftOut();
    void extensionAsTyped_data();
    void extensionAsTyped();

private:
    // "R/" style entries of the scan's folder list, relative to the tree.
    QStringList scanned(const QString &relativeTop, bool recurse = true);
    QStringList folderEntries(const QStringList &relatives) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FolderTree> m_tree;
    ScriptedPrompts m_prompts;
};

void TestAddFolder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_tree = std::make_unique<FolderTree>(m_dir->path() + QStringLiteral("/tree"));
    m_prompts.calls.clear();
}

void TestAddFolder::cleanup()
{
    // The scan reports nothing for any tree these tests build.
    QCOMPARE(m_prompts.calls.size(), 0);
    m_tree->removeAll(); // also names that are not valid UTF-8
    m_tree.reset();
    m_dir.reset();
}

QStringList TestAddFolder::scanned(const QString &relativeTop, bool recurse)
{
    QStringList folders{m_tree->path(relativeTop) + QLatin1Char('/')};
    GetSubDirectories2016(m_prompts, folders, recurse);
    return folders;
}

QStringList TestAddFolder::folderEntries(const QStringList &relatives) const
{
    QStringList entries;
    for (const QString &relative : relatives)
        entries << m_tree->path(relative) + QLatin1Char('/');
    return entries;
}

void TestAddFolder::hasBadChars_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("bad");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("plain") << QStringLiteral("Albums 2021") << false;
    QTest::newRow("question mark, a character like any other") << QStringLiteral("Why?") << false;
    QTest::newRow("tab") << QStringLiteral("a\tb") << true;
    QTest::newRow("code 31") << QStringLiteral("a\x1f") << true;
    QTest::newRow("code 127") << QStringLiteral("a\x7f") << true;
    QTest::newRow("code 128") << QString(QChar(0x80)) << true;
    QTest::newRow("code 159") << QStringLiteral("x") + QChar(0x9f) << true;
    QTest::newRow("code 160, first code after the gap") << QString(QChar(0xa0)) << false;
    QTest::newRow("accents and CJK") << QStringLiteral("Müsik 日本") << false;
    QTest::newRow("outside the basic plane") << QStringLiteral("🎵 tunes") << false;
}

void TestAddFolder::hasBadChars()
{
    QFETCH(QString, name);
    QTEST(HasBadChars(name), "bad");
}

void TestAddFolder::isExistingFile_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("existing");
    QTest::newRow("regular file") << QStringLiteral("song.mp3") << true;
    QTest::newRow("hidden file") << QStringLiteral(".song.mp3") << true;
    QTest::newRow("link to a file") << QStringLiteral("link.mp3") << true;
    QTest::newRow("folder") << QStringLiteral("folder") << false;
    QTest::newRow("missing") << QStringLiteral("none.mp3") << false;
    QTest::newRow("broken link") << QStringLiteral("broken.mp3") << false;
    QTest::newRow("named pipe") << QStringLiteral("pipe.mp3") << false;
    QTest::newRow("file with trailing separator") << QStringLiteral("song.mp3/") << false;
}

void TestAddFolder::isExistingFile()
{
    QFETCH(QString, relative);
    m_tree->file(QStringLiteral("song.mp3"));
    m_tree->file(QStringLiteral(".song.mp3"));
    m_tree->folder(QStringLiteral("folder"));
    m_tree->link(QStringLiteral("link.mp3"), QStringLiteral("song.mp3"));
    m_tree->link(QStringLiteral("broken.mp3"), QStringLiteral("gone.mp3"));
    QCOMPARE(mkfifo(QFile::encodeName(m_tree->path(QStringLiteral("pipe.mp3"))).constData(), 0644), 0);
    QTEST(IsExistingFile(m_tree->path(relative)), "existing");
}

void TestAddFolder::getFilesInFolder_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("names");
    // In name order: punctuation and symbols first, letter case ignored.
    const QStringList mp3s{QStringLiteral(".hidden.mp3"), QStringLiteral("~tmp.mp3"), QStringLiteral("a.mp3"),
                           QStringLiteral("LOUD.MP3"), QStringLiteral("two words.mp3")};
    QTest::newRow("extension, any case") << QStringLiteral("*.mp3") << mp3s;
    QTest::newRow("upper-case pattern") << QStringLiteral("*.MP3") << mp3s;
    QTest::newRow("star dot star takes names without a dot") << QStringLiteral("*.*")
        << QStringList{QStringLiteral(".hidden.mp3"), QStringLiteral("~tmp.mp3"), QStringLiteral("a.mp3"), QStringLiteral("a.mp3x"),
                       QStringLiteral("b.[x]"), QStringLiteral("LOUD.MP3"), QStringLiteral("notes.txt"), QStringLiteral("README"),
                       QStringLiteral("two words.mp3")};
    QTest::newRow("question mark is one character") << QStringLiteral("?.mp3") << QStringList{QStringLiteral("a.mp3")};
    QTest::newRow("question mark inside the extension") << QStringLiteral("*.mp?") << mp3s;
    QTest::newRow("brackets are plain characters") << QStringLiteral("*.[x]") << QStringList{QStringLiteral("b.[x]")};
    QTest::newRow("nothing matches") << QStringLiteral("*.doc") << QStringList{};
}

void TestAddFolder::getFilesInFolder()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, names);
    const QStringList files{QStringLiteral("a.mp3"), QStringLiteral("LOUD.MP3"), QStringLiteral(".hidden.mp3"),
                            QStringLiteral("~tmp.mp3"), QStringLiteral("two words.mp3"), QStringLiteral("notes.txt"),
                            QStringLiteral("README"), QStringLiteral("a.mp3x"), QStringLiteral("b.[x]")};
    for (const QString &name : files)
        m_tree->file(QStringLiteral("d/") + name);
    // Folders never count as files, whatever their name.
    m_tree->folder(QStringLiteral("d/folder.mp3"));
    m_tree->folder(QStringLiteral("d/plainfolder"));
    QCOMPARE(GetFilesInFolder(m_tree->path(QStringLiteral("d")), pattern), names);
    QCOMPARE(GetFilesInFolder(m_tree->path(QStringLiteral("d/")), pattern).size(), names.size());
}

void TestAddFolder::scanIsBreadthFirstInNameOrder()
{
    for (const char *folder : {"R/B/B1", "R/A/A2", "R/A/A1/A1a", "R/.hidden/H1"})
        m_tree->folder(QString::fromLatin1(folder));
    m_tree->file(QStringLiteral("R/A/file.mp3")); // files are not folders

    QCOMPARE(scanned(QStringLiteral("R")),
             folderEntries({QStringLiteral("R"), QStringLiteral("R/.hidden"), QStringLiteral("R/A"), QStringLiteral("R/B"),
                            QStringLiteral("R/.hidden/H1"), QStringLiteral("R/A/A1"), QStringLiteral("R/A/A2"),
                            QStringLiteral("R/B/B1"), QStringLiteral("R/A/A1/A1a")}));
}

void TestAddFolder::scanListsNamesInNaturalOrder_data()
{
    QTest::addColumn<QStringList>("made"); // in this order, which differs from the expected one and its reverse
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("track numbers") << QStringList{QStringLiteral("Track 2.mp3"), QStringLiteral("Track 10.mp3"), QStringLiteral("Track 1.mp3")}
                                   << QStringList{QStringLiteral("Track 1.mp3"), QStringLiteral("Track 2.mp3"), QStringLiteral("Track 10.mp3")};
    QTest::newRow("letter case ignored") << QStringList{QStringLiteral("b.mp3"), QStringLiteral("C.mp3"), QStringLiteral("a.mp3")}
                                         << QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("C.mp3")};
    // Subfolders too, each group after the files of its parent.
    QTest::newRow("disc folders") << QStringList{QStringLiteral("CD 2/b.mp3"), QStringLiteral("CD 10/a.mp3"), QStringLiteral("cd 1/c.mp3"),
                                                 QStringLiteral("z.mp3")}
                                  << QStringList{QStringLiteral("z.mp3"), QStringLiteral("cd 1/c.mp3"), QStringLiteral("CD 2/b.mp3"),
                                                 QStringLiteral("CD 10/a.mp3")};
}

void TestAddFolder::scanListsNamesInNaturalOrder()
{
    QFETCH(QStringList, made);
    QFETCH(QStringList, rows);
    for (const QString &file : made)
        m_tree->file(QStringLiteral("R/") + file);
    QStringList expected;
    for (const QString &row : rows)
        expected << m_tree->path(QStringLiteral("R/") + row);
    QCOMPARE(ScanFolder(m_prompts, m_tree->path(QStringLiteral("R")), QStringLiteral("*.mp3")), expected);
}

void TestAddFolder::scanWithoutRecursionGoesOneLevelDown()
{
    m_tree->folder(QStringLiteral("R/A/A1"));
    m_tree->folder(QStringLiteral("R/B"));
    QCOMPARE(scanned(QStringLiteral("R"), false), folderEntries({QStringLiteral("R"), QStringLiteral("R/A"), QStringLiteral("R/B")}));
}

void TestAddFolder::scanLetsEventsRun()
{
    m_tree->folder(QStringLiteral("R/A"));
    bool ran = false;
    QTimer::singleShot(0, this, [&ran] { ran = true; });
    scanned(QStringLiteral("R"));
    QVERIFY(ran);
}

void TestAddFolder::scanSkipsFoldersWithBadNamesAndEverythingBelow()
{
    const QStringList bad{QStringLiteral("tab\tname"), QStringLiteral("del\x7f"), QStringLiteral("c1") + QChar(0x85)};
    const QStringList good{QStringLiteral("Müsik 日本"), QStringLiteral("Why?"), QStringLiteral("with space")}; // in name order
    for (const QString &name : bad + good)
        m_tree->folder(QStringLiteral("R/%1/below").arg(name));
    // Not valid UTF-8: the name cannot be handed on as it is.
    m_tree->withBytes("R/Latin1 \xe9t\xe9/below", true);

    QStringList expected{QStringLiteral("R")};
    for (const QString &name : good)
        expected << QStringLiteral("R/") + name;
    for (const QString &name : good)
        expected << QStringLiteral("R/%1/below").arg(name);
    QCOMPARE(scanned(QStringLiteral("R")), folderEntries(expected));
}

void TestAddFolder::scanSearchesLongPaths_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("259 characters with its separator") << 259;
    QTest::newRow("260 characters with its separator") << 260;
}

// Only the system's own limit of 4096 bytes per path stops the scan.
void TestAddFolder::scanSearchesLongPaths()
{
    QFETCH(int, length);
    // R/x/<long>/ where the whole entry, with its trailing separator, has the given length.
    const QString top = m_tree->path(QStringLiteral("R/x/"));
    const int nameLength = length - int(top.size()) - 1;
    QVERIFY(nameLength > 0 && nameLength < 256);
    const QString longName = QString(nameLength, QLatin1Char('n'));
    m_tree->folder(QStringLiteral("R/x/%1/below").arg(longName));

    const QStringList folders = scanned(QStringLiteral("R"));
    QCOMPARE(folders, folderEntries({QStringLiteral("R"), QStringLiteral("R/x"), QStringLiteral("R/x/") + longName,
                                     QStringLiteral("R/x/%1/below").arg(longName)}));
    QCOMPARE(folders.at(2).size(), length);
}

void TestAddFolder::scanDropsUnreadableFoldersAndGoesOn()
{
    // Two refused folders side by side, one deeper, and readable folders among them.
    for (const char *folder : {"R/locked1/inside", "R/locked2/inside", "R/open/deep/locked3/inside", "R/open/deep/fine"})
        m_tree->folder(QString::fromLatin1(folder));
    QStringList expected{QStringLiteral("R"), QStringLiteral("R/open"), QStringLiteral("R/open/deep"), QStringLiteral("R/open/deep/fine")};

    {
        const UnreadableFolders locked({m_tree->path(QStringLiteral("R/locked1")), m_tree->path(QStringLiteral("R/locked2")),
                                        m_tree->path(QStringLiteral("R/open/deep/locked3"))});
        if (!locked.inEffect())
            QSKIP("These folders stay readable for this user, so there is no refusal to show.");
        QCOMPARE(scanned(QStringLiteral("R")), folderEntries(expected));
    }
    // A refused top folder leaves nothing to search.
    const UnreadableFolders top({m_tree->path(QStringLiteral("R"))});
    QCOMPARE(scanned(QStringLiteral("R")), QStringList());
}

void TestAddFolder::scanListsEachRealFolderOnceDespiteLinks()
{
    m_tree->folder(QStringLiteral("R/A/A1"));
    m_tree->folder(QStringLiteral("R/B"));
    m_tree->link(QStringLiteral("R/A/A1/up"), m_tree->path(QStringLiteral("R"))); // a loop
    m_tree->link(QStringLiteral("R/B/toA"), QStringLiteral("../A"));              // a second way in
    m_tree->link(QStringLiteral("R/B/self"), QStringLiteral("."));
    // The system's own folders are endless, and no music; a folder below them is theirs too
    // (/proc/self/root is the whole file system again).
    for (const char *system : {"proc", "sys", "dev", "proc/self", "proc/1", "sys/kernel"})
        m_tree->link(QStringLiteral("R/B/") + QString::fromLatin1(system).replace(QLatin1Char('/'), QLatin1Char('-')),
                     QStringLiteral("/") + QLatin1String(system));
    QCOMPARE(scanned(QStringLiteral("R")),
             folderEntries({QStringLiteral("R"), QStringLiteral("R/A"), QStringLiteral("R/B"), QStringLiteral("R/A/A1")}));
}

void TestAddFolder::scanSkipsTrashFolders_data()
{
    QTest::addColumn<QString>("top"); // empty: the test's own tree
    QTest::addColumn<QString>("trash"); // relative to top
    QTest::addColumn<bool>("skipped");
    const QString tree;
    QTest::newRow("the user's trash") << tree << QStringLiteral("data/Trash") << true;
    QTest::newRow(".Trash below a mount's top is a plain dot-folder") << tree << QStringLiteral(".Trash") << false;
    QTest::newRow(".Trash-<uid> at a mount's top") << QStringLiteral("/dev/shm")
                                                   << QStringLiteral(".Trash-%1").arg(getpid()) << true;
}

void TestAddFolder::scanSkipsTrashFolders()
{
    QFETCH(QString, top);
    QFETCH(QString, trash);
    QFETCH(bool, skipped);
    if (top.isEmpty())
        top = m_tree->root();
    struct stat topInfo {}, aboveInfo {};
    const bool mountTop = stat(QFile::encodeName(top).constData(), &topInfo) == 0
        && stat(QFile::encodeName(top + QStringLiteral("/..")).constData(), &aboveInfo) == 0
        && topInfo.st_dev != aboveInfo.st_dev;
    if (top != m_tree->root() && !mountTop)
        QSKIP("That folder is no mount of its own here.");
    const SavedEnvironment environment({"XDG_DATA_HOME"});
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_tree->path(QStringLiteral("data"))));
    const FolderTree tree(top);
    tree.file(trash + QStringLiteral("/files/deleted.mp3"));
    tree.file(QStringLiteral("kept-%1/song.mp3").arg(getpid()));
    const QStringList rows = ScanFolder(m_prompts, top, QStringLiteral("*.mp3"));
    QDir(tree.path(trash)).removeRecursively();
    QDir(tree.path(QStringLiteral("kept-%1").arg(getpid()))).removeRecursively();
    QVERIFY(rows.contains(tree.path(QStringLiteral("kept-%1/song.mp3").arg(getpid()))));
    QCOMPARE(rows.contains(tree.path(trash + QStringLiteral("/files/deleted.mp3"))), !skipped);
}

void TestAddFolder::scanSkipsTildePlainHiddenAndUndecodableFilesAndCleansPaths()
{
    for (const char *file : {"R/a.mp3", "R/~a.mp3", "R/.a.mp3", "R/.hidden/b.mp3", "R/.hidden/.b.mp3", "R/c.txt",
                             "R/x\xef\xbf\xbd.mp3"})
        m_tree->file(QString::fromUtf8(file));
    // Decoded with a stand-in character, this name would read as the valid one above.
    m_tree->withBytes("R/x\xff.mp3", false);
    // A leading byte order mark is part of the name, and decoders like to drop it.
    m_tree->withBytes("R/\xef\xbb\xbf" "bom.mp3", false);
    QCOMPARE(mkfifo(QFile::encodeName(m_tree->path(QStringLiteral("R/pipe.mp3"))).constData(), 0644), 0); // no file to read
    m_tree->link(QStringLiteral("R/.linked.mp3"), QStringLiteral("a.mp3")); // a link is more than hidden and archive
    // A root enters the folder list with a doubled separator; the rows come out clean.
    const QStringList rows = ScanFolder(m_prompts, m_tree->root() + QStringLiteral("//R/"), QStringLiteral("*.mp3"));
    QStringList expected;
    for (const QString &name : {QStringLiteral(".linked.mp3"), QStringLiteral("a.mp3"), QChar(0xfeff) + QStringLiteral("bom.mp3"),
                                QString::fromUtf8("x\xef\xbf\xbd.mp3")})
        expected << m_tree->path(QStringLiteral("R/") + name);
    expected << m_tree->path(QStringLiteral("R/.hidden/b.mp3"));
    QCOMPARE(rows, expected);
}

// Names that are not valid UTF-8 are left out, and told: the files that would have been rows,
// and the folders, which are not searched.
void TestAddFolder::scanTellsWhatItLeftOut()
{
    m_tree->file(QStringLiteral("R/plain.mp3"));
    for (const char *latin1 : {"R/caf\xe9.mp3", "R/n\xe9.txt", "R/.\xe9.mp3", "R/~\xe9.mp3", "R/D\xe9p/below.mp3"})
        m_tree->withBytes(latin1, false);
    QList<QByteArray> leftOut;
    const QStringList rows = ScanFolder(m_prompts, m_tree->root() + QStringLiteral("//R"), QStringLiteral("*.mp3"), {}, &leftOut);
    QCOMPARE(rows, QStringList{m_tree->path(QStringLiteral("R/plain.mp3"))});
    const QByteArray folder = QFile::encodeName(m_tree->path(QStringLiteral("R/")));
    QCOMPARE(leftOut, (QList<QByteArray>{folder + "caf\xe9.mp3", folder + "D\xe9p/"}));
}

void TestAddFolder::extensionAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("extension");
    // The window's own rows cover ".mp3", "*.mp3" and " MP3 ".
    QTest::newRow("blanks inside the pattern") << " *. mp3" << "mp3";
    QTest::newRow("every file as a pattern") << "*.*" << "*";
    QTest::newRow("nothing left") << " . " << "";
}

void TestAddFolder::extensionAsTyped()
{
    QFETCH(QString, typed);
    QTEST(ExtensionOf(typed), "extension");
}

QTEST_GUILESS_MAIN(TestAddFolder)
#include "tst_addfolder.moc"
