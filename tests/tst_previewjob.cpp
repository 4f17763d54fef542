// The preview job behind "Start Creating", run with the real SoX and FFmpeg.

#include "analysis/mp3audio.h"
#include "analysis/sourceaudio.h"
#include "app/startup.h"
#include "audiofixtures.h"
#include "fakecontrols.h"
#include "filelist/filelistview.h"
#include "hostilefixtures.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/progressbar.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
#include "preview/previewjob.h"
#include "preview/previewresult.h"
#include "preview/tagcopy.h"
#include "savedenvironment.h"
#include "smalldisk.h"
#include "tagfixtures.h"
#include "testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using Fixtures::AudioFacts;
using Fixtures::FrameSeconds;

class TestPreviewJob : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startAndDurationTexts_data();
    void startAndDurationTexts();
    void workedExampleCommandLines();
    void outputNames_data();
    void outputNames();
    void makesPreviewsEndToEnd_data();
    void makesPreviewsEndToEnd();
    void showsProgressAndReadsChoicesAfreshWithoutTheWindow();
    void checksBeforeStarting_data();
    void checksBeforeStarting();
    void secondClickDuringARunDoesNothing();
    void startBeyondSixteenBitsIsReportedAndThreeUsed();
    void startOfEachSong_data();
    void startOfEachSong();
    void hostileFileNamesMakeTheirPreviews();
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
    void ratesMissingAt48000HzAreEncodedAt24000Hz_data();
    void ratesMissingAt48000HzAreEncodedAt24000Hz();
    void relativeOutputFolderIsMadeAbsolute();
    void closingDuringARunStopsTheToolAndRemovesItsFiles_data();
    void closingDuringARunStopsTheToolAndRemovesItsFiles();
    void neverOverwritesASourceOfTheList_data();
    void neverOverwritesASourceOfTheList();
    void listedJoinedFileIsNeverReplaced();
    void sameBaseNamesBothReachTheJoin_data();
    void sameBaseNamesBothReachTheJoin();
    void previewsKeepTheirSongsTags_data();
    void previewsKeepTheirSongsTags();
    void commitReplacesOnlyTheEarlierFile_data();
    void commitReplacesOnlyTheEarlierFile();
    void previewOfAnotherRunIsKept_data();
    void previewOfAnotherRunIsKept();
    void filesWithoutTheMarkAreKept_data();
    void filesWithoutTheMarkAreKept();

private:
    QString scratch(const QString &relative) const;
    QString copyTone(const QString &relative, bool high = false);
    QString writeText(const QString &relative);
    QString earlierPreview(const QString &relative);
    QString taggedSong(const QString &relative);
    Form1 &window(const QStringList &rows, const QString &folder, bool sameRate, bool beside, bool join);
    QString closingMessage() const;
    void verifyPreview(const QString &path, int bitRate, double seconds, int encodings = 1);
    double pitchRatioOfHalves(const QString &path, double half);

    QTemporaryDir m_fixtures;
    QString m_tone;
    QString m_highTone;
    QString m_shortTone; // one second, with ID3 tags
    QString m_longTone;  // six seconds
    QString m_m4a;       // AAC audio in an MP4 file named .mp3
    std::unique_ptr<SavedEnvironment> m_environment;
    std::unique_ptr<TestWindow> m_test;
};

void TestPreviewJob::initTestCase()
{
    m_tone = m_fixtures.filePath(QStringLiteral("tone.mp3"));
    m_highTone = m_fixtures.filePath(QStringLiteral("high.mp3"));
    m_shortTone = m_fixtures.filePath(QStringLiteral("short.mp3"));
    m_longTone = m_fixtures.filePath(QStringLiteral("long.mp3"));
    QVERIFY(Fixtures::MakeTone(m_tone, 4));
    QVERIFY(Fixtures::MakeTone(m_highTone, 4, 880));
    QVERIFY(Fixtures::MakeTone(m_shortTone, 1, 440, 192, QStringLiteral("Artist=Someone")));
    QVERIFY(Fixtures::MakeTone(m_longTone, 6));
    m_m4a = m_fixtures.filePath(QStringLiteral("m4a.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-i", m_tone, "-c:a", "aac", "-f", "mp4", m_m4a}), 0);
}

void TestPreviewJob::init()
{
    m_environment = std::make_unique<SavedEnvironment>(QList<QByteArray>{"PATH", "TEMP"});
    m_test = std::make_unique<TestWindow>();
    QDir().mkpath(scratch(QStringLiteral("temp")));
    QDir().mkpath(scratch(QStringLiteral("out")));
    qputenv("TEMP", scratch(QStringLiteral("temp")).toUtf8());
}

void TestPreviewJob::cleanup()
{
    m_environment.reset();
    m_test.reset();
}

QString TestPreviewJob::scratch(const QString &relative) const
{
    return m_test->scratch() + QLatin1Char('/') + relative;
}

QString TestPreviewJob::copyTone(const QString &relative, bool high)
{
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    QFile::copy(high ? m_highTone : m_tone, path);
    return path;
}

QString TestPreviewJob::writeText(const QString &relative)
{
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    Fixtures::WriteFile(path, "These are notes, not music.\n");
    return path;
}

