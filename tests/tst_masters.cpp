// Every kind of master lumbrisk-cli reads, through both engines: the window's job and
// lumbrisk-cli's batch make the very same preview of it (its audio and its mark), separate
// and joined, from a fixed start and from the start its audio gives.

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
    // The previews the window's job makes of the sources into the folder; its closing message.
    QString windowPreviews(const QStringList &sources, const QString &folder, bool join, const QString &start);
    // The same by lumbrisk-cli's batch, with its options for those settings.
    bool cliPreviews(const QStringList &sources, const QString &folder, bool join, const QString &start);

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
}

QString TestMasters::windowPreviews(const QStringList &sources, const QString &folder, bool join, const QString &start)
{
    ScriptedPrompts prompts;
    FakeControls controls(prompts);
    controls.rows = sources;
    controls.folder = folder;
    controls.start = start;
    controls.duration = Duration;
    controls.joining = join;
    PreviewJob(controls).run();
    return prompts.calls.isEmpty() ? QString() : prompts.calls.constLast().text;
}

bool TestMasters::cliPreviews(const QStringList &sources, const QString &folder, bool join, const QString &start)
{
    PreviewSettings settings; // as lumbrisk-cli -o <folder> -d 2 -b 128 [--join] -s <start>
    settings.outputFolder = folder;
    settings.durationSeconds = Duration.toDouble();
    settings.kbps = 128;
    settings.join = join;
    settings.startAtChorus = start == QLatin1String("auto");
    settings.startSeconds = start.toDouble();
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
    QStringList every;
    for (const Kind &kind : Kinds) {
        const QString name = QLatin1String(kind.name);
        every << name;
        QTest::addRow("%s, from 1 s", kind.name) << QStringList{name} << false << "1";
        QTest::addRow("%s, auto", kind.name) << QStringList{name} << false << "auto";
    }
    QTest::newRow("every kind, joined, from 1 s") << every << true << "1";
    QTest::newRow("every kind, joined, auto") << every << true << "auto";
}

void TestMasters::bothEnginesMakeTheSamePreview()
{
    QFETCH(QStringList, kinds);
    QFETCH(bool, join);
    QFETCH(QString, start);
    QStringList sources;
    for (const QString &kind : kinds)
        sources << m_masters + QLatin1Char('/') + kind;
    const QString row = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()));
    const QString byWindow = row + QStringLiteral("/window");
    const QString byCli = row + QStringLiteral("/cli");
    QVERIFY(QDir().mkpath(byWindow) && QDir().mkpath(byCli));

    QCOMPARE(windowPreviews(sources, byWindow, join, start), QStringLiteral("Done."));
    QVERIFY(cliPreviews(sources, byCli, join, start));

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
    }
}

QTEST_MAIN(TestMasters)
#include "tst_masters.moc"
