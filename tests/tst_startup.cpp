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

namespace {

struct Ended {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The window program as built, with none of the display variables but those given
// (NAME=value).
Ended runProgram(const QStringList &arguments, const QStringList &variables = QStringList())
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    for (const QString &variable : variables)
        environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    program.setProcessEnvironment(environment);
    program.start(qEnvironmentVariable("LUMBRISK_BUILD_DIR") + QStringLiteral("/lumbrisk"), arguments);
    if (!program.waitForFinished(10000) || program.exitStatus() != QProcess::NormalExit)
        return Ended();
    return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void optionsAnswerWithoutDisplay_data();
    void optionsAnswerWithoutDisplay();
    void aDisplayThatCannotOpenIsToldInOneLine_data();
    void aDisplayThatCannotOpenIsToldInOneLine();
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
    const Ended ended = runProgram({option});
    QCOMPARE(ended.status, 0);
    QVERIFY2(ended.out.contains(answer.toUtf8()), qPrintable(option));
    QCOMPARE(ended.err, QByteArray());
}

void TestStartup::aDisplayThatCannotOpenIsToldInOneLine_data()
{
    QTest::addColumn<QStringList>("environment"); // NAME=value, on top of none of the three
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << QStringList() << "lumbrisk: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                                              "start it from a desktop session.\n";
    // Qt would abort() with a screenful of advice on reinstalling.
    QTest::newRow("an X display with no server") << QStringList{"DISPLAY=:97"}
                                                 << "lumbrisk: the display cannot be opened (DISPLAY=':97', "
                                                    "WAYLAND_DISPLAY unset); start it from a desktop session.\n";
    QTest::newRow("a Wayland socket that is gone")
        << QStringList{"WAYLAND_DISPLAY=gone-0", "QT_QPA_PLATFORM=wayland"}
        << "lumbrisk: the display cannot be opened (DISPLAY unset, WAYLAND_DISPLAY='gone-0'); "
           "start it from a desktop session.\n";
}

void TestStartup::aDisplayThatCannotOpenIsToldInOneLine()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, line);
    const Ended ended = runProgram(QStringList(), environment);
    QCOMPARE(ended.status, 1); // not aborted (-1 here), nor 0
    QCOMPARE(QString::fromUtf8(ended.err), line);
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