// What an earlier run left: a file with Lumbrisk's mark, which a run may replace.
QString TestPreviewJob::earlierPreview(const QString &relative)
{
    const QString path = copyTone(relative);
    TagCopy::MarkOnly(path, QStringLiteral("2 source=/earlier.mp3"));
    return path;
}

// A song of an album, in MP3 with its tags; SoX writes ".au" without such tags.
QString TestPreviewJob::taggedSong(const QString &relative)
{
    if (!relative.endsWith(QLatin1String(".au"))) {
        const QString path = copyTone(relative);
        TagFixtures::WriteAlbumSong(path, QStringLiteral("Grüße von ") + Main::FileNameOf(relative));
        return path;
    }
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    QProcess::execute(QStringLiteral("sox"), {m_tone, path});
    return path;
}

Form1 &TestPreviewJob::window(const QStringList &rows, const QString &folder, bool sameRate, bool beside, bool join)
{
    Form1 &form = m_test->open();
    for (const QString &row : rows)
        form.ListView1->append(row);
    form.Text1->setText(folder);
    form.Text2->setText(QStringLiteral("1"));
    form.Text3->setText(QStringLiteral("2"));
    form.Combo1->setCurrentIndex(sameRate ? 0 : form.Combo1->findText(QStringLiteral("128 kbps")));
    (beside ? form.Option2 : form.Option1)->setChecked(true);
    (join ? form.Option3 : form.Option4)->setChecked(true);
    return form;
}

// The closing message's text, and its details on the lines below.
QString TestPreviewJob::closingMessage() const
{
    const QList<ScriptedPrompts::Call> messages = m_test->prompts.callsOf(QStringLiteral("message"));
    if (messages.isEmpty())
        return QStringLiteral("<no message>");
    const ScriptedPrompts::Call &last = messages.last();
    return last.details.isEmpty() ? last.text : last.text + QLatin1Char('\n') + last.details;
}

// The preview's format and length; each encoding may add up to two frames of padding.
void TestPreviewJob::verifyPreview(const QString &path, int bitRate, double seconds, int encodings)
{
    QVERIFY2(QFile::exists(path), qPrintable(path));
    // Written under a private temporary name first, a preview still gets a new file's mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, 0666 & ~mask);
    const AudioFacts facts = Fixtures::Describe(path);
    QCOMPARE(facts.channels, 2);
    QCOMPARE(facts.sampleRate, 48000);
    QCOMPARE(facts.bitRate, bitRate);
    QVERIFY2(facts.seconds >= seconds - FrameSeconds && facts.seconds <= seconds + 2 * encodings * FrameSeconds,
             qPrintable(QStringLiteral("%1 lasts %2 s").arg(path).arg(facts.seconds)));
}

// How much higher the second half sounds than the first: about 2 for 440 Hz then 880 Hz.
double TestPreviewJob::pitchRatioOfHalves(const QString &path, double half)
{
    return Fixtures::RoughFrequency(path, half + 0.2, half - 0.4) / Fixtures::RoughFrequency(path, 0.2, half - 0.4);
}

void TestPreviewJob::startAndDurationTexts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("passed");
    QTest::newRow("30") << "30" << "30";
    QTest::newRow("0") << "0" << "3";
    QTest::newRow("-5") << "-5" << "3";
    QTest::newRow("abc") << "abc" << "3";
    QTest::newRow("empty") << "" << "3";
    QTest::newRow("2.5 as typed") << "2.5" << "2.5";
    QTest::newRow("0.6 as typed (nearest 1)") << "0.6" << "0.6";
    QTest::newRow("0.4 (nearest 0)") << "0.4" << "3";
    QTest::newRow("0.5 (half to even 0)") << "0.5" << "3";
    QTest::newRow("1.5 (half to even 2)") << "1.5" << "1.5";
    QTest::newRow("32767") << "32767" << "32767";
    // SoX reads plain decimals only, so what the field check accepts is passed as one.
    QTest::newRow("exponent") << "1e1" << "10";
    QTest::newRow("trailing point") << "1." << "1";
    QTest::newRow("group separator") << "1,000" << "1000";
    QTest::newRow("blanks and sign") << " +30 " << "30";
}

void TestPreviewJob::startAndDurationTexts()
{
    QFETCH(QString, typed);
    QFETCH(QString, passed);
    QCOMPARE(PreviewCommands::SecondsText(typed), passed);
    QVERIFY_THROWS_EXCEPTION(AppError, PreviewCommands::SecondsText(QStringLiteral("40000")));
}

