// Closing the window while the preview job runs: the tool stops and its files go.

#include "app/startup.h"
#include "audiofixtures.h"
#include "platform/main.h"
#include "previewjobfixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>

class TestPreviewJobStops : public PreviewJobFixture {
    Q_OBJECT

private slots:
    void closingDuringARunStopsTheToolAndRemovesItsFiles_data();
    void closingDuringARunStopsTheToolAndRemovesItsFiles();
};

void TestPreviewJobStops::closingDuringARunStopsTheToolAndRemovesItsFiles_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<int>("signalNumber"); // what ends the program; 0: closing the window
    QTest::addColumn<QString>("kind");     // of the songs: "mp3", or "flac" from auto, whose chorus SoX decodes
    QTest::addColumn<QString>("hangs");    // the SoX run that hangs, as a shell pattern of its arguments
    const QString secondSong = QStringLiteral("*/in/B.*");
    QTest::newRow("separate") << false << 0 << "mp3" << secondSong;
    QTest::newRow("joined") << true << 0 << "mp3" << secondSong;
    QTest::newRow("separate, SIGTERM") << false << SIGTERM << "mp3" << secondSong;
    QTest::newRow("joined, SIGHUP of a session logging out") << true << SIGHUP << "mp3" << secondSong;
    // The chorus search runs on a thread of its own: its tools are stopped too.
    QTest::newRow("separate, auto, looking for the chorus of a FLAC master") << false << 0 << "flac" << secondSong;
    // The pieces are cut; the join, written into a temporary file in the output folder, hangs.
    QTest::newRow("joined, during the join itself") << true << 0 << "mp3" << "*/out/.lumbrisk-*";
}

void TestPreviewJobStops::closingDuringARunStopsTheToolAndRemovesItsFiles()
{
    QFETCH(bool, join);
    QFETCH(int, signalNumber);
    QFETCH(QString, kind);
    QFETCH(QString, hangs);
    // Every tool run is real but the one that hangs until it is killed.
    const QString bin = scratch(QStringLiteral("bin"));
    const QString pidFile = scratch(QStringLiteral("sox.pid"));
    QVERIFY(QDir().mkpath(bin));
    Fixtures::WriteScript(bin, QStringLiteral("sox"), QStringLiteral(
        "case \"$1\" in -h) echo 'AUDIO FILE FORMATS: mp3'; exit 0;; esac\n"
        "case \"$*\" in %3) echo $$ > '%1'; exec sleep 60;; esac\n"
        "exec '%2' \"$@\"").arg(pidFile, QStandardPaths::findExecutable(QStringLiteral("sox")), hangs));
    QStringList rows{copyTone(QStringLiteral("in/A.mp3")), copyTone(QStringLiteral("in/B.mp3"))};
    if (kind == QLatin1String("flac")) {
        for (QString &row : rows) {
            const QString flac = Main::StripExtension(row) + QStringLiteral(".flac");
            QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/sox"), {row, flac}), 0);
            row = flac;
        }
    }
    qputenv("PATH", bin.toUtf8() + ':' + qgetenv("PATH"));
    Form1 &form = window(rows, scratch(QStringLiteral("out")), false, false, join);
    if (kind == QLatin1String("flac"))
        form.Text2->setText(QStringLiteral("auto"));
    Startup::EndOnSessionSignals(form);
    QTimer closer;
    bool ended = false;
    QStringList leftAtClosing;
    QObject::connect(&closer, &QTimer::timeout, &form, [&] {
        if (ended || !QFile::exists(pidFile) || Fixtures::Contents(pidFile).isEmpty())
            return;
        ended = true;
        if (signalNumber != 0)
            return (void)::raise(signalNumber);
        form.close();
        // The program may end as soon as the window has closed, not only once the run unwinds.
        leftAtClosing = Fixtures::FilesBelow(scratch(QStringLiteral("out")));
    });
    closer.start(20);

    form.PushButton2->click();

    QCOMPARE(m_test->programEnds, 1);
    const pid_t pid = Fixtures::Contents(pidFile).trimmed().toInt();
    QVERIFY(pid > 0);
    QVERIFY2(::kill(pid, 0) != 0, "the tool runs on after the window closed");
    QCOMPARE(m_test->prompts.callsOf(QStringLiteral("message")).size(), 0);
    const QStringList kept = join ? QStringList() : QStringList{"A_Preview.mp3"};
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), kept);
    if (signalNumber == 0)
        QCOMPARE(leftAtClosing, kept);
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("temp"))), QStringList());
}

QTEST_MAIN(TestPreviewJobStops)
#include "tst_previewjob_stops.moc"
