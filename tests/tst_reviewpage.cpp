// The review page's plain parts: the candidates it offers (which, on which bar, their m:ss),
// the beats it writes, its doubt, the command that remakes the previews whose starts were
// fixed, the data attributes scripts rely on, and a page that needs nothing beside itself.
// Runs of lumbrisk-cli that write it: tst_reviewruns; its script, driven in Chromium:
// tests/web/review_page.sh.

#include "reviewhtml.h"

#include "cli/reviewbeats.h"
#include "cli/reviewcommand.h"
#include "cli/reviewpage.h"
#include "cli/reviewrow.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <optional>
#include <random>

namespace {

// The beats a page's text gives back, read as its script reads them.
std::vector<double> beatsOf(const QString &text)
{
    std::vector<double> beats;
    for (const QString &stretch : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = stretch.split(QRegularExpression(QStringLiteral("[+*]")));
        const int count = parts.size() == 3 ? parts.at(2).toInt() : 1;
        for (int beat = 0; beat < count; ++beat)
            beats.push_back(parts.at(0).toDouble() + beat * (count > 1 ? parts.at(1).toDouble() : 0));
    }
    return beats;
}

ReviewPage::Row songRow()
{
    ReviewPage::Row row;
    row.source = QStringLiteral("/music/Album/Song.mp3");
    row.preview = QStringLiteral("/shop/previews/Song_Preview.mp3");
    row.made = true;
    row.song.seconds = 200;
    row.start = 63.5;
    row.length = 30;
    row.startFrom = ReviewPage::StartFrom::Chorus;
    row.candidates = {{63.5, 0, 3, 0.9, QStringLiteral("1:03")}, {120, 1, 2, 0.6, QStringLiteral("2:00")}};
    return row;
}

} // namespace

class TestReviewPage : public QObject {
    Q_OBJECT

private slots:
    void offersCandidatesOnTheBar_data();
    void offersCandidatesOnTheBar();
    void beatsAreWrittenShortAndNearEnough_data();
    void beatsAreWrittenShortAndNearEnough();
    void doubtfulUnlessPinned_data();
    void doubtfulUnlessPinned();
    void remakesWithTheSavedStarts_data();
    void remakesWithTheSavedStarts();
    void truePeakIsMeasuredOrNone_data();
    void truePeakIsMeasuredOrNone();
    void rowsTellWhereTheirStartCameFrom_data();
    void rowsTellWhereTheirStartCameFrom();
    void rowCarriesTheHooksOfItsEditor();
    void namesShowTheirControls_data();
    void namesShowTheirControls();
    void pageNeedsNothingBesideItself();
};

void TestReviewPage::offersCandidatesOnTheBar_data()
{
    QTest::addColumn<QList<double>>("found");   // the search's candidates' starts
    QTest::addColumn<QList<int>>("sections");   // and their sections
    QTest::addColumn<QList<double>>("downbeats");
    QTest::addColumn<double>("song");           // seconds; 0: not known
    QTest::addColumn<QList<double>>("offered");
    QTest::addColumn<QList<int>>("offeredSections");
    QTest::addColumn<QStringList>("clocks");

    const QList<double> none;
    QTest::newRow("every chorus, in the order played")
        << QList<double>{90, 30, 150} << QList<int>{0, 0, 0} << none << 240.0 << QList<double>{30, 90, 150}
        << QList<int>{0, 0, 0} << QStringList{"0:30", "1:30", "2:30"};
    QTest::newRow("two other sections, not a fourth")
        << QList<double>{30, 60, 100, 130} << QList<int>{0, 1, 2, 3} << none << 240.0 << QList<double>{30, 60, 100}
        << QList<int>{0, 1, 2} << QStringList{"0:30", "1:00", "1:40"};
    // Downbeats two seconds apart: a candidate moves to the nearest within a second.
    QTest::newRow("onto the nearest bar") << QList<double>{31.3} << QList<int>{0} << QList<double>{28, 30, 32, 34}
                                          << 240.0 << QList<double>{32} << QList<int>{0} << QStringList{"0:32"};
    QTest::newRow("not onto a bar far off") << QList<double>{20} << QList<int>{0} << QList<double>{10, 12} << 240.0
                                            << QList<double>{20} << QList<int>{0} << QStringList{"0:20"};
    QTest::newRow("a late one moved back to end with the song")
        << QList<double>{85} << QList<int>{0} << none << 100.0 << QList<double>{70} << QList<int>{0} << QStringList{"1:10"};
    QTest::newRow("a song shorter than the preview from its beginning")
        << QList<double>{5} << QList<int>{0} << none << 20.0 << QList<double>{0} << QList<int>{0} << QStringList{"0:00"};
    QTest::newRow("one moment, two sections: the chorus's")
        << QList<double>{60, 60.4} << QList<int>{1, 0} << none << 240.0 << QList<double>{60.4} << QList<int>{0}
        << QStringList{"1:00"};
    QTest::newRow("length unknown: where found, to the millisecond")
        << QList<double>{512.34567} << QList<int>{0} << none << 0.0 << QList<double>{512.346} << QList<int>{0}
        << QStringList{"8:32"};
}

