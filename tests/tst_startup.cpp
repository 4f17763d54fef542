// The window program's start: the command line answered without a display, and the window
// opened with the files and folders named on it.

#include "app/startup.h"
#include "filelist/filelistview.h"
#include "foldertree.h"
#include "testwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void optionsAnswerWithoutDisplay_data();
    void optionsAnswerWithoutDisplay();
    void windowStartsWithTheNamedFiles_data();
    void windowStartsWithTheNamedFiles();
};

void TestStartup::optionsAnswerWithoutDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("answer");
    QTest::newRow("version") << "--version" << "Lumbrisk " LUMBRISK_VERSION "\n";
    QTest::newRow("help") << "--help" << "[options] [file or folder...]";
}

void TestStartup::optionsAnswerWithoutDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, answer);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    program.setProcessEnvironment(environment);
    program.start(qEnvironmentVariable("LUMBRISK_BUILD_DIR") + QStringLiteral("/lumbrisk"), {option});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(program.readAllStandardOutput().contains(answer.toUtf8()), qPrintable(option));
    QCOMPARE(program.readAllStandardError(), QByteArray());
}

void TestStartup::windowStartsWithTheNamedFiles_data()
{
    QTest::addColumn<QStringList>("named");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("two files") << QStringList{"a.mp3", "Album/b.mp3"} << QStringList{"a.mp3", "Album/b.mp3"};
    QTest::newRow("a missing name is left out")
        << QStringList{"a.mp3", "gone.mp3", "Album/b.mp3"} << QStringList{"a.mp3", "Album/b.mp3"};
    // A folder adds what the folder button adds with its default extension.
    QTest::newRow("a folder: its mp3 files and those below")
        << QStringList{"Album"} << QStringList{"Album/b.mp3", "Album/Disc 2/c.MP3"};
}

void TestStartup::windowStartsWithTheNamedFiles()
{
    QFETCH(QStringList, named);
    QFETCH(QStringList, rows);
    TestWindow test;
    FolderTree tree(test.scratch());
    for (const QString &file : {"a.mp3", "Album/b.mp3", "Album/notes.txt", "Album/Disc 2/c.MP3"})
        tree.file(file);
    // Names count from the current folder, as a shell hands them over.
    const QString formerFolder = QDir::currentPath();
    QDir::setCurrent(tree.root());
    Startup::OpenWindow(test.open(false), named);
    QDir::setCurrent(formerFolder);

    QStringList expected;
    for (const QString &row : std::as_const(rows))
        expected.append(tree.path(row));
    QCOMPARE(test.window->ListView1->texts(), expected);
    QCOMPARE(test.window->Text3->text(), QStringLiteral("15")); // the settings were restored
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