void TestPreviewJob::workedExampleCommandLines()
{
    const QString sox = QStringLiteral("/Temp/sox");
    const QString a = QStringLiteral("/Music/Song A.mp3");
    const QString b = QStringLiteral("/Music/Song B.mp3");
    const QString previewA = PreviewCommands::OutputPath(QStringLiteral("/Previews"), a);
    const QString previewB = PreviewCommands::OutputPath(QStringLiteral("/Previews"), b);
    const CommandLine cutA = PreviewCommands::Cut(sox, a, QStringLiteral("128"), previewA, QStringLiteral("30"), QStringLiteral("20"));
    QCOMPARE(cutA.text(), QStringLiteral("\"/Temp/sox\" --no-glob \"/Music/Song A.mp3\"  -c 2 -r 48000 -C 128 --no-glob \"/Previews/Song A_Preview.mp3\" trim 30 20"));
    QCOMPARE(PreviewCommands::Cut(sox, b, QStringLiteral("128"), previewB, QStringLiteral("30"), QStringLiteral("20")).text(),
             QStringLiteral("\"/Temp/sox\" --no-glob \"/Music/Song B.mp3\"  -c 2 -r 48000 -C 128 --no-glob \"/Previews/Song B_Preview.mp3\" trim 30 20"));
    const CommandLine join = PreviewCommands::Join(sox, {previewA, previewB}, QStringLiteral("128"),
                                                   PreviewCommands::JoinedPath(QStringLiteral("/Previews")));
    QCOMPARE(join.text(), QStringLiteral("\"/Temp/sox\"  --combine sequence --no-glob \"/Previews/Song A_Preview.mp3\" --no-glob \"/Previews/Song B_Preview.mp3\"  -c 2 -r 48000 -C 128 --no-glob \"/Previews/Joined_Preview.mp3\""));
    // What actually runs: the same words, each file name one argument after its own --no-glob.
    const QString literal = QStringLiteral("--no-glob");
    QCOMPARE(cutA.program(), sox);
    QCOMPARE(cutA.arguments(), (QStringList{literal, a, "-c", "2", "-r", "48000", "-C", "128", literal, previewA, "trim", "30", "20"}));
    QCOMPARE(join.arguments(), (QStringList{"--combine", "sequence", literal, previewA, literal, previewB, "-c", "2", "-r", "48000",
                                            "-C", "128", literal, "/Previews/Joined_Preview.mp3"}));
}

void TestPreviewJob::outputNames_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("joined");
    QTest::newRow("to this folder") << "/Previews" << "/Music/Song A.mp3" << "/Previews/Song A_Preview.mp3" << "/Previews/Joined_Preview.mp3";
    QTest::newRow("folder chosen by browser") << "/Previews/" << "/Music/Song A.mp3" << "/Previews/Song A_Preview.mp3" << "/Previews/Joined_Preview.mp3";
    QTest::newRow("the root") << "/" << "/Music/Song A.mp3" << "/Song A_Preview.mp3" << "/Joined_Preview.mp3";
    QTest::newRow("folder of original file") << Main::FolderOf("/Music/Song A.mp3") << "/Music/Song A.mp3" << "/Music/Song A_Preview.mp3" << "/Music/Joined_Preview.mp3";
    QTest::newRow("last dot only") << "/P" << "/M/live.2021.mp3" << "/P/live.2021_Preview.mp3" << "/P/Joined_Preview.mp3";
}

void TestPreviewJob::outputNames()
{
    QFETCH(QString, folder);
    QFETCH(QString, source);
    QFETCH(QString, preview);
    QFETCH(QString, joined);
    QCOMPARE(PreviewCommands::OutputPath(folder, source), preview);
    QCOMPARE(PreviewCommands::JoinedPath(folder), joined);
}

void TestPreviewJob::makesPreviewsEndToEnd_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("sameRate");
    for (const bool join : {false, true})
        for (const bool beside : {false, true})
            for (const bool sameRate : {false, true})
                QTest::addRow("%s, %s, %s", join ? "joined" : "separate", beside ? "beside source" : "to folder",
                              sameRate ? "same bit rate" : "128 kbps")
                    << join << beside << sameRate;
}

void TestPreviewJob::makesPreviewsEndToEnd()
{
    QFETCH(bool, join);
    QFETCH(bool, beside);
    QFETCH(bool, sameRate);
    const QString a = copyTone(QStringLiteral("music/one/Song A.mp3"));
    const QString b = copyTone(QStringLiteral("music/two/Song B.mp3"), true);
    QStringList expected{QStringLiteral("music/one/Song A.mp3"), QStringLiteral("music/two/Song B.mp3")};
    QStringList outputs;
    if (join)
        outputs << (beside ? QStringLiteral("music/one/Joined_Preview.mp3") : QStringLiteral("out/Joined_Preview.mp3"));
    else if (beside)
        outputs << QStringLiteral("music/one/Song A_Preview.mp3") << QStringLiteral("music/two/Song B_Preview.mp3");
    else
        outputs << QStringLiteral("out/Song A_Preview.mp3") << QStringLiteral("out/Song B_Preview.mp3");
    // Outputs of an earlier run are replaced; a join never touches the user's own files of
    // the names separate previews would have.
    for (const QString &output : outputs)
        earlierPreview(output);
    QStringList usersOwn;
    if (join)
        usersOwn << (beside ? QStringLiteral("music/one/Song A_Preview.mp3") : QStringLiteral("out/Song A_Preview.mp3"))
                 << (beside ? QStringLiteral("music/two/Song B_Preview.mp3") : QStringLiteral("out/Song B_Preview.mp3"));
    for (const QString &own : usersOwn)
        writeText(own);
    Form1 &form = window({a, b}, scratch(QStringLiteral("out/")), sameRate, beside, join);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    QCOMPARE(m_test->prompts.calls.size(), 1);
    QCOMPARE(m_test->prompts.calls.first().title, form.applicationTitle());
    expected << outputs << usersOwn;
    // The run's private folder, with the probe's capture and the join's pieces, is gone.
    expected << QStringLiteral("music") << QStringLiteral("music/one") << QStringLiteral("music/two") << QStringLiteral("out");
    expected << QStringLiteral("temp");
    expected.sort();
    QCOMPARE(Fixtures::FilesBelow(m_test->scratch()), expected);

    const int bitRate = sameRate ? 192000 : 128000;
    for (const QString &output : outputs)
        verifyPreview(scratch(output), bitRate, join ? 4 : 2, join ? 3 : 1);
    for (const QString &own : usersOwn)
        QCOMPARE(Fixtures::Contents(scratch(own)), QByteArray("These are notes, not music.\n"));
    if (join)
        QVERIFY(pitchRatioOfHalves(scratch(outputs.first()), 2) > 1.5);
    QCOMPARE(Fixtures::Contents(a), Fixtures::Contents(m_tone));
    QCOMPARE(Fixtures::Contents(b), Fixtures::Contents(m_highTone));
    QVERIFY(!form.busy());
    QCOMPARE(form.pointer(), Form1::Pointer::Default);
    QCOMPARE(form.ProgressBar1->Value(), 0.0);
    QCOMPARE(form.ProgressBar1->Text(), QStringLiteral("Progress Bar"));
}

