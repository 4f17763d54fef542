// The bit-rate probe: FFmpeg's description of a source, captured in "out.txt" and read.

#include "audiofixtures.h"
#include "preview/getbitrate.h"
#include "savedenvironment.h"
#include "scriptedprompts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestBitrate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void readsTheLastAudioLine_data();
    void readsTheLastAudioLine();
    void sameRateTellsWhatItCouldNotKeep_data();
    void sameRateTellsWhatItCouldNotKeep();
    void probesAConstantBitRate();
    void losslessSourcesGetTheHighestRate_data();
    void losslessSourcesGetTheHighestRate();
    void probeThatDidNotRunIgnoresAnEarlierCapture();
    void probeOfANonMp3GivesNothingButFfmpegsReason();
    void hostileNameIsProbedAsItIs();
    void captureThatCannotBeWrittenStillGivesTheBitrate_data();
    void captureThatCannotBeWrittenStillGivesTheBitrate();
    void comboChoice_data();
    void comboChoice();

private:
    QString temp() const { return m_dir.filePath(QStringLiteral("temp")); }
    QString capture() const { return temp() + QStringLiteral("/out.txt"); }
    GetBitrate::Context context(const QString &ffmpeg, Shell32::RunResult *failedProbe = nullptr);

    QTemporaryDir m_dir;
    QString m_tone;
    QString m_ffmpeg;
    std::unique_ptr<SavedEnvironment> m_environment;
    ScriptedPrompts m_prompts;
};

void TestBitrate::initTestCase()
{
    m_environment = std::make_unique<SavedEnvironment>(QList<QByteArray>{"TEMP"});
    m_ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    QVERIFY(!m_ffmpeg.isEmpty());
    m_tone = m_dir.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(Fixtures::MakeTone(m_tone, 2));
}

void TestBitrate::init()
{
    QDir(temp()).removeRecursively();
    QDir().mkpath(temp());
    qputenv("TEMP", temp().toUtf8());
    m_prompts.calls.clear();
}

void TestBitrate::cleanupTestCase()
{
    m_environment.reset();
}

GetBitrate::Context TestBitrate::context(const QString &ffmpeg, Shell32::RunResult *failedProbe)
{
    return GetBitrate::Context{m_prompts, ffmpeg, nullptr, 1, temp(), failedProbe};
}

void TestBitrate::readsTheLastAudioLine_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<QString>("bitrate");
    QTest::newRow("stream line") << "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, s16p, 128 kb/s\n" << "128";
    QTest::newRow("two streams: the last decides")
        << "    Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 320 kb/s\n"
           "    Stream #0:1: Audio: mp3, 44100 Hz, stereo, fltp, 191 kb/s\nAt least one output file must be specified\n"
        << "191";
    // Without a number in kb/s, or above what MP3 allows, the stream gets the highest rate.
    QTest::newRow("no bit rate: the highest") << "    Stream #0:0: Audio: mp3, 44100 Hz, stereo, s16p\n" << "320";
    QTest::newRow("lossless FLAC: not its sample size")
        << "  Duration: 00:00:02.00, start: 0.000000, bitrate: 250 kb/s\n"
           "  Stream #0:0: Audio: flac, 48000 Hz, stereo, s32 (24 bit)\n"
        << "320";
    QTest::newRow("WAV above 320") << "  Stream #0:0: Audio: pcm_s16le ([1][0][0][0] / 0x0001), 44100 Hz, 2 channels, s16, "
                                      "1411 kb/s\n"
                                   << "320";
    QTest::newRow("M4A: words after the rate")
        << "  Stream #0:0[0x1](und): Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, stereo, fltp, 127 kb/s (default)\n"
        << "127";
    QTest::newRow("exact case only") << "    Stream #0:0: audio: mp3, 44100 Hz, stereo, s16p, 128 kb/s\n" << "";
    QTest::newRow("nothing") << "" << "";
}

