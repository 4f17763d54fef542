// The shared path and file routines.

#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "platform/apperror.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "platform/timeleft.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>

class TestMain : public QObject {
    Q_OBJECT

private slots:
    void pathParts_data();
    void pathParts();
    void collapseBackslashes_data();
    void collapseBackslashes();
    void escapedNames_data();
    void escapedNames();
    void existenceTests();
    void removeFileDeletesReadOnlyAndIgnoresMissing();
    void writeBytesIfMissingNeverOverwrites();
    void writeTextFileReportsFailure();
    void waitSecondsRunsEventsWithoutBurningCpu();
    void listContainsIsExactAndCaseSensitive();
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void readsNumbers_data();
    void readsNumbers();
    void timeLeftMovesOnlyWithFinishedFiles_data();
    void timeLeftMovesOnlyWithFinishedFiles();

private:
    QTemporaryDir m_dir;
};

void TestMain::pathParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("full path") << "/Music/Song A.mp3" << "Song A.mp3" << "/Music/" << "/Music/Song A";
    QTest::newRow("no separator") << "Song A.mp3" << "Song A.mp3" << "" << "Song A";
    QTest::newRow("folder only") << "/Music/" << "" << "/Music/" << "/Music/";
    // The last dot of the whole text counts, even inside a folder name.
    QTest::newRow("dot in folder") << "/my.music/song" << "song" << "/my.music/" << "/my";
    QTest::newRow("leading dot only") << ".mp3" << ".mp3" << "" << ".mp3";
    QTest::newRow("empty") << "" << "" << "" << "";
    QTest::newRow("two dots") << "/a/b.c.mp3" << "b.c.mp3" << "/a/" << "/a/b.c";
}

void TestMain::pathParts()
{
    QFETCH(QString, path);
    QFETCH(QString, fileName);
    QFETCH(QString, folder);
    QFETCH(QString, stripped);
    QCOMPARE(Main::FileNameOf(path), fileName);
    QCOMPARE(Main::FolderOf(path), folder);
    QCOMPARE(Main::StripExtension(path), stripped);
}

void TestMain::collapseBackslashes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("doubled inside") << "/Music//Song A_Preview.mp3" << "/Music/Song A_Preview.mp3";
    QTest::newRow("clean stays") << "/Music/Song A.mp3" << "/Music/Song A.mp3";
    QTest::newRow("root joined with a name") << "//Song A.mp3" << "/Song A.mp3";
    // Pairs are replaced left to right without overlap, so three give two.
    QTest::newRow("three inside") << "a///b" << "a//b";
    QTest::newRow("four inside") << "a////b" << "a//b";
    QTest::newRow("leading run") << "///srv//x.mp3" << "/srv/x.mp3";
    QTest::newRow("relative") << "Music//x.mp3" << "Music/x.mp3";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("only separators") << "///" << "/";
}

void TestMain::collapseBackslashes()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Main::CollapseBackslashes(path), expected);
}

void TestMain::escapedNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8 and blanks as they are") << QByteArray("/M\xc3\xbcsik/\xe6\x9b\xb2 \xf0\x9f\x8e\xb5.mp3")
                                                  << QString::fromUtf8("/Müsik/曲 🎵.mp3");
    QTest::newRow("Latin-1 byte in octal") << QByteArray("caf\xe9.mp3") << QStringLiteral("caf\\351.mp3");
    QTest::newRow("backslash doubled") << QByteArray("a\\351") << QStringLiteral("a\\\\351");
    QTest::newRow("tab and newline by letter, escape in octal") << QByteArray("a\tb\nc\x1b") << QStringLiteral("a\\tb\\nc\\033");
    QTest::newRow("delete and a C1 control in octal") << QByteArray("x\x7f\xc2\x85") << QStringLiteral("x\\177\\302\\205");
    // Each byte of a broken sequence counts alone; the valid character after it stays.
    QTest::newRow("cut sequence, overlong, surrogate") << QByteArray("\xe6\x9b\xc0\xaf\xed\xa0\x80\xc3\xa9")
                                                       << QString::fromUtf8("\\346\\233\\300\\257\\355\\240\\200é");
}

void TestMain::escapedNames()
{
    QFETCH(QByteArray, bytes);
    QTEST(FileNames::Escaped(bytes), "shown");
}

void TestMain::existenceTests()
{
    const QString file = m_dir.filePath(QStringLiteral("a.mp3"));
    QVERIFY(Fixtures::WriteFile(file));
    QVERIFY(Main::PathExists(file));
    QVERIFY(Main::PathExists(m_dir.path()));
    QVERIFY(!Main::PathExists(QString()));
    QVERIFY(!Main::PathExists(m_dir.filePath(QStringLiteral("missing"))));
    QVERIFY(Main::FolderExists(m_dir.path()));
    QVERIFY(!Main::FolderExists(file));
    QVERIFY(!Main::FolderExists(QString()));
}

void TestMain::removeFileDeletesReadOnlyAndIgnoresMissing()
{
    const QString file = m_dir.filePath(QStringLiteral("readonly.mp3"));
    QVERIFY(Fixtures::WriteFile(file));
    QFile::setPermissions(file, QFileDevice::ReadOwner);
    Main::RemoveFile(file);
    QVERIFY(!QFile::exists(file));
    Main::RemoveFile(file); // missing: passed over without a failure
    Main::RemoveFile(QString());
    Main::RemoveFile(m_dir.path()); // a folder is not a file and stays
    QVERIFY(QFile::exists(m_dir.path()));
}

