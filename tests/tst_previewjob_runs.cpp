// Runs of "Start Creating" that make their previews, with the real SoX and FFmpeg.

#include "audiofixtures.h"
#include "fakecontrols.h"
#include "platform/progressbar.h"
#include "preview/previewcommands.h"
#include "preview/previewjob.h"
#include "previewjobfixture.h"
#include "tagfixtures.h"

#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class TestPreviewJobRuns : public PreviewJobFixture {
    Q_OBJECT

private slots:
    void makesPreviewsEndToEnd_data();
    void makesPreviewsEndToEnd();
    void showsProgressAndReadsChoicesAfreshWithoutTheWindow();
    void checksBeforeStarting_data();
    void checksBeforeStarting();
    void secondClickDuringARunDoesNothing();
    void hostileFileNamesMakeTheirPreviews();
    void previewsKeepTheirSongsTags_data();
    void previewsKeepTheirSongsTags();
};

void TestPreviewJobRuns::makesPreviewsEndToEnd_data()
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

void TestPreviewJobRuns::makesPreviewsEndToEnd()
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

void TestPreviewJobRuns::showsProgressAndReadsChoicesAfreshWithoutTheWindow()
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

void TestPreviewJobRuns::checksBeforeStarting_data()
{
    QTest::addColumn<bool>("withRow");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list") << false << "No files added.";
    // Checked even when saving beside the sources.
    QTest::newRow("output folder missing") << true << "Folder does not exist. Please select another folder.";
}

void TestPreviewJobRuns::checksBeforeStarting()
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

void TestPreviewJobRuns::secondClickDuringARunDoesNothing()
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

void TestPreviewJobRuns::hostileFileNamesMakeTheirPreviews()
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

void TestPreviewJobRuns::previewsKeepTheirSongsTags_data()
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

void TestPreviewJobRuns::previewsKeepTheirSongsTags()
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

QTEST_MAIN(TestPreviewJobRuns)
#include "tst_previewjob_runs.moc"