void TestBitrate::readsTheLastAudioLine()
{
    QFETCH(QString, capture);
    QFETCH(QString, bitrate);
    QCOMPARE(GetBitrate::BitrateFromCapture(capture), bitrate);
}

void TestBitrate::sameRateTellsWhatItCouldNotKeep_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("note");
    const QString mp3 = QStringLiteral("  Stream #0:0: Audio: mp3 (mp3float), 44100 Hz, stereo, fltp, 320 kb/s\n");
    QTest::newRow("320 into Opus") << mp3 << "Opus" << "its 320 kbit/s is more than Opus takes: its preview has 256 kbit/s";
    QTest::newRow("320 into AAC: kept") << mp3 << "AAC" << "";
    QTest::newRow("6 into AAC") << "  Stream #0:0: Audio: opus, 48000 Hz, stereo, fltp, 6 kb/s\n"
                                << "AAC" << "its 6 kbit/s is less than AAC takes: its preview has 32 kbit/s";
    // A lossless stream's rate is its samples', none a preview could keep.
    QTest::newRow("WAV into MP3") << "  Stream #0:0: Audio: pcm_s16le ([1][0][0][0] / 0x0001), 44100 Hz, 2 channels, s16, "
                                     "1411 kb/s\n"
                                  << "MP3" << "";
    QTest::newRow("ALAC into Opus") << "  Stream #0:0(und): Audio: alac (alac / 0x63616C61), 44100 Hz, stereo, s16p, 900 kb/s\n"
                                    << "Opus" << "";
    QTest::newRow("no rate stated") << "  Stream #0:0: Audio: vorbis, 44100 Hz, stereo, fltp\n" << "Opus" << "";
}

void TestBitrate::sameRateTellsWhatItCouldNotKeep()
{
    QFETCH(QString, capture);
    QFETCH(QString, format);
    QFETCH(QString, note);
    const OutputFormat *named = nullptr;
    for (const OutputFormat *each : OutputFormat::All())
        named = each->name() == format ? each : named;
    QVERIFY(named);
    QCOMPARE(GetBitrate::UnkeptRateNote(capture, *named), note);
}

void TestBitrate::probesAConstantBitRate()
{
    QCOMPARE(GetBitrate::GetBitrateOfMP3(m_tone, context(m_ffmpeg)), QStringLiteral("192"));
    // Only the capture is left, holding FFmpeg's description.
    QCOMPARE(Fixtures::FilesBelow(temp()), QStringList{"out.txt"});
    QVERIFY(Fixtures::Contents(capture()).contains("Audio: mp3"));
    QCOMPARE(m_prompts.errorReports(), QStringList());
}

void TestBitrate::losslessSourcesGetTheHighestRate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("format"); // SoX's options for the file
    QTest::newRow("FLAC, 24 bit") << "master.flac" << QStringList{"-b", "24"};
    QTest::newRow("WAV, 1411 kb/s") << "master.wav" << QStringList{"-b", "16"};
}

void TestBitrate::losslessSourcesGetTheHighestRate()
{
    QFETCH(QString, name);
    QFETCH(QStringList, format);
    const QString source = m_dir.filePath(name);
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), QStringList{"-n", "-r", "44100", "-c", "2"} + format
                                                          + QStringList{source, "synth", "1", "sine", "440"}),
             0);
    QCOMPARE(GetBitrate::GetBitrateOfMP3(source, context(m_ffmpeg)), QStringLiteral("320"));
}

void TestBitrate::probeThatDidNotRunIgnoresAnEarlierCapture()
{
    QVERIFY(Fixtures::WriteFile(capture(), "    Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 320 kb/s\n"));
    QCOMPARE(GetBitrate::GetBitrateOfMP3(m_tone, context(m_dir.filePath(QStringLiteral("no-ffmpeg")))), QString());
    QCOMPARE(Fixtures::Contents(capture()), QByteArray());
}

