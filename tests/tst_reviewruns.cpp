// lumbrisk-cli's runs for a review page, as built: the JSON report's candidates and doubt,
// the page of a dry run's plan, a saved list of starts that pins its songs only, and the
// night after a pinned song changed and another was withdrawn.

#include "audiofixtures.h"
#include "reviewhtml.h"
#include "smalldisk.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString program()
{
    return qEnvironmentVariable("LUMBRISK_BUILD_DIR") + QStringLiteral("/lumbrisk-cli");
}

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program(), arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

class TestReviewRuns : public QObject {
    Q_OBJECT

private slots:
    void jsonReportListsCandidatesAndDoubt_data();
    void jsonReportListsCandidatesAndDoubt();
    void dryRunWritesThePageOfItsPlan();
    void pageReplacesWhatHoldsItsName_data();
    void pageReplacesWhatHoldsItsName();
    void savedListPinsItsSongsOnly();
    void nightlyRunFlagsChangedSongsAndOrphans();

private:
    QTemporaryDir m_dir;
};

void TestReviewRuns::jsonReportListsCandidatesAndDoubt_data()
{
    QTest::addColumn<bool>("popSong");
    QTest::addColumn<bool>("doubtful");
    QTest::addColumn<int>("fewestCandidates");
    QTest::addColumn<QString>("reason"); // a pattern

    QTest::newRow("a chorus played three times") << true << false << 2 << QStringLiteral("^chorus, on (the bar|a beat)");
    QTest::newRow("noise: nothing repeats") << false << true << 0 << QStringLiteral("^nothing repeats: a quarter in$");
}

void TestReviewRuns::jsonReportListsCandidatesAndDoubt()
{
    QFETCH(bool, popSong);
    QFETCH(bool, doubtful);
    QFETCH(int, fewestCandidates);
    const QString song = m_dir.filePath(popSong ? QStringLiteral("Pop.mp3") : QStringLiteral("Noise.mp3"));
    if (popSong)
        QVERIFY(!Fixtures::MakeSong(song, Fixtures::PopSong()).isEmpty());
    else
        QVERIFY(Fixtures::MakeSound(song, {"synth", "60", "pinknoise", "gain", "-12"}));

    const Run made = run({"-s", "auto", "-d", "10", "--json", "-o", "json", song}, m_dir.path());
    QCOMPARE(made.status, 0);
    const QJsonObject preview = QJsonDocument::fromJson(made.out).object().value("previews").toArray().at(0).toObject();
    QCOMPARE(preview.value("doubtful").toBool(true), doubtful);
    QFETCH(QString, reason);
    QVERIFY2(QRegularExpression(reason).match(preview.value("reason").toString()).hasMatch(), made.out.constData());
    const QJsonArray candidates = preview.value("candidates").toArray();
    QVERIFY(preview.contains("candidates"));
    QVERIFY2(candidates.size() >= fewestCandidates, made.out.constData());
    for (const QJsonValue &value : candidates) {
        const QJsonObject candidate = value.toObject();
        QVERIFY(candidate.value("start").toDouble(-1) >= 0);
        QVERIFY(candidate.value("section").toInt(-1) >= 0 && candidate.value("section").toInt() < 3);
        QVERIFY(candidate.value("repeats").toInt() >= 2);
        QVERIFY(candidate.contains("score"));
    }
    // Kept by the next run, its row still shades the chorus, as its preview's mark records it.
    const QString page = m_dir.filePath(QStringLiteral("json/review.html"));
    QCOMPARE(run({"--update", "-s", "auto", "-d", "10", "-o", "json", "--review", page, song}, m_dir.path()).status, 0);
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(html.contains(QStringLiteral("kept: up to date")));
    QCOMPARE(html.contains(QStringLiteral("class=\"chorus\"")), popSong);
    // The start taken is one of them.
    if (fewestCandidates > 0) {
        const double start = preview.value("start").toDouble();
        QVERIFY(std::any_of(candidates.cbegin(), candidates.cend(),
                            [start](const QJsonValue &c) { return std::abs(c.toObject().value("start").toDouble() - start) < 2.5; }));
    }
}