void TestPreviewJob::showsProgressAndReadsChoicesAfreshWithoutTheWindow()
{
    ScriptedPrompts prompts;
    FakeControls controls(prompts);
    controls.rows = QStringList{copyTone(QStringLiteral("in/A.mp3")), copyTone(QStringLiteral("in/B.mp3")),
                                copyTone(QStringLiteral("in/C.mp3"))};
    controls.folder = scratch(QStringLiteral("out"));
    controls.bar.reset(QStringLiteral("Progress Bar"), 0);
    // Changes made while the job runs apply from the row on which they are made.
    controls.bar.onChange = [&](const RecordingProgress::Change &change) {
        if (change.text == QLatin1String("Processing: B.mp3"))
            controls.choice = QStringLiteral("64 kbps");
        if (change.text == QLatin1String("Processing: C.mp3"))
            controls.toFolder = false;
    };

    PreviewJob(controls).run();

    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().text, QStringLiteral("Done."));
    QCOMPARE(prompts.calls.first().title, QStringLiteral("Lumbrisk"));
    verifyPreview(scratch(QStringLiteral("out/A_Preview.mp3")), 128000, 2);
    verifyPreview(scratch(QStringLiteral("out/B_Preview.mp3")), 64000, 2);
    verifyPreview(scratch(QStringLiteral("in/C_Preview.mp3")), 64000, 2);
    QList<double> values;
    QStringList texts;
    for (const RecordingProgress::Change &change : std::as_const(controls.bar.changes)) {
        if (change.textChanged)
            texts << change.text;
        else
            values << change.value;
    }
    QCOMPARE(values, (QList<double>{100.0 / 3, 200.0 / 3, 100, 0}));
    // Each row's caption, put back by the runner after the cut, then the idle text.
    QCOMPARE(texts, (QStringList{"Processing: A.mp3", "Processing: A.mp3", "Processing: B.mp3", "Processing: B.mp3",
                                 "Processing: C.mp3", "Processing: C.mp3", "Progress Bar"}));
    QCOMPARE(controls.pointerChanges, (QList<bool>{true, false}));
    QVERIFY(!controls.isBusy);
}

void TestPreviewJob::checksBeforeStarting_data()
{
    QTest::addColumn<bool>("withRow");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list") << false << "No files added.";
    // Checked even when saving beside the sources.
    QTest::newRow("output folder missing") << true << "Folder does not exist. Please select another folder.";
}

void TestPreviewJob::checksBeforeStarting()
{
    QFETCH(bool, withRow);
    QFETCH(QString, message);
    ScriptedPrompts prompts;
    FakeControls controls(prompts);
    if (withRow)
        controls.rows << copyTone(QStringLiteral("in/A.mp3"));
    controls.folder = scratch(QStringLiteral("no-such-folder"));
    controls.toFolder = false;
    controls.choice = QStringLiteral("Same bit rate as input file");

    PreviewJob(controls).run();

    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().text, message);
    QCOMPARE(controls.pointerChanges, QList<bool>());
    QVERIFY(controls.bar.changes.isEmpty());
    QVERIFY(!controls.isBusy);
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("temp"))), QStringList());
}

void TestPreviewJob::secondClickDuringARunDoesNothing()
{
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    Form1 &form = window({a}, scratch(QStringLiteral("out")), false, false, false);
    // The second click lands while the first run waits for a tool.
    int secondClicks = 0;
    QTimer::singleShot(0, &form, [&] {
        ++secondClicks;
        QVERIFY(form.busy());
        form.PushButton2->click();
    });

    form.PushButton2->click();

    QCOMPARE(secondClicks, 1);
    QCOMPARE(m_test->prompts.calls.size(), 1);
    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList{"A_Preview.mp3"});
    QVERIFY(!form.busy());
}

void TestPreviewJob::startBeyondSixteenBitsIsReportedAndThreeUsed()
{
    Form1 &form = window({copyTone(QStringLiteral("in/A.mp3"))}, scratch(QStringLiteral("out")), false, false, false);
    form.Text2->setText(QStringLiteral("40000"));

    form.PushButton2->click();

    const QStringList reports = m_test->prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().startsWith(QStringLiteral("Overflow\r\nin Cadrillo2021/08/31.Form1.PushButton2_Click at line 116")),
             qPrintable(reports.first()));
    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    // Cut from second 3 of a 4-second file, so only the rest of the file is there.
    verifyPreview(scratch(QStringLiteral("out/A_Preview.mp3")), 128000, Fixtures::Describe(m_tone).seconds - 3);
}

