// What a sweep removes: only what a killed run left under Lumbrisk's own names, never what
// a run still going holds locked, nor the user's own things of similar names.

#include "audiofixtures.h"
#include "preview/leftovers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class TestLeftovers : public QObject {
    Q_OBJECT

private slots:
    void sweepRemovesOnlyUnlockedLeftovers_data();
    void sweepRemovesOnlyUnlockedLeftovers();
};

void TestLeftovers::sweepRemovesOnlyUnlockedLeftovers_data()
{
    QTest::addColumn<QString>("file");   // made below the swept folder
    QTest::addColumn<bool>("locked");    // held locked by this process while the sweep runs
    QTest::addColumn<bool>("removed");   // the file's first folder, or the file itself
    const QString hidden = QStringLiteral(".lumbrisk-a1B2c3.mp3");
    const QString lockFile = QStringLiteral("lumbrisk-a1B2c3/.lumbrisk.lock");
    QTest::newRow("a killed run's hidden file") << hidden << false << true;
    QTest::newRow("a hidden file being written") << hidden << true << false;
    QTest::newRow("a killed run's private folder") << lockFile << false << true;
    QTest::newRow("a private folder in use") << lockFile << true << false;
    QTest::newRow("the user's folder of such a name") << QStringLiteral("lumbrisk-backup/notes.txt") << false << false;
    QTest::newRow("the user's file of a folder's name") << QStringLiteral("lumbrisk-backup") << false << false;
    QTest::newRow("the user's hidden file of another ending") << QStringLiteral(".lumbrisk-a1B2c3.wav") << false << false;
}

void TestLeftovers::sweepRemovesOnlyUnlockedLeftovers()
{
    QFETCH(QString, file);
    QFETCH(bool, locked);
    QFETCH(bool, removed);
    const QTemporaryDir folder;
    const QString path = folder.filePath(file);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(Fixtures::WriteFile(path, "audio"));
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(descriptor >= 0);
    if (locked)
        QCOMPARE(::flock(descriptor, LOCK_EX), 0);

    Leftovers::Sweep().removeFrom(folder.path());
    ::close(descriptor);

    QCOMPARE(QFileInfo::exists(folder.filePath(file.section(QLatin1Char('/'), 0, 0))), !removed);
}

QTEST_GUILESS_MAIN(TestLeftovers)
#include "tst_leftovers.moc"
