#include "preview/songstart.h"

#include "analysis/sourceanalysis.h"
#include "analysis/sourceaudio.h"
#include "platform/numbers.h"
#include "preview/previewcheck.h"
#include "preview/previewsteps.h"

#include <cmath>

namespace SongStart {

namespace {

double toMillisecond(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

Found chorusOf(const QString &source, double previewSeconds, const Tools::Found &tools, const Wait &wait,
               const std::function<bool()> &stopped)
{
    SourceAnalysis::Request request =
        PreviewSteps::AnalysisRequest(tools, source, previewSeconds, SourceAudio::Measure(source));
    request.search = true;
    SourceAnalysis::Outcome outcome;
    wait([&] { outcome = SourceAnalysis::Analyse(request, stopped); });
    const QString problem = PreviewSteps::AnalysisProblem(outcome, source);
    if (!problem.isEmpty() || !outcome.found)
        return Found{0, std::nullopt, problem};
    return Found{outcome.found->seconds, outcome.found, QString()};
}

} // namespace

QString FormsAccepted()
{
    return QStringLiteral("Give seconds (65, 2.5), m:ss (1:05) or h:mm:ss (1:02:03), a share of each song (25%), "
                          "or auto for where each song's chorus begins.");
}

std::optional<StartList::SourceCut> ReadField(const QString &text)
{
    StartList::SourceCut cut;
    if (const std::optional<double> number = Numbers::Read(text)) {
        cut.startSeconds = *number;
        return cut;
    }
    if (StartList::ReadStart(text.trimmed(), cut))
        return cut;
    return std::nullopt;
}

bool BeforeFirstSecond(const StartList::SourceCut &cut)
{
    return (cut.startSeconds && Numbers::RoundHalfEven(*cut.startSeconds) < 1) || cut.startShare == 0.0;
}

StartList::SourceCut ForJob(const QString &text)
{
    if (const std::optional<double> number = Numbers::Read(text))
        Numbers::ToInteger16(*number);
    const std::optional<StartList::SourceCut> cut = ReadField(text);
    if (cut && !BeforeFirstSecond(*cut))
        return *cut;
    StartList::SourceCut fallback;
    fallback.startSeconds = 3;
    return fallback;
}

bool PerSong(const StartList::SourceCut &cut)
{
    return cut.startAtChorus || cut.startShare;
}

Found ForSong(const StartList::SourceCut &cut, const QString &source, double previewSeconds,
              const Tools::Found &tools, const Wait &wait, const std::function<bool()> &stopped)
{
    if (cut.startAtChorus)
        return chorusOf(source, previewSeconds, tools, wait, stopped);
    const std::optional<AudioLength> length = SourceAudio::Measure(source);
    if (!length)
        return Found{0, std::nullopt, PreviewCheck::NoLengthForShare(source)};
    return Found{toMillisecond(cut.startShare.value_or(0) * length->seconds), std::nullopt, QString()};
}

} // namespace SongStart