void TestPreviewJob::startOfEachSong_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("song"); // "40 s": 440 Hz for 10 s, then 880 Hz; "pop" (flac): with choruses; "tone": 6 s
    QTest::addColumn<QString>("bar");    // the bar's text during the cut; "chorus": from a time in a chorus
    QTest::addColumn<QString>("details"); // of the closing message
    QTest::newRow("25% of a 40 s song starts at 10 s") << "25%" << "40 s" << "Processing: Song.mp3 from 0:10" << "";
    QTest::newRow("0:12, the same for every song") << "0:12" << "40 s" << "Processing: Song.mp3" << "";
    QTest::newRow("auto starts in a chorus") << "auto" << "pop" << "chorus" << "";
    QTest::newRow("auto in a FLAC master, decoded by SoX") << "auto" << "pop flac" << "chorus" << "";
    QTest::newRow("auto where nothing repeats, a quarter in")
        << "auto" << "tone" << "Processing: Song.mp3 from 0:01"
        << ": nothing repeats in it, so its preview starts a quarter in, at 0:01";
}

void TestPreviewJob::startOfEachSong()
{
    QFETCH(QString, typed);
    QFETCH(QString, song);
    QFETCH(QString, bar);
    QFETCH(QString, details);
    const QString source = scratch(song.endsWith(QLatin1String("flac")) ? QStringLiteral("in/Song.flac") : QStringLiteral("in/Song.mp3"));
    QDir().mkpath(scratch(QStringLiteral("in")));
    QList<Fixtures::Span> choruses;
    if (song == QLatin1String("40 s")) {
        QVERIFY(Fixtures::MakeTone(scratch(QStringLiteral("low.mp3")), 10));
        QVERIFY(Fixtures::MakeTone(scratch(QStringLiteral("high.mp3")), 30, 880));
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {scratch(QStringLiteral("low.mp3")), scratch(QStringLiteral("high.mp3")), source}), 0);
    } else if (song.startsWith(QLatin1String("pop"))) {
        const QString mp3 = scratch(QStringLiteral("pop.mp3"));
        choruses = Fixtures::MakeSong(mp3, Fixtures::PopSong());
        QVERIFY(!choruses.isEmpty());
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {mp3, source}), 0);
    } else {
        QVERIFY(QFile::copy(m_longTone, source));
    }
    ScriptedPrompts prompts;
    FakeControls controls(prompts);
    controls.rows = QStringList{source};
    controls.folder = scratch(QStringLiteral("out"));
    controls.start = typed;

    PreviewJob(controls).run();

    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().text, QStringLiteral("Done."));
    QCOMPARE(prompts.calls.first().details, details.isEmpty() ? QString() : source + details);
    const QString preview = scratch(QStringLiteral("out/Song_Preview.mp3"));
    verifyPreview(preview, 128000, 2);
    // The text the cut ran under, which the runner put back when it ended.
    const QString during = controls.bar.changes.at(controls.bar.changes.size() - 3).text;
    if (song == QLatin1String("40 s"))
        QVERIFY(Fixtures::RoughFrequency(preview, 0.2, 1.5) > 1.5 * Fixtures::RoughFrequency(scratch(QStringLiteral("low.mp3")), 0.2, 1.5));
    if (bar != QLatin1String("chorus")) {
        QCOMPARE(during, bar);
        return;
    }
    const QRegularExpressionMatch from =
        QRegularExpression(QStringLiteral("^Processing: Song\\.\\w+ from (\\d+):(\\d\\d)$")).match(during);
    QVERIFY2(from.hasMatch(), qPrintable(during));
    const double start = from.captured(1).toInt() * 60 + from.captured(2).toInt();
    QVERIFY2(std::any_of(choruses.begin(), choruses.end(),
                         [start](const Fixtures::Span &chorus) { return start >= chorus.from - 1 && start < chorus.to; }),
             qPrintable(during));
}

void TestPreviewJob::hostileFileNamesMakeTheirPreviews()
{
    const QStringList names{QStringLiteral("q\"uote"), QStringLiteral("a$(touch pwned)"), QStringLiteral("b`touch pwned2`"),
                            QStringLiteral("100% sure"), QStringLiteral("  two  blanks "), QStringLiteral("it's"),
                            QStringLiteral("Ünïcødé 音楽")};
    QStringList rows;
    for (const QString &name : names)
        rows << copyTone(QStringLiteral("music/") + name + QStringLiteral(".mp3"));
    Form1 &form = window(rows, scratch(QStringLiteral("out")), true, true, false);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    for (const QString &name : names)
        verifyPreview(scratch(QStringLiteral("music/") + name + QStringLiteral("_Preview.mp3")), 192000, 2);
    for (const QString &entry : Fixtures::FilesBelow(m_test->scratch()) + QDir::current().entryList())
        QVERIFY2(!QRegularExpression(QStringLiteral("(^|/)pwned2?$")).match(entry).hasMatch(), qPrintable(entry));
}