void TestBitrate::probeOfANonMp3GivesNothingButFfmpegsReason()
{
    const QString text = m_dir.filePath(QStringLiteral("notes.mp3"));
    QVERIFY(Fixtures::WriteFile(text, "not audio at all\n"));
    Shell32::RunResult probe;
    QCOMPARE(GetBitrate::GetBitrateOfMP3(text, context(m_ffmpeg, &probe)), QString());
    QVERIFY2(probe.lastErrorLine().startsWith(text + QStringLiteral(": ")), qPrintable(probe.lastErrorLine()));
}

void TestBitrate::hostileNameIsProbedAsItIs()
{
    const QString hostile = m_dir.filePath(QStringLiteral("a$(touch pwned)\"`touch pwned2` 100%.mp3"));
    QVERIFY(QFile::copy(m_tone, hostile));
    QCOMPARE(GetBitrate::GetBitrateOfMP3(hostile, context(m_ffmpeg)), QStringLiteral("192"));
    QVERIFY(!QFile::exists(QStringLiteral("pwned")) && !QFile::exists(QStringLiteral("pwned2")));
    QVERIFY(!QFile::exists(temp() + QStringLiteral("/pwned")));
}

void TestBitrate::captureThatCannotBeWrittenStillGivesTheBitrate_data()
{
    QTest::addColumn<bool>("planted"); // else the folder is missing
    QTest::newRow("no capture folder") << false;
    // A link planted where the capture goes is never written through.
    QTest::newRow("symbolic link at out.txt") << true;
}

void TestBitrate::captureThatCannotBeWrittenStillGivesTheBitrate()
{
    QFETCH(bool, planted);
    const QString victim = m_dir.filePath(QStringLiteral("victim.txt"));
    QVERIFY(Fixtures::WriteFile(victim, "keep me"));
    if (planted)
        QVERIFY(QFile::link(victim, capture()));
    else
        QDir(temp()).removeRecursively();
    QCOMPARE(GetBitrate::GetBitrateOfMP3(m_tone, context(m_ffmpeg)), QStringLiteral("192"));
    QCOMPARE(m_prompts.errorReports(), QStringList());
    QCOMPARE(Fixtures::Contents(victim), QByteArray("keep me"));
}

void TestBitrate::comboChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("source"); // "tone", "missing" or ""
    QTest::addColumn<QString>("bitrate");
    // Probing here would fail (no FFmpeg is given), so a number proves nothing ran.
    QTest::newRow("128 kbps") << "128 kbps" << "tone" << "128";
    QTest::newRow("8 kbps") << "8 kbps" << "tone" << "8";
    QTest::newRow("320 kbps") << "320 kbps" << "" << "320";
    QTest::newRow("removal ignores case") << " 64 kbpsKBPS" << "" << "64";
    QTest::newRow("fraction") << "12.5 kbps" << "" << "12.5";
    QTest::newRow("no number") << "kbps" << "" << "0";
    QTest::newRow("other text, existing source: probe") << "Same bit rate as input file" << "tone" << "192";
    QTest::newRow("wrong case is other text") << "128 KBPS" << "tone" << "192";
    QTest::newRow("other text, missing source") << "Same bit rate as input file" << "missing" << "128";
    QTest::newRow("other text, no source") << "Same bit rate as input file" << "" << "128";
}

void TestBitrate::comboChoice()
{
    QFETCH(QString, choice);
    QFETCH(QString, source);
    QFETCH(QString, bitrate);
    const bool probes = bitrate == QLatin1String("192");
    const QString path = source == QLatin1String("tone") ? m_tone
                         : source.isEmpty()               ? QString()
                                                          : m_dir.filePath(QStringLiteral("missing.mp3"));
    QCOMPARE(GetBitrate::GetBitrateCombo(choice, path, context(probes ? m_ffmpeg : QString())), bitrate);
    QCOMPARE(m_prompts.errorReports(), QStringList());
}

QTEST_GUILESS_MAIN(TestBitrate)
#include "tst_bitrate.moc"
