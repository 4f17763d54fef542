// Finding SoX and FFmpeg, and saying what to install when they are missing or unfit.

#include "audiofixtures.h"
#include "preview/tools.h"
#include "savedenvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class TestTools : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void temporaryFolderFollowsTEMP();
    void readsTheFormatListOfSox_data();
    void readsTheFormatListOfSox();
    void findsTheInstalledToolsAndLeavesTheTemporaryFolderAlone();
    void prefersToolsBesideTheProgram();
    void namesThePackagesOfMissingTools();
    void unfitSoxIsTold_data();
    void unfitSoxIsTold();

private:
    std::unique_ptr<SavedEnvironment> m_environment;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder(const QString &name) const;
};

void TestTools::init()
{
    m_environment = std::make_unique<SavedEnvironment>(QList<QByteArray>{"PATH", "TEMP"});
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestTools::cleanup()
{
    m_environment.reset();
}

QString TestTools::folder(const QString &name) const
{
    QDir(m_dir->path()).mkpath(name);
    return m_dir->filePath(name);
}

void TestTools::temporaryFolderFollowsTEMP()
{
    qputenv("TEMP", folder(QStringLiteral("temp")).toUtf8());
    QCOMPARE(Tools::TemporaryFolder(), folder(QStringLiteral("temp")));
    qunsetenv("TEMP");
    QCOMPARE(Tools::TemporaryFolder(), QDir::tempPath());
}

void TestTools::readsTheFormatListOfSox_data()
{
    QTest::addColumn<QString>("help");
    QTest::addColumn<bool>("mp3");
    QTest::newRow("Debian with libsox-fmt-mp3")
        << "SoX v14.4.2\n\nAUDIO FILE FORMATS: 8svx aif mp2 mp3 nist ogg wav\nPLAYLIST FORMATS: m3u pls\n" << true;
    QTest::newRow("without it") << "AUDIO FILE FORMATS: 8svx aif mp2 nist ogg wav\n" << false;
    QTest::newRow("mp3 only elsewhere") << "EFFECTS: mp3\nAUDIO FILE FORMATS: wav\n" << false;
    QTest::newRow("no list at all") << "usage\n" << false;
}

void TestTools::readsTheFormatListOfSox()
{
    QFETCH(QString, help);
    QFETCH(bool, mp3);
    QCOMPARE(Tools::ListsMp3Format(help), mp3);
}

void TestTools::findsTheInstalledToolsAndLeavesTheTemporaryFolderAlone()
{
    const QString temp = folder(QStringLiteral("temp"));
    qputenv("TEMP", temp.toUtf8());
    const Tools::Found found = Tools::Find(folder(QStringLiteral("program")));
    QCOMPARE(found.sox, QStandardPaths::findExecutable(QStringLiteral("sox")));
    QCOMPARE(found.ffmpeg, QStandardPaths::findExecutable(QStringLiteral("ffmpeg")));
    QCOMPARE(found.soxProblem, QString());
    QCOMPARE(found.ffmpegProblem, QString());
    QCOMPARE(Fixtures::FilesBelow(temp), QStringList());
}

void TestTools::prefersToolsBesideTheProgram()
{
    const QString program = folder(QStringLiteral("program"));
    const QString sox = Fixtures::WriteScript(program, QStringLiteral("sox"),
                                              QStringLiteral("echo 'AUDIO FILE FORMATS: mp3 wav'"));
    const QString ffmpeg = Fixtures::WriteScript(program, QStringLiteral("ffmpeg"), QStringLiteral("exit 1"));
    const Tools::Found found = Tools::Find(program);
    QCOMPARE(found.sox, sox);
    QCOMPARE(found.ffmpeg, ffmpeg);
    QCOMPARE(found.soxProblem, QString());
}

void TestTools::namesThePackagesOfMissingTools()
{
    qputenv("PATH", folder(QStringLiteral("empty")).toUtf8());
    const Tools::Found found = Tools::Find(folder(QStringLiteral("program")));
    QCOMPARE(found.sox, QString());
    QCOMPARE(found.ffmpeg, QString());
    QCOMPARE(found.soxProblem, QStringLiteral("SoX is not installed. Install the Debian packages sox and libsox-fmt-mp3."));
    QVERIFY2(found.ffmpegProblem.contains(QStringLiteral("Install the Debian package ffmpeg.")), qPrintable(found.ffmpegProblem));
}

void TestTools::unfitSoxIsTold_data()
{
    QTest::addColumn<QString>("script"); // the sox on PATH; none: the real one
    QTest::addColumn<bool>("noFileLeft"); // run with every file descriptor in use
    QTest::addColumn<QString>("problem");
    QTest::newRow("without MP3") << QStringLiteral("echo 'AUDIO FILE FORMATS: flac wav'") << false
                                 << QStringLiteral("SoX cannot write MP3 files. Install the Debian package libsox-fmt-mp3.");
    // A reinstall would not help: the limit of open files is the user's to raise.
    QTest::newRow("ulimit -n too low") << QString() << true
                                       << QStringLiteral("SoX (/usr/bin/sox) cannot be started: too many files are open. "
                                                         "Raise the limit of open files (ulimit -n).");
}

void TestTools::unfitSoxIsTold()
{
    QFETCH(QString, script);
    QFETCH(bool, noFileLeft);
    QFETCH(QString, problem);
    const QString bin = folder(QStringLiteral("bin"));
    if (!script.isEmpty())
        Fixtures::WriteScript(bin, QStringLiteral("sox"), script);
    qputenv("PATH", (script.isEmpty() ? QStringLiteral("/usr/bin") : bin).toUtf8());
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (noFileLeft) {
        rlimit lowered = limit;
        lowered.rlim_cur = rlim_t(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    }
    const Tools::Found found = Tools::Find(folder(QStringLiteral("program")));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    QCOMPARE(found.sox, QString());
    QCOMPARE(found.soxProblem, problem);
}

QTEST_GUILESS_MAIN(TestTools)
#include "tst_tools.moc"