void TestPreviewJob::failedSourcesAreReported_data()
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

void TestPreviewJob::failedSourcesAreReported()
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

void TestPreviewJob::unwritableOutputFolderIsReported()
{
    // /proc takes no new files, not even from root.
    const QString a = copyTone(QStringLiteral("in/Song A.mp3"));
    Form1 &form = window({a}, QStringLiteral("/proc"), false, false, false);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n0 of 1 previews were made.\nNot made:\n")
                                   + a + QStringLiteral(": cannot create a file in /proc/: No such file or directory"));
}

void TestPreviewJob::missingSoxIsNamedWithItsPackage()
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

void TestPreviewJob::joinKeepsWhatWasMadeWhenACutFails_data()
{
    QTest::addColumn<bool>("sameRate");
    QTest::addColumn<int>("notesRow");
    QTest::newRow("128 kbps, second row unreadable") << false << 1;
    // The bit rate comes from the first row that can be probed.
    QTest::newRow("same bit rate, first row unreadable") << true << 0;
}

void TestPreviewJob::joinKeepsWhatWasMadeWhenACutFails()
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

void TestPreviewJob::failureKeepsTheEarlierOutput_data()
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

void TestPreviewJob::failureKeepsTheEarlierOutput()
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

void TestPreviewJob::nonRegularSourcesFailAtOnce_data()
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

void TestPreviewJob::nonRegularSourcesFailAtOnce()
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
void TestPreviewJob::sourceTruncatedWhileMeasuredIsNoCrash()
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

void TestPreviewJob::ratesMissingAt48000HzAreEncodedAt24000Hz_data()
{
    QTest::addColumn<int>("kbps");
    // At 48000 Hz LAME cannot go below 32 kbps, and has no 144 kbps.
    QTest::newRow("8 kbps") << 8;
    QTest::newRow("144 kbps") << 144;
}

void TestPreviewJob::ratesMissingAt48000HzAreEncodedAt24000Hz()
{
    QFETCH(int, kbps);
    Form1 &form = window({copyTone(QStringLiteral("in/A.mp3"))}, scratch(QStringLiteral("out")), false, false, false);
    form.Combo1->setCurrentIndex(form.Combo1->findText(QStringLiteral("%1 kbps").arg(kbps)));

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    const AudioFacts facts = Fixtures::Describe(scratch(QStringLiteral("out/A_Preview.mp3")));
    QCOMPARE(facts.bitRate, kbps * 1000);
    QCOMPARE(facts.sampleRate, 24000);
    QCOMPARE(facts.channels, 2);
}

void TestPreviewJob::relativeOutputFolderIsMadeAbsolute()
{
    // SoX runs a name that begins with "|" as a shell command.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_test->scratch()));
    const QString folder = QStringLiteral("|touch PWNED #");
    QVERIFY(QDir().mkpath(folder));
    window({copyTone(QStringLiteral("in/A.mp3")), copyTone(QStringLiteral("in/B.mp3"))}, folder, false, false, true)
        .PushButton2->click();
    QDir::setCurrent(previous);

    QCOMPARE(closingMessage(), QStringLiteral("Done."));
    QVERIFY(!QFile::exists(scratch(QStringLiteral("PWNED"))));
    verifyPreview(scratch(folder + QStringLiteral("/Joined_Preview.mp3")), 128000, 4, 3);
}

void TestPreviewJob::closingDuringARunStopsTheToolAndRemovesItsFiles_data()
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

void TestPreviewJob::closingDuringARunStopsTheToolAndRemovesItsFiles()
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

void TestPreviewJob::neverOverwritesASourceOfTheList_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("separate") << false;
    QTest::newRow("joined") << true;
}

void TestPreviewJob::neverOverwritesASourceOfTheList()
{
    QFETCH(bool, join);
    const QString a = copyTone(QStringLiteral("m/A.mp3"));
    const QString listedPreview = copyTone(QStringLiteral("m/A_Preview.mp3"), true);
    Form1 &form = window({a, listedPreview}, scratch(QStringLiteral("out")), false, true, join);

    form.PushButton2->click();

    QCOMPARE(Fixtures::Contents(listedPreview), Fixtures::Contents(m_highTone));
    QCOMPARE(Fixtures::Contents(a), Fixtures::Contents(m_tone));
    if (join) {
        // Joining needs no file of that name: A's preview goes elsewhere and both are joined.
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))),
                 (QStringList{"A.mp3", "A_Preview.mp3", "Joined_Preview.mp3"}));
        QVERIFY(pitchRatioOfHalves(scratch(QStringLiteral("m/Joined_Preview.mp3")), 2) > 1.5);
    } else {
        QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 2 previews were made.\nNot made:\n") + a
                                       + QStringLiteral(": its preview ") + listedPreview
                                       + QStringLiteral(" would replace a file of the list, so nothing was written"));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))),
                 (QStringList{"A.mp3", "A_Preview.mp3", "A_Preview_Preview.mp3"}));
    }
}