void TestMain::writeBytesIfMissingNeverOverwrites()
{
    const QString fresh = m_dir.filePath(QStringLiteral("fresh.bin"));
    Main::WriteBytesIfMissing("abc", fresh);
    QFile written(fresh);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("abc"));

    const QString empty = m_dir.filePath(QStringLiteral("empty.bin"));
    QVERIFY(Fixtures::WriteFile(empty));
    Main::WriteBytesIfMissing("abc", empty);
    QCOMPARE(QFileInfo(empty).size(), 0);

    const QString folder = m_dir.filePath(QStringLiteral("folder"));
    QDir().mkdir(folder);
    Main::WriteBytesIfMissing("abc", folder);
    QVERIFY(QFileInfo(folder).isDir());
}

void TestMain::writeTextFileReportsFailure()
{
    const QString file = m_dir.filePath(QStringLiteral("line.txt"));
    Main::WriteTextFile(QStringLiteral("first"), file);
    Main::WriteTextFile(QStringLiteral("second"), file); // replaces, not appends
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll().trimmed(), QByteArray("second"));
    QVERIFY_THROWS_EXCEPTION(AppError, Main::WriteTextFile(QStringLiteral("x"), m_dir.filePath(QStringLiteral("no/such/folder.txt"))));
    // A full disk refuses the buffered line only when it is flushed; that failure counts too.
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("No /dev/full here to stand for a full disk.");
    QVERIFY_THROWS_EXCEPTION(AppError, Main::WriteTextFile(QStringLiteral("x"), QStringLiteral("/dev/full")));
}

void TestMain::waitSecondsRunsEventsWithoutBurningCpu()
{
    bool queuedEventRan = false;
    QTimer::singleShot(100, this, [&] { queuedEventRan = true; });
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpuBefore = std::clock();
    Main::WaitSeconds(1);
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    QVERIFY(queuedEventRan);
    QVERIFY2(wall.elapsed() >= 990 && wall.elapsed() < 1500, qPrintable(QString::number(wall.elapsed())));
    QVERIFY2(cpuSeconds < 0.3, qPrintable(QString::number(cpuSeconds)));
}

void TestMain::listContainsIsExactAndCaseSensitive()
{
    FileListView list;
    QVERIFY(!Main::ListContains(list, QString()));
    list.append(QStringLiteral("/a/B.mp3"));
    list.append(QStringLiteral("/a/c.mp3"));
    QVERIFY(Main::ListContains(list, QStringLiteral("/a/c.mp3")));
    QVERIFY(!Main::ListContains(list, QStringLiteral("/a/b.mp3")));
    QVERIFY(!Main::ListContains(list, QStringLiteral("/a/c.mp3 ")));
}

void TestMain::roundsHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("0.6") << 0.6 << 1;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("32767.4") << 32767.4 << 32767;
    QTest::newRow("-32768") << -32768.0 << -32768;
}

void TestMain::roundsHalvesToEven()
{
    QVERIFY_THROWS_EXCEPTION(AppError, Numbers::ToInteger16(40000));
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(Numbers::ToInteger16(value), expected);
}

void TestMain::readsNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "30" << true << 30.0;
    QTest::newRow("blanks around") << "  15 " << true << 15.0;
    QTest::newRow("negative") << "-5" << true << -5.0;
    QTest::newRow("decimal") << "2.5" << true << 2.5;
    QTest::newRow("exponent") << "1e2" << true << 100.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("trailing letters") << "12a" << false << 0.0;
}

void TestMain::readsNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const std::optional<double> number = Numbers::Read(text);
    QCOMPARE(number.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*number, value);
}

using FinishedAt = QList<QPair<int, qint64>>; // finished files at elapsed ms

void TestMain::timeLeftMovesOnlyWithFinishedFiles_data()
{
    QTest::addColumn<FinishedAt>("updates"); // of 5 files
    QTest::addColumn<qint64>("left");                      // ms; -1: none
    QTest::newRow("none finished") << FinishedAt{{0, 4000}} << qint64(-1);
    QTest::newRow("the clock alone does not move it") << FinishedAt{{1, 1000}, {1, 9000}} << qint64(4000);
    // A quick file after slow ones: the pace of all four.
    QTest::newRow("paced by all finished") << FinishedAt{{1, 3000}, {3, 3900}, {4, 4000}} << qint64(1000);
    QTest::newRow("all finished") << FinishedAt{{1, 1000}, {5, 5000}} << qint64(-1);
}

void TestMain::timeLeftMovesOnlyWithFinishedFiles()
{
    QFETCH(FinishedAt, updates);
    QFETCH(qint64, left);
    TimeLeft timeLeft;
    for (const auto &[finished, elapsed] : updates)
        timeLeft.update(finished, 5, elapsed);
    QCOMPARE(timeLeft.milliseconds().value_or(-1), left);
}

QTEST_MAIN(TestMain)
#include "tst_main.moc"
