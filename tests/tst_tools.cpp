// Finding SoX and FFmpeg, and saying what to install when they are missing or unfit.

#include "audiofixtures.h"
#include "preview/tools.h"
#include "savedenvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
    void soxWithoutMp3IsUnfit();

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

void TestTools::soxWithoutMp3IsUnfit()
{
    const QString bin = folder(QStringLiteral("bin"));
    Fixtures::WriteScript(bin, QStringLiteral("sox"), QStringLiteral("echo 'AUDIO FILE FORMATS: flac wav'"));
    qputenv("PATH", bin.toUtf8());
    const Tools::Found found = Tools::Find(folder(QStringLiteral("program")));
    QCOMPARE(found.sox, QString());
    QCOMPARE(found.soxProblem, QStringLiteral("SoX cannot write MP3 files. Install the Debian package libsox-fmt-mp3."));
}

QTEST_GUILESS_MAIN(TestTools)
#include "tst_tools.moc"