void TestPreviewJob::listedJoinedFileIsNeverReplaced()
{
    const QString a = copyTone(QStringLiteral("m/A.mp3"));
    const QString joined = copyTone(QStringLiteral("m/Joined_Preview.mp3"), true);
    Form1 &form = window({a, joined}, scratch(QStringLiteral("out")), false, true, true);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n0 of 2 previews were made.\nNot made:\n") + joined
                                   + QStringLiteral(": it is a file of the list, so the previews were not joined"));
    QCOMPARE(Fixtures::Contents(joined), Fixtures::Contents(m_highTone));
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))), (QStringList{"A.mp3", "Joined_Preview.mp3"}));
}

void TestPreviewJob::sameBaseNamesBothReachTheJoin_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("joined: both previews in order") << true;
    QTest::newRow("separate: the later gets a free name") << false;
}

void TestPreviewJob::sameBaseNamesBothReachTheJoin()
{
    QFETCH(bool, join);
    const QString first = copyTone(QStringLiteral("one/x.mp3"));
    const QString second = copyTone(QStringLiteral("two/x.mp3"), true);
    Form1 &form = window({first, second}, scratch(QStringLiteral("out")), false, false, join);

    form.PushButton2->click();

    if (join) {
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList{"Joined_Preview.mp3"});
        verifyPreview(scratch(QStringLiteral("out/Joined_Preview.mp3")), 128000, 4, 3);
        QVERIFY(pitchRatioOfHalves(scratch(QStringLiteral("out/Joined_Preview.mp3")), 2) > 1.5);
    } else {
        const QString renamed = scratch(QStringLiteral("out/x_Preview (2).mp3"));
        QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n2 of 2 previews were made.\n1 of them got a free name, "
                                                  "as an earlier file of the list has the same name.\n"
                                                  "Saved under a free name:\n")
                                       + second + QStringLiteral(": saved as ") + renamed);
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), (QStringList{"x_Preview (2).mp3", "x_Preview.mp3"}));
        const double low = Fixtures::RoughFrequency(scratch(QStringLiteral("out/x_Preview.mp3")), 0.2, 1.5);
        QVERIFY(Fixtures::RoughFrequency(renamed, 0.2, 1.5) > 1.5 * low);
    }
}

void TestPreviewJob::previewsKeepTheirSongsTags_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<QStringList>("songs");
    QTest::addColumn<QString>("message"); // <out>: the output folder
    QTest::newRow("separate") << false << QStringList{"in/A.mp3", "in/B.mp3"} << "Done.";
    QTest::newRow("joined: what all share") << true << QStringList{"in/A.mp3", "in/B.mp3"} << "Done.";
    QTest::newRow("separate: tags TagLib cannot read")
        << false << QStringList{"in/C.au"}
        << "Done.\n\n1 of 1 previews were made.\nTags could not be copied into 1 of the files made.\n"
           "<out>/C_Preview.mp3: tags not copied: TagLib cannot read tags from C.au";
}

void TestPreviewJob::previewsKeepTheirSongsTags()
{
    QFETCH(bool, join);
    QFETCH(QStringList, songs);
    QFETCH(QString, message);
    QStringList rows;
    for (const QString &song : songs)
        rows << taggedSong(song);
    Form1 &form = window(rows, scratch(QStringLiteral("out")), false, false, join);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), message.replace(QStringLiteral("<out>"), scratch(QStringLiteral("out"))));
    // Besides the tags, every file made carries Lumbrisk's mark, naming what it was made of,
    // so that lumbrisk-cli's folder scans leave it out.
    const auto withoutMark = [](TagFixtures::Tags tags, const QString &madeOf) {
        const QStringList mark = tags.text.take(QStringLiteral("LUMBRISK"));
        const bool marked = mark.size() == 1 && mark.constFirst().startsWith(QStringLiteral("2 source=") + madeOf + QLatin1Char(' '));
        return marked ? std::optional(tags.text) : std::nullopt;
    };
    if (join) {
        const TagFixtures::Tags joined = TagFixtures::Read(scratch(QStringLiteral("out/Joined_Preview.mp3")));
        TagFixtures::Text sampler = TagFixtures::Album(); // named after the album its songs share
        sampler.insert(QStringLiteral("TITLE"), sampler.value(QStringLiteral("ALBUM")));
        QCOMPARE(withoutMark(joined, scratch(QStringLiteral("in/"))), std::optional(sampler));
        QCOMPARE(joined.pictures, QList<QByteArray>{TagFixtures::Cover()});
        return;
    }
    for (const QString &row : std::as_const(rows)) {
        const QString preview = PreviewCommands::OutputPath(scratch(QStringLiteral("out")), row);
        QCOMPARE(withoutMark(TagFixtures::Read(preview), row), std::optional(TagFixtures::Read(row).text));
    }
}

void TestPreviewJob::commitReplacesOnlyTheEarlierFile_data()
{
    QTest::addColumn<bool>("earlier");         // a file holds the name when the run names it
    QTest::addColumn<QStringList>("meanwhile"); // files that come to these names before the commit
    QTest::addColumn<QString>("saved");
    QTest::newRow("a free name") << false << QStringList() << "A_Preview.mp3";
    QTest::newRow("an earlier run's preview is replaced") << true << QStringList() << "A_Preview.mp3";
    // Another run writing into the same folder.
    QTest::newRow("one that came meanwhile is kept") << false << QStringList{"A_Preview.mp3"} << "A_Preview (2).mp3";
    QTest::newRow("one that replaced the earlier is kept") << true << QStringList{"A_Preview.mp3"} << "A_Preview (2).mp3";
    QTest::newRow("the next free name")
        << false << QStringList{"A_Preview.mp3", "A_Preview (2).mp3"} << "A_Preview (3).mp3";
}

