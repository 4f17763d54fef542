#include "cli/reviewbeats.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ReviewBeats {

namespace {

// Every beat of a stretch lies within Slack of first + k * period; writing the first beat to
// the millisecond and the period to PeriodStep moves a beat by up to half of each of them
// per step more, so a stretch holds no more beats than keep the sum within the tolerance.
constexpr double PeriodStep = 0.00001;
constexpr double Slack = 0.006;
constexpr int LongestStretch = int((Tolerance - Slack - 0.0005) / (PeriodStep / 2));

} // namespace

std::vector<Stretch> StretchesOf(const std::vector<double> &beats)
{
    std::vector<Stretch> stretches;
    size_t begin = 0;
    while (begin < beats.size()) {
        // The periods that keep every beat so far within the slack of its place.
        double lowest = 0;
        double highest = std::numeric_limits<double>::infinity();
        double period = 0;
        size_t end = begin + 1;
        for (; end < beats.size() && int(end - begin) < LongestStretch; ++end) {
            const double steps = double(end - begin);
            const double low = std::max(lowest, (beats[end] - beats[begin] - Slack) / steps);
            const double high = std::min(highest, (beats[end] - beats[begin] + Slack) / steps);
            if (low > high)
                break;
            lowest = low;
            highest = high;
            period = (low + high) / 2;
        }
        stretches.push_back({beats[begin], period, int(end - begin)});
        begin = end;
    }
    return stretches;
}

QString Text(const std::vector<double> &beats)
{
    QStringList words;
    for (const Stretch &stretch : StretchesOf(beats)) {
        QString word = QString::number(std::round(stretch.first * 1000) / 1000, 'f', 3);
        if (stretch.count > 1)
            word += QStringLiteral("+%1*%2")
                        .arg(QString::number(std::round(stretch.period / PeriodStep) * PeriodStep, 'f', 5))
                        .arg(stretch.count);
        words.append(word);
    }
    return words.join(QLatin1Char(' '));
}

} // namespace ReviewBeats
