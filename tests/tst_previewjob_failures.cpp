// Sources, folders and tools that fail a run of the preview job: what is reported and what is kept.

#include "analysis/mp3audio.h"
#include "analysis/sourceaudio.h"
#include "audiofixtures.h"
#include "hostilefixtures.h"
#include "platform/main.h"
#include "previewjobfixture.h"
#include "smalldisk.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

class TestPreviewJobFailures : public PreviewJobFixture {
    Q_OBJECT

private slots:
    void failedSourcesAreReported_data();
    void failedSourcesAreReported();
    void unwritableOutputFolderIsReported();
    void missingSoxIsNamedWithItsPackage();
    void joinKeepsWhatWasMadeWhenACutFails_data();
    void joinKeepsWhatWasMadeWhenACutFails();
    void failureKeepsTheEarlierOutput_data();
    void failureKeepsTheEarlierOutput();
    void nonRegularSourcesFailAtOnce_data();
    void nonRegularSourcesFailAtOnce();
    void sourceTruncatedWhileMeasuredIsNoCrash();
};

void TestPreviewJobFailures::failedSourcesAreReported_data()
{
    QTest::addColumn<bool>("sameRate");
    QTest::addColumn<QStringList>("reasons"); // patterns for notes, empty, m4a, short, crashing and gone
    // SoX 14.4.2 ends well but writes no audio when the start lies after the end of a short
    // track, and crashes leaving an empty file when it lies a few seconds after it.
    const QString shortTrack = QStringLiteral("the track is only 0:01 long, so a preview from 0:05 has nothing in it");
    const QString crash = QStringLiteral("the track is only 0:04 long, so a preview from 0:05 has nothing in it");
    const QString m4a = QStringLiteral("it holds no audio that SoX can read \\(FFmpeg reads it as mov,mp4,m4a,3gp,3g2,mj2, not MP3\\)");
    const QString empty = QStringLiteral("the file is empty");
    const QString noAudio = QStringLiteral("it holds no audio that SoX can read \\(not an MP3 file, or damaged\\)");
    QTest::newRow("128 kbps") << false
                              << QStringList{noAudio, empty, m4a, shortTrack, crash,
                                             "SoX failed: can't open input file `.*gone.mp3': No such file or directory"};
    QString probed = noAudio;
    probed.replace(QStringLiteral("SoX"), QStringLiteral("FFmpeg"));
    QTest::newRow("same bit rate") << true
                                   << QStringList{probed, empty, m4a, shortTrack, crash,
                                                  "FFmpeg found no MP3 bit rate in gone.mp3 \\(.*No such file or directory\\)"};
}

void TestPreviewJobFailures::failedSourcesAreReported()
{
    QFETCH(bool, sameRate);
    QFETCH(QStringList, reasons);
    QDir().mkpath(scratch(QStringLiteral("in")));
    const QString good = scratch(QStringLiteral("in/good.mp3"));
    QVERIFY(QFile::copy(m_longTone, good));
    const QString notes = writeText(QStringLiteral("in/notes.mp3"));
    const QString empty = scratch(QStringLiteral("in/empty.mp3"));
    QVERIFY(Fixtures::WriteFile(empty));
    const QString m4a = scratch(QStringLiteral("in/m4a.mp3"));
    QVERIFY(QFile::copy(m_m4a, m4a));
    const QString shortTrack = scratch(QStringLiteral("in/short.mp3"));
    QVERIFY(QFile::copy(m_shortTone, shortTrack));
    const QString crashing = copyTone(QStringLiteral("in/crashing.mp3"));
    const QString gone = scratch(QStringLiteral("in/gone.mp3"));
    const QStringList failed{notes, empty, m4a, shortTrack, crashing, gone};
    Form1 &form = window(QStringList{good} + failed, scratch(QStringLiteral("out")), sameRate, false, false);
    form.Text2->setText(QStringLiteral("5"));
    form.Text3->setText(QStringLiteral("1"));

    form.PushButton2->click();

    const QStringList lines = closingMessage().split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 4 + failed.size(), qPrintable(closingMessage()));
    QCOMPARE(lines.mid(0, 4), (QStringList{"Done.", "", "1 of 7 previews were made.", "Not made:"}));
    for (int index = 0; index < failed.size(); ++index) {
        const QRegularExpression expected(QStringLiteral("^") + QRegularExpression::escape(failed.at(index))
                                          + QStringLiteral(": (") + reasons.at(index) + QStringLiteral(")$"));
        QVERIFY2(expected.match(lines.at(4 + index)).hasMatch(), qPrintable(lines.at(4 + index)));
    }
    // Only the good preview is there: nothing empty or half-written is left behind.
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList{"good_Preview.mp3"});
    verifyPreview(scratch(QStringLiteral("out/good_Preview.mp3")), sameRate ? 192000 : 128000, 1);
    QCOMPARE(Fixtures::Contents(shortTrack), Fixtures::Contents(m_shortTone));
    QCOMPARE(Fixtures::Contents(crashing), Fixtures::Contents(m_tone));
    QCOMPARE(Fixtures::Contents(good), Fixtures::Contents(m_longTone));
}

