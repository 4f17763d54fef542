// Finding a song's beats and where its bars begin, on pieces of bars made in the test: in
// 4/4 and in 3/4, and a chord struck alike on every beat, whose bars cannot be told.

#include "analysis/chorus.h"
#include "chorussongs.h"

#include <QTest>

#include <algorithm>
#include <cmath>

using namespace ChorusSongs;

namespace {

// How many of `times` lie within `tolerance` seconds of one of `found`.
int matched(const std::vector<double> &times, const std::vector<double> &found, double tolerance)
{
    return int(std::count_if(times.begin(), times.end(), [&](double time) {
        return std::any_of(found.begin(), found.end(), [&](double one) { return std::abs(one - time) <= tolerance; });
    }));
}

} // namespace

class TestChorusBars : public QObject {
    Q_OBJECT

private slots:
    void barsBeginOnTheirFirstBeat_data();
    void barsBeginOnTheirFirstBeat();
};

void TestChorusBars::barsBeginOnTheirFirstBeat_data()
{
    QTest::addColumn<int>("beatsPerBar");
    QTest::addColumn<double>("beatSeconds");
    QTest::addColumn<bool>("barsMarked");
    QTest::newRow("4/4, the chord and the bass change on the first beat") << 4 << 0.6 << true;
    QTest::newRow("3/4 waltz: the bass on one, the chord on two and three") << 3 << 0.6 << true;
    QTest::newRow("one chord struck alike on every beat: the bar cannot be told") << 4 << 0.6 << false;
}

// Every beat is found, and where the bar can be told its first beats, on the bar lines.
void TestChorusBars::barsBeginOnTheirFirstBeat()
{
    QFETCH(int, beatsPerBar);
    QFETCH(double, beatSeconds);
    QFETCH(bool, barsMarked);
    const std::vector<float> samples = PlayBars({beatsPerBar, beatSeconds, barsMarked});
    const Chorus::Start start = Chorus::ChooseStart(samples, Rate, 30);
    // The beats and the bar lines played, but for the first and last seconds, where the
    // trackers settle and the notes ring on.
    const double seconds = double(samples.size()) / Rate;
    std::vector<double> beats;
    std::vector<double> bars;
    for (int beat = 0; beat * beatSeconds < seconds; ++beat) {
        const double at = beat * beatSeconds;
        if (at >= 4 && at <= seconds - 2)
            (beat % beatsPerBar == 0 ? bars : beats).push_back(at);
    }
    beats.insert(beats.end(), bars.begin(), bars.end());
    constexpr double Tolerance = 0.06;
    QVERIFY2(matched(beats, start.beats, Tolerance) >= 0.95 * double(beats.size()),
             qPrintable(QStringLiteral("%1 of %2 beats").arg(matched(beats, start.beats, Tolerance)).arg(beats.size())));
    if (!barsMarked) {
        QVERIFY2(start.downbeats.empty(), qPrintable(QString::number(start.downbeats.size())));
        return;
    }
    QVERIFY2(matched(bars, start.downbeats, Tolerance) >= 0.95 * double(bars.size()),
             qPrintable(QStringLiteral("%1 of %2 bars").arg(matched(bars, start.downbeats, Tolerance)).arg(bars.size())));
    std::vector<double> found;
    std::copy_if(start.downbeats.begin(), start.downbeats.end(), std::back_inserter(found),
                 [&](double downbeat) { return downbeat >= bars.front() - Tolerance && downbeat <= bars.back() + Tolerance; });
    QVERIFY2(matched(found, bars, Tolerance) == int(found.size()),
             qPrintable(QStringLiteral("%1 of %2 on a bar line").arg(matched(found, bars, Tolerance)).arg(found.size())));
}

QTEST_GUILESS_MAIN(TestChorusBars)
#include "tst_chorusbars.moc"