void TestReviewPage::offersCandidatesOnTheBar()
{
    QFETCH(QList<double>, found);
    QFETCH(QList<int>, sections);
    QFETCH(QList<double>, downbeats);
    QFETCH(double, song);
    QFETCH(QList<double>, offered);
    QFETCH(QList<int>, offeredSections);
    QFETCH(QStringList, clocks);

    Chorus::Start start;
    start.fromChorus = true;
    start.downbeats.assign(downbeats.cbegin(), downbeats.cend());
    for (qsizetype index = 0; index < found.size(); ++index)
        start.candidates.push_back({found.at(index), sections.at(index), 2, 0.5});
    const std::vector<ReviewCandidates::Shown> shown =
        ReviewCandidates::Of(start, song > 0 ? std::optional(song) : std::nullopt, 30);
    QList<double> seconds;
    QList<int> shownSections;
    QStringList shownClocks;
    for (const ReviewCandidates::Shown &candidate : shown) {
        seconds.append(candidate.seconds);
        shownSections.append(candidate.section);
        shownClocks.append(candidate.clock);
    }
    QCOMPARE(seconds, offered);
    QCOMPARE(shownSections, offeredSections);
    QCOMPARE(shownClocks, clocks);
}

void TestReviewPage::beatsAreWrittenShortAndNearEnough_data()
{
    QTest::addColumn<QList<double>>("beats");
    QTest::addColumn<int>("mostStretches");

    const auto steady = [](double first, double period, double until, double drift = 0, double jitter = 0) {
        std::mt19937 random(7);
        std::uniform_real_distribution<double> off(-jitter, jitter);
        QList<double> beats;
        for (double beat = first; beat < until; beat += period, period += drift)
            beats.append(beat + off(random));
        return beats;
    };
    QTest::newRow("none") << QList<double>() << 0;
    QTest::newRow("one") << QList<double>{12.5} << 1;
    QTest::newRow("four minutes at 120 bpm") << steady(0.3, 0.5, 240) << 1;
    // Seven hundred beats at most a stretch, so that rounding its period stays within reach.
    QTest::newRow("an hour at 120 bpm") << steady(0.3, 0.5, 3600) << 11;
    QTest::newRow("a tempo that drifts") << steady(0.3, 0.5, 240, 0.0002) << 30;
    QTest::newRow("each beat a few milliseconds off") << steady(0.3, 0.5, 240, 0, 0.005) << 25;
    QTest::newRow("a break without beats") << steady(0.3, 0.5, 60) + steady(75.1, 0.48, 140) << 2;
}

void TestReviewPage::beatsAreWrittenShortAndNearEnough()
{
    QFETCH(QList<double>, beats);
    QFETCH(int, mostStretches);
    const std::vector<double> given(beats.cbegin(), beats.cend());
    const QString text = ReviewBeats::Text(given);
    const std::vector<double> read = beatsOf(text);
    QCOMPARE(read.size(), given.size());
    for (size_t beat = 0; beat < given.size(); ++beat)
        QVERIFY2(std::abs(read[beat] - given[beat]) <= ReviewBeats::Tolerance,
                 qPrintable(QStringLiteral("beat %1: %2 read as %3").arg(beat).arg(given[beat]).arg(read[beat])));
    QVERIFY2(text.count(QLatin1Char(' ')) + (text.isEmpty() ? 0 : 1) <= mostStretches, qPrintable(text));
}