// The page of the plan: before anything is encoded, each song's waveform, its candidates
// and its start, with nothing made.
void TestReviewRuns::dryRunWritesThePageOfItsPlan()
{
    const QString song = m_dir.filePath(QStringLiteral("Plan.mp3"));
    QVERIFY(!Fixtures::MakeSong(song, Fixtures::PopSong()).isEmpty());
    const QString tone = m_dir.filePath(QStringLiteral("Tone.mp3"));
    QVERIFY(Fixtures::MakeTone(tone, 40, 440));
    const QString page = m_dir.filePath(QStringLiteral("plan/review.html"));
    const QString output = m_dir.filePath(QStringLiteral("plan/previews"));

    const Run planned = run({"--dry-run", "-s", "auto", "-d", "10", "--review", page, "-o", output, song}, m_dir.path());
    QCOMPARE(planned.status, 0);
    QVERIFY(!QFileInfo::exists(output));
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    file.close();
    QVERIFY(html.contains(QStringLiteral("1 planned")));
    QVERIFY(html.contains(QStringLiteral("<path class=\"outline\"")));
    QVERIFY(html.count(QStringLiteral("data-role=\"candidate\"")) >= 2);
    QVERIFY(!ReviewHtml::RoleAttribute(html, QStringLiteral("start"), QStringLiteral("data-start")).isEmpty());

    // A song the search does not look into gets its picture from a decode of its own.
    QVERIFY(QFile::remove(page));
    QCOMPARE(run({"--dry-run", "-s", "5", "--review", page, "-o", output, tone}, m_dir.path()).status, 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString fixed = QString::fromUtf8(file.readAll());
    QVERIFY(fixed.contains(QStringLiteral("<path class=\"outline\"")));
    QCOMPARE(ReviewHtml::RoleAttribute(fixed, QStringLiteral("start"), QStringLiteral("data-start")), QStringLiteral("5"));
}

void TestReviewRuns::pageReplacesWhatHoldsItsName_data()
{
    QTest::addColumn<QString>("held"); // what the page's name holds before the run
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // a pattern for standard error
    // Planted in a shared folder: the song it points to must stay as it is.
    QTest::newRow("a link to a song outside the run") << "link" << 0 << "^$";
    // In the words a preview has for it; the system's are "Unknown error".
    QTest::newRow("a full disk") << "full disk" << 1
                                 << "^lumbrisk-cli: the review page .+/review.html cannot be written: the disk is full: .+ has 0 KB free\n$";
}

void TestReviewRuns::pageReplacesWhatHoldsItsName()
{
    QFETCH(QString, held);
    QFETCH(int, status);
    QFETCH(QString, error);
    const QString folder = m_dir.filePath(QStringLiteral("held/") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    const QString tone = m_dir.filePath(QStringLiteral("Held.mp3"));
    QVERIFY(QFileInfo::exists(tone) || Fixtures::MakeTone(tone, 5, 440));
    const QString page = folder + QStringLiteral("/review.html");
    const QString other = m_dir.filePath(QStringLiteral("other.mp3"));
    std::unique_ptr<Fixtures::SmallDisk> disk;
    if (held == QLatin1String("link")) {
        QVERIFY(QFile::copy(tone, other) || QFileInfo::exists(other));
        QVERIFY(QFile::link(other, page));
    } else {
        if (geteuid() != 0)
            QSKIP("A full disk is made by mounting a small tmpfs, which needs root.");
        disk = std::make_unique<Fixtures::SmallDisk>(folder, QStringLiteral("64k"));
        QVERIFY(disk->mounted() && disk->fill());
    }

    const Run result = run({"--dry-run", "-q", "-s", "1", "--review", page, tone}, m_dir.path());
    QCOMPARE(result.status, status);
    QVERIFY2(QRegularExpression(error).match(QString::fromUtf8(result.err)).hasMatch(), result.err.constData());
    if (held == QLatin1String("link")) {
        struct stat name {};
        QCOMPARE(::lstat(QFile::encodeName(page).constData(), &name), 0);
        QVERIFY(S_ISREG(name.st_mode));
        QFile song(other);
        QFile original(tone);
        QVERIFY(song.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QVERIFY(song.readAll() == original.readAll());
    } else {
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"filler"});
    }
}

// The nightly way: the saved list beside the page, the run's FILE arguments; a song the
// list names takes its row, every other one the command line's start.
void TestReviewRuns::savedListPinsItsSongsOnly()
{
    const QString folder = m_dir.filePath(QStringLiteral("nightly"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/songs")));
    for (const char *name : {"songs/Listed, \"1\".mp3", "songs/Other.mp3"})
        QVERIFY(Fixtures::MakeTone(folder + QLatin1Char('/') + QLatin1String(name), 12));
    QVERIFY(Fixtures::WriteFile(folder + QStringLiteral("/starts.csv"),
                                "file,start,duration\r\n\"songs/Listed, \"\"1\"\".mp3\",7.25,3\r\n"));
    const Run made = run({"--starts", "starts.csv", "-s", "2", "-d", "4", "--json", "-o", "out", "songs/Other.mp3",
                          "songs/Listed, \"1\".mp3"},
                         folder);
    QCOMPARE(made.status, 0);
    const QJsonArray previews = QJsonDocument::fromJson(made.out).object().value("previews").toArray();
    QCOMPARE(previews.size(), 2);
    QCOMPARE(previews.at(0).toObject().value("start").toDouble(), 2.0);
    QCOMPARE(previews.at(1).toObject().value("start").toDouble(), 7.25);
    // Each as long as its row or the command line says, within what LAME pads.
    const double other = Fixtures::Describe(folder + QStringLiteral("/out/Other_Preview.mp3")).seconds;
    const double listed = Fixtures::Describe(folder + QStringLiteral("/out/Listed, \"1\"_Preview.mp3")).seconds;
    QVERIFY2(other >= 4 && other <= 4 + 2 * Fixtures::FrameSeconds, qPrintable(QString::number(other)));
    QVERIFY2(listed >= 3 && listed <= 3 + 2 * Fixtures::FrameSeconds, qPrintable(QString::number(listed)));
}

// A night after a song pinned by the list was changed and another withdrawn: the pinned
// row is flagged, the withdrawn song's preview listed as an orphan and left where it is,
// its row of the list left out; a kept WAV's row still shows its song's waveform.
void TestReviewRuns::nightlyRunFlagsChangedSongsAndOrphans()
{
    const QString folder = m_dir.filePath(QStringLiteral("nights"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/songs")));
    QVERIFY(Fixtures::MakeTone(folder + QStringLiteral("/songs/Pinned.mp3"), 12, 440));
    QVERIFY(Fixtures::MakeTone(folder + QStringLiteral("/songs/Withdrawn.mp3"), 12, 660));
    QVERIFY(Fixtures::MakeSound(folder + QStringLiteral("/songs/Kept.wav"), {"synth", "12", "sine", "330", "tremolo", "1", "90"}));
    QVERIFY(Fixtures::WriteFile(folder + QStringLiteral("/starts.csv"), "songs/Pinned.mp3,2.5\nsongs/Withdrawn.mp3,1\n"));
    const QStringList night{"--starts", "starts.csv", "--update", "-s", "1", "-d", "3", "--json", "-o", "out",
                            "--review", "review.html", "songs"};
    QCOMPARE(run(night, folder).status, 0);
    const QString orphan = folder + QStringLiteral("/out/Withdrawn_Preview.mp3");
    const QByteArray orphanBytes = Fixtures::Contents(orphan);
    QVERIFY(QFile::remove(folder + QStringLiteral("/songs/Withdrawn.mp3")));
    QFile pinned(folder + QStringLiteral("/songs/Pinned.mp3"));
    QVERIFY(pinned.open(QIODevice::ReadWrite) && pinned.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)),
                                                                    QFileDevice::FileModificationTime));
    pinned.close();

    const Run next = run(night, folder);
    QCOMPARE(next.status, 0);
    const QJsonObject report = QJsonDocument::fromJson(next.out).object();
    const QJsonObject row = report.value("previews").toArray().at(1).toObject();
    QCOMPARE(row.value("start_from").toString(), QStringLiteral("list"));
    QCOMPARE(row.value("start").toDouble(), 2.5);
    QVERIFY(row.value("pinned_song_changed").toBool());
    const QJsonArray orphans = report.value("orphans").toArray();
    QCOMPARE(orphans.size(), 1);
    QCOMPARE(orphans.at(0).toObject().value("preview").toString(), orphan);
    QCOMPARE(orphans.at(0).toObject().value("source").toString(), folder + QStringLiteral("/songs/Withdrawn.mp3"));
    QCOMPARE(Fixtures::Contents(orphan), orphanBytes);

    QFile page(folder + QStringLiteral("/review.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QVERIFY(html.contains(QStringLiteral("<section class=\"row pinned song-changed made\"")));
    const QRegularExpression kept(QStringLiteral("<section class=\"row kept\"[^>]*Kept\\.wav\"[\\s\\S]*?</section>"));
    QVERIFY2(kept.match(html).captured(0).contains(QStringLiteral("<path class=\"outline\"")), qPrintable(html));
    QVERIFY(html.contains(QStringLiteral("<li data-role=\"orphan\"><span class=\"path\">%1</span>").arg(orphan)));
}

QTEST_GUILESS_MAIN(TestReviewRuns)
#include "tst_reviewruns.moc"
