// The preview job's command lines and output names, and where and how each preview is cut.

#include "audiofixtures.h"
#include "fakecontrols.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/previewjob.h"
#include "previewjobfixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using Fixtures::AudioFacts;

class TestPreviewJobCommands : public PreviewJobFixture {
    Q_OBJECT

private slots:
    void startAndDurationTexts_data();
    void startAndDurationTexts();
    void workedExampleCommandLines();
    void outputNames_data();
    void outputNames();
    void startBeyondSixteenBitsIsReportedAndThreeUsed();
    void startOfEachSong_data();
    void startOfEachSong();
    void ratesMissingAt48000HzAreEncodedAt24000Hz_data();
    void ratesMissingAt48000HzAreEncodedAt24000Hz();
    void relativeOutputFolderIsMadeAbsolute();
};

void TestPreviewJobCommands::startAndDurationTexts_data()
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

void TestPreviewJobCommands::startAndDurationTexts()
{
    QFETCH(QString, typed);
    QFETCH(QString, passed);
    QCOMPARE(PreviewCommands::SecondsText(typed), passed);
    QVERIFY_THROWS_EXCEPTION(AppError, PreviewCommands::SecondsText(QStringLiteral("40000")));
}

void TestPreviewJobCommands::workedExampleCommandLines()
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

void TestPreviewJobCommands::outputNames_data()
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

void TestPreviewJobCommands::outputNames()
{
    QFETCH(QString, folder);
    QFETCH(QString, source);
    QFETCH(QString, preview);
    QFETCH(QString, joined);
    QCOMPARE(PreviewCommands::OutputPath(folder, source), preview);
    QCOMPARE(PreviewCommands::JoinedPath(folder), joined);
}

void TestPreviewJobCommands::startBeyondSixteenBitsIsReportedAndThreeUsed()
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

void TestPreviewJobCommands::startOfEachSong_data()
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

void TestPreviewJobCommands::startOfEachSong()
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

void TestPreviewJobCommands::ratesMissingAt48000HzAreEncodedAt24000Hz_data()
{
    QTest::addColumn<int>("kbps");
    // At 48000 Hz LAME cannot go below 32 kbps, and has no 144 kbps.
    QTest::newRow("8 kbps") << 8;
    QTest::newRow("144 kbps") << 144;
}

void TestPreviewJobCommands::ratesMissingAt48000HzAreEncodedAt24000Hz()
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

void TestPreviewJobCommands::relativeOutputFolderIsMadeAbsolute()
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

QTEST_MAIN(TestPreviewJobCommands)
#include "tst_previewjob_commands.moc"