void TestReviewPage::doubtfulUnlessPinned_data()
{
    QTest::addColumn<bool>("narrow");
    QTest::addColumn<bool>("fromChorus");
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<bool>("doubtful");

    QTest::newRow("a clear chorus") << false << true << false << false;
    QTest::newRow("a narrow win") << true << true << false << true;
    QTest::newRow("nothing repeats") << false << false << false << true;
    // The list's row is a person's choice, or one they let stand.
    QTest::newRow("a narrow win, pinned since") << true << true << true << false;
    QTest::newRow("nothing repeats, pinned since") << false << false << true << false;
}

void TestReviewPage::doubtfulUnlessPinned()
{
    QFETCH(bool, narrow);
    QFETCH(bool, fromChorus);
    QFETCH(bool, pinned);
    QFETCH(bool, doubtful);
    Chorus::Start found;
    found.doubtful = narrow;
    found.fromChorus = fromChorus;
    QCOMPARE(ReviewCandidates::Doubtful(found, pinned), doubtful);
}

void TestReviewPage::remakesWithTheSavedStarts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("command");

    const QString cd = QStringLiteral("cd /work && lumbrisk-cli --starts /shop/starts.csv ");
    QTest::newRow("options and folders kept, list and update added")
        << QStringList{"lumbrisk-cli", "-s", "auto", "-d", "30", "-o", "out", "songs", "extra.mp3"}
        << cd + QStringLiteral("--update -s auto -d 30 -o out songs extra.mp3");
    QTest::newRow("an earlier list replaced") << QStringList{"lumbrisk-cli", "--starts", "old.csv", "-s", "auto", "songs"}
                                              << cd + QStringLiteral("--update -s auto songs");
    QTest::newRow("an earlier list given with =") << QStringList{"lumbrisk-cli", "--starts=old.csv", "songs"}
                                                  << cd + QStringLiteral("--update songs");
    QTest::newRow("--update once") << QStringList{"lumbrisk-cli", "--update", "-q", "songs"}
                                   << cd + QStringLiteral("--update -q songs");
    QTest::newRow("a join, made whole each time") << QStringList{"lumbrisk-cli", "--join", "songs"}
                                                  << cd + QStringLiteral("--join songs");
    QTest::newRow("a plan made for real") << QStringList{"lumbrisk-cli", "--dry-run", "--review", "r.html", "songs"}
                                          << cd + QStringLiteral("--update --review r.html songs");
    // A folder may be named like an option: it is the value of the option before it.
    QTest::newRow("a value like an option") << QStringList{"lumbrisk-cli", "-o", "--dry-run", "--output", "--starts", "songs"}
                                            << cd + QStringLiteral("--update -o --dry-run --output --starts songs");
    QTest::newRow("names after -- as given") << QStringList{"lumbrisk-cli", "--", "--dry-run", "--starts"}
                                             << cd + QStringLiteral("--update -- --dry-run --starts");
    QTest::newRow("quoted for the shell") << QStringList{"/opt/my bin/lumbrisk-cli", "/music/Tom's Songs"}
                                          << QStringLiteral("cd /work && '/opt/my bin/lumbrisk-cli' --starts /shop/starts.csv "
                                                            "--update '/music/Tom'\\''s Songs'");
}

void TestReviewPage::remakesWithTheSavedStarts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, command);
    const QSet<QString> valueOptions{QStringLiteral("-o"), QStringLiteral("--output"), QStringLiteral("-s"),
                                     QStringLiteral("-d"), QStringLiteral("--review"), QStringLiteral("--starts")};
    QCOMPARE(ReviewCommand::Remake(arguments, valueOptions, QStringLiteral("/shop/starts.csv"), QStringLiteral("/work")),
             command);
}

void TestReviewPage::rowsTellWhereTheirStartCameFrom_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("startFrom");
    QTest::addColumn<QString>("classes");
    QTest::addColumn<QString>("why"); // the search's reason, which the row alone says

    using ReviewPage::StartFrom;
    // Made by this run: new or changed since the last one ("made").
    QTest::newRow("chorus") << int(StartFrom::Chorus) << "chorus" << "row made" << "chorus, on the bar";
    // The chorus search put it a quarter in: a person should hear it first.
    QTest::newRow("nothing repeats") << int(StartFrom::QuarterIn) << "chorus" << "row doubtful fallback made"
                                     << "nothing repeats: a quarter in";
    QTest::newRow("too long to look into") << int(StartFrom::QuarterIn) << "chorus" << "row doubtful fallback made"
                                           << "too long to look into: a quarter in";
    QTest::newRow("pinned by the list") << int(StartFrom::List) << "list" << "row pinned made" << "";
    QTest::newRow("a share") << int(StartFrom::Share) << "share" << "row made" << "";
    QTest::newRow("a second") << int(StartFrom::Seconds) << "fixed" << "row made" << "";
}