void TestPreviewJobFailures::unwritableOutputFolderIsReported()
{
    // /proc takes no new files, not even from root.
    const QString a = copyTone(QStringLiteral("in/Song A.mp3"));
    Form1 &form = window({a}, QStringLiteral("/proc"), false, false, false);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n0 of 1 previews were made.\nNot made:\n")
                                   + a + QStringLiteral(": cannot create a file in /proc/: No such file or directory"));
}

void TestPreviewJobFailures::missingSoxIsNamedWithItsPackage()
{
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString b = copyTone(QStringLiteral("in/B.mp3"));
    QDir().mkpath(scratch(QStringLiteral("empty")));
    qputenv("PATH", scratch(QStringLiteral("empty")).toUtf8());
    Form1 &form = window({a, b}, scratch(QStringLiteral("out")), false, false, false);

    form.PushButton2->click();

    // One reason for many files is said once, in the details.
    const ScriptedPrompts::Call closing = m_test->prompts.callsOf(QStringLiteral("message")).last();
    QCOMPARE(closing.text, QStringLiteral("Done.\n\n0 of 2 previews were made."));
    QCOMPARE(closing.details, QStringLiteral("Not made:\nSoX is not installed. Install the Debian packages sox and "
                                             "libsox-fmt-mp3.: 2 files\n    ") + a + QStringLiteral("\n    ") + b);
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList());
}

void TestPreviewJobFailures::joinKeepsWhatWasMadeWhenACutFails_data()
{
    QTest::addColumn<bool>("sameRate");
    QTest::addColumn<int>("notesRow");
    QTest::newRow("128 kbps, second row unreadable") << false << 1;
    // The bit rate comes from the first row that can be probed.
    QTest::newRow("same bit rate, first row unreadable") << true << 0;
}

void TestPreviewJobFailures::joinKeepsWhatWasMadeWhenACutFails()
{
    QFETCH(bool, sameRate);
    QFETCH(int, notesRow);
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString notes = writeText(QStringLiteral("in/notes.mp3"));
    const QString b = copyTone(QStringLiteral("in/B.mp3"), true);
    QStringList rows{a, b};
    rows.insert(notesRow, notes);
    Form1 &form = window(rows, scratch(QStringLiteral("out")), sameRate, false, true);

    form.PushButton2->click();

    QVERIFY2(closingMessage().startsWith(QStringLiteral("Done.\n\n2 of 3 previews were made.\nNot made:\n") + notes + QStringLiteral(": ")),
             qPrintable(closingMessage()));
    QCOMPARE(closingMessage().count(QLatin1Char('\n')), 4);
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList{"Joined_Preview.mp3"});
    verifyPreview(scratch(QStringLiteral("out/Joined_Preview.mp3")), sameRate ? 192000 : 128000, 4, 3);
    QVERIFY(pitchRatioOfHalves(scratch(QStringLiteral("out/Joined_Preview.mp3")), 2) > 1.5);
}

