// Writes a review page of many made-up rows, for bench/review_page.sh: songs of 2 to 6
// minutes with a waveform that swells and falls, chorus sections, beats and bars near 120 bpm,
// candidates of three sections, starts of every kind, doubtful ones, loudness held back in
// some, failures in a few.
//
//   review_page_bench PAGE.html ROWS

#include "cli/reviewpage.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

ReviewPage::Row madeUpRow(int index, std::mt19937 &random)
{
    ReviewPage::Row row;
    row.source = QStringLiteral("/music/Artist %1/Album/Track %2.mp3").arg(index / 12).arg(index % 12 + 1);
    row.names = {QStringLiteral("Track %1").arg(index), QStringLiteral("Artist %1").arg(index / 12)};
    row.preview = QStringLiteral("previews/Track %1_Preview.mp3").arg(index);
    const double seconds = std::uniform_real_distribution<double>(120, 360)(random);
    std::vector<float> samples(size_t(seconds * 100));
    std::normal_distribution<float> noise(0, 1);
    for (size_t sample = 0; sample < samples.size(); ++sample)
        samples[sample] = std::tanh(0.3f * (1.2f + float(std::sin(sample / 900.0))) * noise(random));
    row.song = Waveform::OverviewOf(samples, 100);
    row.chorus = {{row.song.seconds * 0.3, row.song.seconds * 0.38}, {row.song.seconds * 0.6, row.song.seconds * 0.68}};
    row.startFrom = index % 7 == 0 ? ReviewPage::StartFrom::QuarterIn : ReviewPage::StartFrom::Chorus;
    row.start = row.startFrom == ReviewPage::StartFrom::Chorus ? row.song.seconds * 0.3 : row.song.seconds / 4;
    row.length = 30;
    Chorus::Start found;
    found.fromChorus = row.startFrom == ReviewPage::StartFrom::Chorus;
    // A tempo that drifts a little, each beat found a few milliseconds off, as a tracker finds them.
    std::uniform_real_distribution<double> jitter(-0.005, 0.005);
    for (double beat = 0.25, period = 0.5; beat < row.song.seconds; beat += period, period += 0.00002)
        found.beats.push_back(beat + jitter(random));
    for (size_t beat = 0; beat < found.beats.size(); beat += 4)
        found.downbeats.push_back(found.beats[beat]);
    for (const double share : {0.3, 0.6, 0.15, 0.45, 0.8})
        found.candidates.push_back({row.song.seconds * share, share < 0.4 ? 0 : share < 0.7 ? 1 : 2, 2, 0.9 - share / 2});
    row.candidates = ReviewCandidates::Of(found, row.song.seconds, row.length);
    row.beats = found.beats;
    row.downbeats = found.downbeats;
    row.doubtful = index % 5 == 0;
    row.why = QStringLiteral("the chorus won narrowly");
    row.made = index % 50 != 0;
    row.reason = QStringLiteral("SoX failed with exit code 2");
    Loudness::Adjustment loudness;
    loudness.measured.integrated = -20.0 + index % 9;
    loudness.measured.truePeak = -3.0 + index % 4;
    loudness.gain = 6;
    loudness.heldBack = index % 11 == 0;
    loudness.result = loudness.heldBack ? -15.0 : -14.0;
    row.loudness = loudness;
    row.tags = QStringLiteral("tags copied");
    return row;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: review_page_bench PAGE.html ROWS\n");
        return 2;
    }
    std::mt19937 random(23);
    ReviewPage::Page page;
    for (int index = 0; index < std::atoi(argv[2]); ++index)
        page.rows.append(madeUpRow(index, random));
    page.command = QStringLiteral("cd /music && lumbrisk-cli --starts /music/starts.csv --update -s auto -d 30 -o previews .");
    page.run = QStringLiteral("bench");
    const QString problem = ReviewPage::Write(QString::fromLocal8Bit(argv[1]), page);
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    return problem.isEmpty() ? 0 : 1;
}
