// Every kind of master lumbrisk-cli reads, through both engines: the window's job and
// lumbrisk-cli's batch make the very same preview of it (its audio and its mark), separate
// and joined, from a fixed start and from the start its audio gives; and, through the job's
// controls that the window has none for, at a loudness target, limited or not, separate and
// joined.

#include "audiofixtures.h"
#include "fakecontrols.h"
#include "scriptedprompts.h"

#include "batch/parallelpreviews.h"
#include "preview/previewjob.h"
#include "preview/previewmark.h"
#include "preview/tools.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Each kind's file name, and the tool that makes it from an MP3: SoX (writing the format its
// name ends in) or FFmpeg with the codec given.
struct Kind {
    const char *name;
    const char *codec; // nullptr: SoX
};
const Kind Kinds[] = {
    {"song.mp3", nullptr},     {"flac.flac", nullptr},    {"wav.wav", nullptr},
    {"aiff.aiff", nullptr},    {"ogg.ogg", nullptr},      {"aac.m4a", "aac"},
    {"alac.m4a", "alac"},      {"opus.opus", "libopus"},  {"wma.wma", "wmav2"},
};

const QString Duration = QStringLiteral("2");

} // namespace

class TestMasters : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bothEnginesMakeTheSamePreview_data();
    void bothEnginesMakeTheSamePreview();

private:
    // How the previews are made: joined or not, from where, and at what loudness (LUFS).
    struct Asked {
        bool join = false;
        QString start;
        std::optional<double> loudness;
        bool limit = false;
    };
    // The previews the window's job makes of the sources into the folder; its closing message.
    QString windowPreviews(const QStringList &sources, const QString &folder, const Asked &asked);
    // The same by lumbrisk-cli's batch, with its options for those settings.
    bool cliPreviews(const QStringList &sources, const QString &folder, const Asked &asked);

    QTemporaryDir m_dir;
    QString m_masters;
};

void TestMasters::initTestCase()
{
    m_masters = m_dir.filePath(QStringLiteral("masters"));
    QVERIFY(QDir().mkpath(m_masters));
    // Two pitches, so that a cut from the wrong start or of the wrong length differs.
    const QString low = m_dir.filePath(QStringLiteral("low.mp3"));
    const QString high = m_dir.filePath(QStringLiteral("high.mp3"));
    QVERIFY(Fixtures::MakeTone(low, 2, 440) && Fixtures::MakeTone(high, 3, 660));
    const QString song = m_masters + QStringLiteral("/song.mp3");
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {low, high, song}), 0);
    for (const Kind &kind : Kinds) {
        const QString path = m_masters + QLatin1Char('/') + QLatin1String(kind.name);
        if (path == song)
            continue;
        const int made = kind.codec ? QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-i", song, "-c:a",
                                                                                  QLatin1String(kind.codec), path})
                                    : QProcess::execute(QStringLiteral("sox"), {song, path});
        QVERIFY2(made == 0, kind.name);
    }
    // Loud noise with clicks over it: the clicks' peaks hold its gain back, which the limiter takes.
    const QString noise = m_dir.filePath(QStringLiteral("noise.wav"));
    const QString clicks = m_dir.filePath(QStringLiteral("clicks.wav"));
    const QStringList synth{"-R", "-n", "-r", "44100", "-c", "2"};
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), synth + QStringList{noise, "synth", "4", "brownnoise", "gain", "-7"}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("sox"),
                               synth + QStringList{clicks, "synth", "4", "square", "3", "highpass", "4000"}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {"-m", "-v", "0.8", noise, "-v", "0.8", clicks, "-C", "192",
                                                       m_masters + QStringLiteral("/loud.mp3"), "gain", "-n", "-0.1"}),
             0);
}

QString TestMasters::windowPreviews(const QStringList &sources, const QString &folder, const Asked &asked)
{
    ScriptedPrompts prompts;
    FakeControls controls(prompts);
    controls.rows = sources;
    controls.folder = folder;
    controls.start = asked.start;
    controls.duration = Duration;
    controls.joining = asked.join;
    controls.loudness = asked.loudness;
    controls.limiting = asked.limit;
    PreviewJob(controls).run();
    return prompts.calls.isEmpty() ? QString() : prompts.calls.constLast().text;
}

bool TestMasters::cliPreviews(const QStringList &sources, const QString &folder, const Asked &asked)
{
    PreviewSettings settings; // as lumbrisk-cli -o <folder> -d 2 -b 128 [--join] -s <start> [--loudness L [--limit]]
    settings.outputFolder = folder;
    settings.durationSeconds = Duration.toDouble();
    settings.kbps = 128;
    settings.join = asked.join;
    settings.startAtChorus = asked.start == QLatin1String("auto");
    settings.startSeconds = asked.start.toDouble();
    settings.loudness = asked.loudness;
    settings.limit = asked.limit;
    ParallelPreviews previews(Tools::Find(QString()), settings, sources);
    QSignalSpy finished(&previews, &ParallelPreviews::finished);
    previews.start();
    return finished.wait(60000) && previews.madeCount() == sources.size();
}