void TestPreviewJobFailures::failureKeepsTheEarlierOutput_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("reason"); // a pattern
    QTest::newRow("separate: unreadable source") << false << "text source"
                                                 << "it holds no audio that SoX can read \\(not an MP3 file, or damaged\\)";
    QTest::newRow("separate: a tag without audio") << false << "tag only"
                                                   << "it holds no audio that SoX can read \\(not an MP3 file, or damaged\\)";
    // What a scan of every file ("*") brings along, of a type SoX has no reader for.
    QTest::newRow("separate: a cover picture") << false << "cover"
                                               << "it holds no audio that SoX can read \\(FFmpeg reads it as image2, not MP3\\)";
    // In lumbrisk-cli's words (its "an AAC damaged throughout"): FFmpeg gave up on it.
    QTest::newRow("separate: an AAC damaged throughout") << false << "damaged aac"
                                                         << "it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)";
    QTest::newRow("separate: an AAC damaged throughout, auto") << false << "damaged aac, auto"
                                                               << "it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)";
    QTest::newRow("joined: a folder of the joined name") << true << "folder" << "cannot save it as .*: Is a directory";
    // SoX says "FAIL" on a full disk but ends with status 0, leaving a cut-off file.
    const QString full = QStringLiteral("the disk is full: /\\S+/out has \\d+ KB free");
    QTest::newRow("separate: full disk") << false << "full disk" << full;
    QTest::newRow("joined: full disk") << true << "full disk" << full;
    QTest::newRow("separate: start after the end") << false << "late start"
                                                   << "the track is only 0:04 long, so a preview from 1:00:00 has nothing in it";
    // The same words as lumbrisk-cli's for masters FFmpeg decodes.
    QTest::newRow("separate: an M4A master, start after its end") << false << "late m4a"
                                                                  << "the track is only 0:04 long, so a preview from 1:00:00 has nothing in it";
    QTest::newRow("separate: a missing M4A master") << false << "gone m4a"
                                                    << "it cannot be decoded \\(FFmpeg: No such file or directory\\)";
}

void TestPreviewJobFailures::failureKeepsTheEarlierOutput()
{
    QFETCH(bool, join);
    QFETCH(QString, obstacle);
    QFETCH(QString, reason);
    const QString out = scratch(QStringLiteral("out"));
    QString source = copyTone(QStringLiteral("in/A.mp3"));
    QString start = QStringLiteral("0.5");
    QString duration = QStringLiteral("2");
    std::unique_ptr<Fixtures::SmallDisk> disk;
    if (obstacle == QLatin1String("full disk")) {
        if (geteuid() != 0)
            QSKIP("A full disk is made by mounting a small tmpfs, which needs root.");
        disk = std::make_unique<Fixtures::SmallDisk>(out, QStringLiteral("300k"));
        QVERIFY(disk->mounted());
        QVERIFY(Fixtures::MakeTone(source, 32));
        duration = QStringLiteral("30"); // 480 kB at 128 kbps, on 300 kB
    } else if (obstacle == QLatin1String("text source")) {
        source = writeText(QStringLiteral("in/A.mp3"));
    } else if (obstacle == QLatin1String("cover")) {
        source = writeText(QStringLiteral("in/A.jpg"));
    } else if (obstacle == QLatin1String("tag only")) {
        // An ID3v2.3 tag with one title frame, and no audio after it.
        QVERIFY(Fixtures::WriteFile(source, QByteArray("ID3\x03\0\0\0\0\0\x10TIT2\0\0\0\x06\0\0\0Title", 26)));
    } else if (obstacle == QLatin1String("late start")) {
        start = QStringLiteral("3600");
    } else if (obstacle == QLatin1String("late m4a")) {
        source = scratch(QStringLiteral("in/A.m4a"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-i", m_tone, "-c:a", "aac", source}), 0);
        start = QStringLiteral("3600");
    } else if (obstacle == QLatin1String("gone m4a")) {
        source = scratch(QStringLiteral("in/gone.m4a"));
    } else if (obstacle.startsWith(QLatin1String("damaged aac"))) {
        source = scratch(QStringLiteral("in/A.aac"));
        QVERIFY(Fixtures::MakeDamagedAac(source, 30, 1));
        if (obstacle.endsWith(QLatin1String("auto")))
            start = QStringLiteral("auto");
    }
    const QString earlier = out + (join ? QStringLiteral("/Joined_Preview.mp3") : QStringLiteral("/A_Preview.mp3"));
    if (obstacle == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(earlier));
    else
        earlierPreview(QStringLiteral("out/") + Main::FileNameOf(earlier));
    const QByteArray before = Fixtures::Contents(earlier);
    Form1 &form = window({source}, out, false, false, join);
    form.Text2->setText(start);
    form.Text3->setText(duration);

    form.PushButton2->click();

    const QStringList lines = closingMessage().split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 4), (QStringList{"Done.", "", "0 of 1 previews were made.", "Not made:"}));
    const QString failed = join ? earlier : source;
    QVERIFY2(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(failed) + QStringLiteral(": (") + reason + QStringLiteral(")$"))
                 .match(lines.value(4)).hasMatch(),
             qPrintable(closingMessage()));
    // The earlier file is whole, and nothing half-made is left anywhere.
    if (obstacle == QLatin1String("folder"))
        QVERIFY(QFileInfo(earlier).isDir());
    else
        QCOMPARE(Fixtures::Contents(earlier), before);
    QCOMPARE(Fixtures::FilesBelow(out), QStringList{Main::FileNameOf(earlier)});
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("temp"))), QStringList());
}