void TestReviewPage::rowsTellWhereTheirStartCameFrom()
{
    QFETCH(int, kind);
    QFETCH(QString, startFrom);
    QFETCH(QString, classes);
    QFETCH(QString, why);
    ReviewPage::Row row = songRow();
    row.startFrom = ReviewPage::StartFrom(kind);
    row.doubtful = row.startFrom == ReviewPage::StartFrom::QuarterIn;
    row.why = why;
    const QString html = ReviewRow::Html(row, QStringLiteral("/shop"));
    QCOMPARE(html.count(QStringLiteral("nothing repeats")), int(why.contains(QStringLiteral("nothing repeats"))));
    QCOMPARE(QRegularExpression(QStringLiteral("data-start-from=\"([^\"]*)\"")).match(html).captured(1), startFrom);
    QCOMPARE(QRegularExpression(QStringLiteral("<section class=\"([^\"]*)\"")).match(html).captured(1), classes);
}

void TestReviewPage::truePeakIsMeasuredOrNone_data()
{
    QTest::addColumn<bool>("kept");
    QTest::addColumn<double>("limited"); // dB the limiter took off; 0: none
    QTest::addColumn<double>("measured"); // dBTP of the encoded preview; 0: not measured
    QTest::addColumn<QString>("shown");
    QTest::newRow("made, planned") << false << 0.0 << 0.0 << "true peak -2.0 dBTP";
    QTest::newRow("made, measured") << false << 0.0 << -1.3 << "true peak -1.3 dBTP";
    // The source's peak with the gain would read +3.8 dBTP: the limiter took that off.
    QTest::newRow("made, limited, not measured") << false << 5.8 << 0.0 << "";
    QTest::newRow("kept, its mark without a peak") << true << 0.0 << 0.0 << "";
    QTest::newRow("kept, its mark's peak") << true << 5.8 << -1.1 << "true peak -1.1 dBTP";
}

void TestReviewPage::truePeakIsMeasuredOrNone()
{
    QFETCH(bool, kept);
    QFETCH(double, limited);
    QFETCH(double, measured);
    QFETCH(QString, shown);
    ReviewPage::Row row = songRow();
    row.made = !kept;
    row.kept = kept;
    Loudness::Adjustment loudness;
    loudness.measured.integrated = -20;
    loudness.measured.truePeak = -8;
    loudness.gain = 6;
    loudness.result = -14;
    if (limited > 0) {
        loudness.limited = limited;
        loudness.gain = 11.8;
    }
    if (measured < 0)
        loudness.truePeak = measured;
    row.loudness = loudness;
    const QRegularExpressionMatch peak =
        QRegularExpression(QStringLiteral("true peak [^<]*")).match(ReviewRow::Html(row, QStringLiteral("/shop")));
    QCOMPARE(peak.captured(0), shown);
}

void TestReviewPage::rowCarriesTheHooksOfItsEditor()
{
    ReviewPage::Row row = songRow();
    row.source = QStringLiteral("/music/Album/Tom & \"Jerry\".mp3");
    const QString html = ReviewRow::Html(row, QStringLiteral("/shop"));
    QCOMPARE(QRegularExpression(QStringLiteral("data-source=\"([^\"]*)\"")).match(html).captured(1),
             QStringLiteral("/music/Album/Tom &amp; &quot;Jerry&quot;.mp3"));
    QCOMPARE(ReviewHtml::RoleAttribute(html, QStringLiteral("song-wave"), QStringLiteral("data-seconds")), QStringLiteral("200"));
    QCOMPARE(ReviewHtml::RoleAttribute(html, QStringLiteral("start"), QStringLiteral("data-start")), QStringLiteral("63.5"));
    const QRegularExpression candidate(QStringLiteral("data-role=\"candidate\" data-start=\"([^\"]*)\"[^>]*>([^<]*)<"));
    QStringList candidates;
    for (QRegularExpressionMatchIterator found = candidate.globalMatch(html); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        candidates.append(match.captured(1) + QLatin1Char(' ') + match.captured(2));
    }
    QCOMPARE(candidates, QStringList({"63.5 1:03", "120 2:00"}));
    // The song and the preview by paths relative to the page, as the page may be moved with them.
    QCOMPARE(QRegularExpression(QStringLiteral("data-song=\"([^\"]*)\"")).match(html).captured(1),
             QStringLiteral("../music/Album/Tom%20%26%20%22Jerry%22.mp3"));
    QVERIFY(html.contains(QStringLiteral("src=\"previews/Song_Preview.mp3\"")));
    QVERIFY(html.contains(QStringLiteral("data-role=\"listen\"")));
    QVERIFY(html.contains(QStringLiteral("data-role=\"approve\"")));

    // Without the song's length there is no waveform to place a start on, nor a song to play.
    row.song.seconds = 0;
    const QString bare = ReviewRow::Html(row, QStringLiteral("/shop"));
    QVERIFY(!bare.contains(QStringLiteral("song-wave")));
    QVERIFY(!bare.contains(QStringLiteral("data-role=\"listen\"")));
}

