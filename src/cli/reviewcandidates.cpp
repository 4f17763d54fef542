#include "cli/reviewcandidates.h"

#include "cli/reviewpage.h"
#include "preview/previewcommands.h"

#include <algorithm>
#include <cmath>

namespace ReviewCandidates {

namespace {

double milliseconds(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

// The bar's length: the middle of the downbeats' spacings, so that a missed bar does not
// double it.
double barSeconds(const std::vector<double> &downbeats)
{
    std::vector<double> gaps;
    for (size_t index = 1; index < downbeats.size(); ++index)
        gaps.push_back(downbeats[index] - downbeats[index - 1]);
    if (gaps.empty())
        return 0;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return gaps[gaps.size() / 2];
}

} // namespace

double OnBar(double seconds, const std::vector<double> &downbeats)
{
    if (downbeats.empty())
        return seconds;
    const auto nearest = std::min_element(downbeats.cbegin(), downbeats.cend(), [seconds](double a, double b) {
        return std::abs(a - seconds) < std::abs(b - seconds);
    });
    // A single downbeat tells no bar: it is taken when within a second.
    const double bar = barSeconds(downbeats);
    const double reach = bar > 0 ? bar / 2 : 1;
    return std::abs(*nearest - seconds) <= reach ? *nearest : seconds;
}

double Fitted(double seconds, std::optional<double> songSeconds, double previewSeconds)
{
    if (songSeconds)
        seconds = std::min(seconds, *songSeconds - previewSeconds);
    return std::max(seconds, 0.0);
}

bool Doubtful(const Chorus::Start &found, bool pinned)
{
    return !pinned && (found.doubtful || !found.fromChorus);
}

std::vector<Shown> Of(const Chorus::Start &found, std::optional<double> songSeconds, double previewSeconds)
{
    std::vector<Chorus::Candidate> offered;
    for (const Chorus::Candidate &candidate : found.candidates) {
        if (candidate.section >= 0 && candidate.section < MostSections)
            offered.push_back(candidate);
    }
    // The lower sections first, so that a moment two sections share is the lower one's.
    std::stable_sort(offered.begin(), offered.end(),
                     [](const Chorus::Candidate &a, const Chorus::Candidate &b) { return a.section < b.section; });
    std::vector<Shown> shown;
    for (const Chorus::Candidate &candidate : offered) {
        const double seconds =
            milliseconds(Fitted(OnBar(candidate.seconds, found.downbeats), songSeconds, previewSeconds));
        const bool taken = std::any_of(shown.cbegin(), shown.cend(), [seconds](const Shown &other) {
            return std::abs(other.seconds - seconds) < SameMomentSeconds;
        });
        if (!taken)
            shown.push_back({seconds, candidate.section, candidate.repeats, candidate.score, PreviewCommands::MinutesText(seconds)});
    }
    std::sort(shown.begin(), shown.end(), [](const Shown &a, const Shown &b) { return a.seconds < b.seconds; });
    return shown;
}

} // namespace ReviewCandidates