void TestPreviewJob::commitReplacesOnlyTheEarlierFile()
{
    QFETCH(bool, earlier);
    QFETCH(QStringList, meanwhile);
    QFETCH(QString, saved);
    const QString out = scratch(QStringLiteral("out/"));
    const QString planned = out + QStringLiteral("A_Preview.mp3");
    if (earlier)
        QVERIFY(Fixtures::WriteFile(planned, "earlier"));
    PreviewFiles::TemporaryOutput output(planned, PreviewFiles::EarlierFile::At(planned));
    QVERIFY(Fixtures::WriteFile(output.path(), "new"));
    // Written, then renamed into place, as another run saves its preview.
    const QString came = out + QStringLiteral("came");
    for (const QString &name : meanwhile) {
        QVERIFY(Fixtures::WriteFile(came, "another run's"));
        QCOMPARE(::rename(QFile::encodeName(came).constData(), QFile::encodeName(out + name).constData()), 0);
    }

    // Through the batch's result, which tells both names when the planned one was taken.
    PreviewResult result;
    result.preview = planned;
    QCOMPARE(result.commit(output), QString());

    QCOMPARE(output.finalPath(), out + saved);
    QCOMPARE(result.preview, out + saved);
    QCOMPARE(result.planned, meanwhile.isEmpty() ? QString() : planned);
    QCOMPARE(Fixtures::Contents(out + saved), QByteArray("new"));
    for (const QString &name : meanwhile)
        QCOMPARE(Fixtures::Contents(out + name), QByteArray("another run's"));
    QStringList names = meanwhile;
    if (!names.contains(saved))
        names << saved;
    names.sort();
    QCOMPARE(Fixtures::FilesBelow(out), names);
}

void TestPreviewJob::previewOfAnotherRunIsKept_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("separate") << false;
    QTest::newRow("joined") << true;
}

// Another run saves a preview of the same name while this one cuts: the window keeps it and
// says under which name its own went.
void TestPreviewJob::previewOfAnotherRunIsKept()
{
    QFETCH(bool, join);
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString planned = scratch(join ? QStringLiteral("out/Joined_Preview.mp3") : QStringLiteral("out/A_Preview.mp3"));
    const QString bin = scratch(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    Fixtures::WriteScript(bin, QStringLiteral("sox"), QStringLiteral(
        "case \"$1\" in -h) ;; *) [ -e '%1' ] || echo another > '%1';; esac\nexec '%2' \"$@\"")
        .arg(planned, QStandardPaths::findExecutable(QStringLiteral("sox"))));
    qputenv("PATH", bin.toUtf8() + ':' + qgetenv("PATH"));
    window({a}, scratch(QStringLiteral("out")), false, false, join).PushButton2->click();

    const QString saved = Main::StripExtension(planned) + QStringLiteral(" (2).mp3");
    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 1 previews were made.\n1 of them got a free name, as a file of "
                                              "that name appeared during the run.\nSaved under a free name:\n")
                                   + (join ? planned : a) + QStringLiteral(": saved as ") + saved);
    QCOMPARE(Fixtures::Contents(planned), QByteArray("another\n"));
    verifyPreview(saved, 128000, 2, join ? 2 : 1);
}

void TestPreviewJob::filesWithoutTheMarkAreKept_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<bool>("ours"); // the file under the name is a preview an earlier run made
    QTest::newRow("a user's file, separate") << false << false;
    QTest::newRow("a user's file, joined") << true << false;
    QTest::newRow("an earlier preview, separate") << false << true;
    QTest::newRow("an earlier preview, joined") << true << true;
}

// A file under the preview's name is replaced only when it carries Lumbrisk's mark.
void TestPreviewJob::filesWithoutTheMarkAreKept()
{
    QFETCH(bool, join);
    QFETCH(bool, ours);
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString out = scratch(QStringLiteral("out"));
    const QString planned = out + (join ? QStringLiteral("/Joined_Preview.mp3") : QStringLiteral("/A_Preview.mp3"));
    QVERIFY(QDir().mkpath(out));
    Form1 &form = window({a}, out, false, false, join);
    if (ours)
        form.PushButton2->click();
    else
        QVERIFY(QFile::copy(m_tone, planned));
    const QByteArray before = Fixtures::Contents(planned);

    form.PushButton2->click();

    const QString saved = Main::StripExtension(planned) + QStringLiteral(" (2).mp3");
    if (ours) {
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QVERIFY(!QFile::exists(saved));
        return;
    }
    QCOMPARE(Fixtures::Contents(planned), before);
    verifyPreview(saved, 128000, 2, join ? 2 : 1);
    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 1 previews were made.\n1 of them got a free name, as a file "
                                              "without Lumbrisk's mark (a song, or a file of your own) holds the name, and is "
                                              "kept.\nSaved under a free name:\n")
                                   + (join ? planned : a) + QStringLiteral(": saved as ") + saved + QStringLiteral(", as ")
                                   + planned + QStringLiteral(" has no Lumbrisk mark and was kept"));
}

QTEST_MAIN(TestPreviewJob)
#include "tst_previewjob.moc"