void TestReviewPage::namesShowTheirControls_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");
    // "evil\u202egnp.mp3" would read "evil3pm.png".
    QTest::newRow("right-to-left override") << QString(QChar(0x202e)) << "\\u202e";
    QTest::newRow("left-to-right mark") << QString(QChar(0x200e)) << "\\u200e";
    QTest::newRow("right-to-left isolate") << QString(QChar(0x2067)) << "\\u2067";
    QTest::newRow("pop directional formatting") << QString(QChar(0x202c)) << "\\u202c";
    QTest::newRow("a line break") << "\n" << "\\n";
}

// What a person reads of a name, as the terminal shows it; the scripts' attributes keep it.
void TestReviewPage::namesShowTheirControls()
{
    QFETCH(QString, control);
    QFETCH(QString, shown);
    ReviewPage::Page page;
    page.rows = {songRow()};
    page.rows[0].source = QStringLiteral("/music/evil%1gnp.mp3").arg(control);
    page.orphans = {{QStringLiteral("/shop/previews/Gone%1_Preview.mp3").arg(control), page.rows[0].source}};
    const QString html = QString::fromUtf8(ReviewPage::Html(page, QStringLiteral("/shop")));
    QString text = html;
    text.remove(QRegularExpression(QStringLiteral("<script>.*?</script>|<style>.*?</style>|<[^>]*>"),
                                   QRegularExpression::DotMatchesEverythingOption));
    QVERIFY(!text.contains(QStringLiteral("evil%1gnp").arg(control)) && !text.contains(QStringLiteral("Gone%1_").arg(control)));
    QCOMPARE(text.count(QStringLiteral("evil%1gnp.mp3").arg(shown)), 3); // the row's name and path, the orphan's song
    QVERIFY(text.contains(QStringLiteral("Gone%1_Preview.mp3").arg(shown)));
    QCOMPARE(QRegularExpression(QStringLiteral(" data-source=\"([^\"]*)\"")).match(html).captured(1), page.rows[0].source);
}

void TestReviewPage::pageNeedsNothingBesideItself()
{
    ReviewPage::Page page;
    page.rows = {songRow()};
    page.orphans = {{QStringLiteral("/shop/previews/Gone_Preview.mp3"), QStringLiteral("/music/Album/Gone.mp3")}};
    page.command = QStringLiteral("cd /work && lumbrisk-cli --starts /shop/starts.csv --update songs");
    const QString html = QString::fromUtf8(ReviewPage::Html(page, QStringLiteral("/shop")));
    // Style and script inline: no file, no network.
    QVERIFY(!QRegularExpression(QStringLiteral("<link|<script[^>]* src=|https?://")).match(html).hasMatch());
    QVERIFY(html.contains(QStringLiteral("function startsCsv(")));
    QVERIFY(html.contains(QStringLiteral(".row[hidden]")));
    for (const char *filter : {"doubtful", "failed", "held-back", "kept", "unreviewed"})
        QVERIFY2(html.contains(QStringLiteral("data-filter=\"%1\"").arg(QLatin1String(filter))), filter);
    QVERIFY(html.contains(QStringLiteral("data-role=\"save-starts\"")));
    QVERIFY(html.contains(QStringLiteral("--starts /shop/starts.csv --update songs")));
    QVERIFY(html.contains(QStringLiteral("/shop/previews/Gone_Preview.mp3</span>, made of")));
}

QTEST_GUILESS_MAIN(TestReviewPage)
#include "tst_reviewpage.moc"