void TestMasters::bothEnginesMakeTheSamePreview_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<bool>("join");
    QTest::addColumn<QString>("start");
    QTest::addColumn<double>("loudness"); // LUFS; 0: none
    QTest::addColumn<bool>("limit");
    QStringList every;
    for (const Kind &kind : Kinds) {
        const QString name = QLatin1String(kind.name);
        every << name;
        QTest::addRow("%s, from 1 s", kind.name) << QStringList{name} << false << "1" << 0.0 << false;
        QTest::addRow("%s, auto", kind.name) << QStringList{name} << false << "auto" << 0.0 << false;
    }
    QTest::newRow("every kind, joined, from 1 s") << every << true << "1" << 0.0 << false;
    QTest::newRow("every kind, joined, auto") << every << true << "auto" << 0.0 << false;
    // An MP3 is cut from the samples its measuring decoded, which the job writes into SoX;
    // any other master is read by SoX itself.
    QTest::newRow("song.mp3, auto, at -16 LUFS") << QStringList{"song.mp3"} << false << "auto" << -16.0 << false;
    // Held back by its peaks: the gain they allow. The limited one's encoding passes the
    // ceiling and is cut again, limited lower.
    QTest::newRow("song.mp3, from 1 s, at -2 LUFS") << QStringList{"song.mp3"} << false << "1" << -2.0 << false;
    QTest::newRow("flac.flac, from 1 s, at -16 LUFS") << QStringList{"flac.flac"} << false << "1" << -16.0 << false;
    QTest::newRow("loud.mp3, from 1 s, at -8 LUFS, limited") << QStringList{"loud.mp3"} << false << "1" << -8.0 << true;
    // A joined file is measured once joined, and joined again lower or limited as a whole.
    QTest::newRow("song.mp3 and flac.flac, joined, auto, at -16 LUFS")
        << QStringList{"song.mp3", "flac.flac"} << true << "auto" << -16.0 << false;
    QTest::newRow("loud.mp3 and song.mp3, joined, from 1 s, at -8 LUFS, limited")
        << QStringList{"loud.mp3", "song.mp3"} << true << "1" << -8.0 << true;
}

void TestMasters::bothEnginesMakeTheSamePreview()
{
    QFETCH(QStringList, kinds);
    QFETCH(bool, join);
    QFETCH(QString, start);
    QFETCH(double, loudness);
    QFETCH(bool, limit);
    const Asked asked{join, start, loudness < 0 ? std::optional(loudness) : std::nullopt, limit};
    QStringList sources;
    for (const QString &kind : kinds)
        sources << m_masters + QLatin1Char('/') + kind;
    const QString row = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()));
    const QString byWindow = row + QStringLiteral("/window");
    const QString byCli = row + QStringLiteral("/cli");
    QVERIFY(QDir().mkpath(byWindow) && QDir().mkpath(byCli));

    QCOMPARE(windowPreviews(sources, byWindow, asked), QStringLiteral("Done."));
    QVERIFY(cliPreviews(sources, byCli, asked));

    const QStringList made = Fixtures::FilesBelow(byWindow);
    QCOMPARE(made.size(), join ? 1 : sources.size());
    QCOMPARE(Fixtures::FilesBelow(byCli), made);
    for (const QString &name : made) {
        const QString window = byWindow + QLatin1Char('/') + name;
        const QString cli = byCli + QLatin1Char('/') + name;
        const Fixtures::AudioFacts facts = Fixtures::Describe(window);
        QCOMPARE(facts.bitRate, 128000);
        QVERIFY2(facts.seconds > (join ? sources.size() : 1) * 2 - Fixtures::FrameSeconds, qPrintable(name));
        QVERIFY2(Fixtures::AudioContents(window) == Fixtures::AudioContents(cli), qPrintable(name));
        const std::optional<QString> mark = PreviewMark::Read(window);
        QVERIFY2(mark && PreviewMark::Record::Parse(*mark), qPrintable(name));
        QCOMPARE(mark, PreviewMark::Read(cli));
        // The level it was brought to, and the limiter's cut, are in the mark both compare.
        const PreviewMark::Record record = *PreviewMark::Record::Parse(*mark);
        QCOMPARE(record.value(QStringLiteral("gain")).isEmpty(), !asked.loudness);
        QCOMPARE(record.value(QStringLiteral("limited")).isEmpty(), !limit);
    }
}

QTEST_MAIN(TestMasters)
#include "tst_masters.moc"
