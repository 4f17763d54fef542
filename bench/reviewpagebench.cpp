// Writes a review page of many made-up rows, for bench/review_page.sh: songs of 2 to 6
// minutes with a waveform that swells and falls, chorus sections, starts of every kind,
// loudness held back in some, failures in a few.
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
    row.startFrom = index % 7 == 0 ? ReviewPage::StartFrom::NothingRepeats : ReviewPage::StartFrom::Chorus;
    row.start = row.startFrom == ReviewPage::StartFrom::Chorus ? row.song.seconds * 0.3 : row.song.seconds / 4;
    row.length = 30;
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
    QList<ReviewPage::Row> rows;
    for (int index = 0; index < std::atoi(argv[2]); ++index)
        rows.append(madeUpRow(index, random));
    const QString problem = ReviewPage::Write(QString::fromLocal8Bit(argv[1]), rows);
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    return problem.isEmpty() ? 0 : 1;
}