void TestPreviewJobFailures::nonRegularSourcesFailAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("sameRate");
    QTest::addColumn<QString>("reason");
    const QString notRegular = QStringLiteral("it is not a regular file (a pipe, socket or device), so it was not read");
    // SoX and FFmpeg would each wait forever for a pipe's writer.
    QTest::newRow("pipe, probed") << "pipe" << true << notRegular;
    QTest::newRow("device") << "device" << false << notRegular;
    QTest::newRow("folder") << "folder" << false << "it is a folder, not an MP3 file";
    // SoX reads a list by its name, whatever it holds: a song it names would be published
    // under the list's name, and an address is fetched through a shell.
    QTest::newRow("playlist naming a song") << "m3u" << false << "it is a playlist (.m3u), not an audio file, so it was not read";
    QTest::newRow("playlist of an address") << "PLS" << false << "it is a playlist (.pls), not an audio file, so it was not read";
    QTest::newRow("a file of /proc") << "proc" << false << "it is one of the system's own files (/proc, /sys), not audio, so it was not read";
}

void TestPreviewJobFailures::nonRegularSourcesFailAtOnce()
{
    QFETCH(QString, kind);
    QFETCH(bool, sameRate);
    QFETCH(QString, reason);
    QString source = QStringLiteral("/dev/zero");
    if (kind == QLatin1String("pipe")) {
        source = scratch(QStringLiteral("pipe.mp3"));
        QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        source = scratch(QStringLiteral("folder.mp3"));
        QVERIFY(QDir().mkpath(source));
    } else if (kind == QLatin1String("m3u")) {
        source = scratch(QStringLiteral("list.m3u"));
        QVERIFY(Fixtures::WriteFile(source, copyTone(QStringLiteral("named.mp3")).toUtf8() + '\n'));
    } else if (kind == QLatin1String("proc")) {
        source = scratch(QStringLiteral("environment.mp3"));
        QVERIFY(QFile::link(QStringLiteral("/proc/self/environ"), source));
    } else if (kind == QLatin1String("PLS")) {
        source = scratch(QStringLiteral("LIST.PLS"));
        const QByteArray touched = QFile::encodeName(scratch(QStringLiteral("out/fetched")));
        QVERIFY(Fixtures::WriteFile(source, "[playlist]\nNumberOfEntries=1\nFile1=http://localhost/$(touch '" + touched + "')\n"));
    }
    window({source}, scratch(QStringLiteral("out")), sameRate, false, false).PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n0 of 1 previews were made.\nNot made:\n") + source + QStringLiteral(": ") + reason);
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList());
}

// A file being uploaded again shrinks and grows while its length is read: the reader gets
// a length, or none, but never a fault on pages that are gone.
void TestPreviewJobFailures::sourceTruncatedWhileMeasuredIsNoCrash()
{
    const QString source = copyTone(QStringLiteral("in/uploaded.mp3"));
    const QByteArray bytes = Fixtures::Contents(source);
    const double whole = SourceAudio::Measure(source)->seconds;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 300; ++round) {
            QFile file(source);
            if (!file.open(QIODevice::ReadWrite) || !file.resize(bytes.size() / 7) || file.write(bytes) != bytes.size())
                break;
        }
        done = true;
    });
    bool sane = true;
    while (!done) {
        const std::optional<AudioLength> length = SourceAudio::Measure(source);
        sane = sane && (!length || length->seconds <= whole + 0.1);
        Mp3Audio::HoldsAudio(source);
    }
    writer.join();
    QVERIFY(sane);
}

QTEST_MAIN(TestPreviewJobFailures)
#include "tst_previewjob_failures.moc"
