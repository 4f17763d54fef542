// The JSON report of lumbrisk-cli: every file's result (a kept one as its mark records it),
// what was left out, the joined files, and the previews whose songs are gone.
// A dry run's report is the plan a script can review before anything is encoded: each file's
// start and where it came from, the chorus sections found, the candidates a person may take
// instead and whether the start is doubtful, the loudness measured and the gain planned, and
// the command line that makes its preview.
#include "cli/consolereport.h"

#include "cli/reviewcandidates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

namespace {

// Hundredths of a decibel; null for the loudness of silence.
QJsonValue decibels(std::optional<double> value)
{
    return value ? QJsonValue(std::round(*value * 100) / 100) : QJsonValue();
}

QJsonObject loudnessEntry(const Loudness::Adjustment &loudness)
{
    return {{QStringLiteral("measured"), decibels(loudness.measured.integrated)},
            {QStringLiteral("gain"), decibels(loudness.gain)},
            {QStringLiteral("result"), decibels(loudness.result)},
            {QStringLiteral("true_peak"), decibels(loudness.truePeak)},
            {QStringLiteral("held_back"), loudness.heldBack},
            {QStringLiteral("capped"), loudness.capped},
            {QStringLiteral("limited"), decibels(loudness.limited)}};
}

// Each occurrence of the chorus, in seconds to the millisecond.
QJsonArray sectionsEntry(const std::vector<Chorus::Section> &sections)
{
    QJsonArray entries;
    for (const Chorus::Section &section : sections)
        entries.append(QJsonObject{{QStringLiteral("begin"), std::round(section.begin * 1000) / 1000},
                                   {QStringLiteral("end"), std::round(section.end * 1000) / 1000}});
    return entries;
}

QString startFrom(ParallelPreviews::StartOrigin origin)
{
    switch (origin) {
    case ParallelPreviews::StartOrigin::Chorus:
        return QStringLiteral("chorus");
    case ParallelPreviews::StartOrigin::Fallback:
        return QStringLiteral("fallback");
    case ParallelPreviews::StartOrigin::List:
        return QStringLiteral("list");
    case ParallelPreviews::StartOrigin::Share:
        return QStringLiteral("share");
    case ParallelPreviews::StartOrigin::Seconds:
        break;
    }
    return QStringLiteral("seconds");
}

// The starts a person or a tool may take instead, as the review page offers them.
QJsonArray candidatesEntry(const ParallelPreviews::Result &result)
{
    const std::optional<double> songSeconds = result.song && result.song->seconds > 0 ? std::optional(result.song->seconds)
                                                                                        : std::nullopt;
    QJsonArray entries;
    for (const ReviewCandidates::Shown &candidate : ReviewCandidates::Of(*result.foundStart, songSeconds, result.duration))
        entries.append(QJsonObject{{QStringLiteral("start"), candidate.seconds},
                                   {QStringLiteral("section"), candidate.section},
                                   {QStringLiteral("repeats"), candidate.repeats},
                                   {QStringLiteral("score"), std::round(candidate.score * 1000) / 1000}});
    return entries;
}

void addStart(QJsonObject &object, const ParallelPreviews::Result &result)
{
    if (!result.start)
        return;
    object.insert(QStringLiteral("start"), *result.start);
    object.insert(QStringLiteral("start_from"), startFrom(result.startFrom));
    if (!result.foundStart)
        return;
    if (!result.foundStart->sections.empty())
        object.insert(QStringLiteral("sections"), sectionsEntry(result.foundStart->sections));
    object.insert(QStringLiteral("candidates"), candidatesEntry(result));
    object.insert(QStringLiteral("doubtful"),
                  ReviewCandidates::Doubtful(*result.foundStart, result.startFrom == ParallelPreviews::StartOrigin::List));
    // Known where the search ran in this run; a kept preview's mark does not record it.
    if (!result.foundStart->reason.empty())
        object.insert(QStringLiteral("reason"), QString::fromStdString(result.foundStart->reason));
}

} // namespace

void ConsoleReport::printJson()
{
    const bool joining = m_previews.joining().joined().has_value();
    const bool planning = m_mode == Mode::JsonPlan;
    // command: a dry run's line for it, "" when it is not planned.
    const auto entry = [joining, planning](const ParallelPreviews::Result &result, const QString &command) {
        QJsonObject object;
        if (!result.source.isEmpty())
            object.insert(QStringLiteral("source"), result.source);
        // A piece of a join is named only when it is the song's own preview, taken as it is.
        if (!joining || result.source.isEmpty() || result.pieceTaken)
            object.insert(QStringLiteral("preview"), result.preview);
        object.insert(QStringLiteral("made"), result.made);
        if (result.upToDate)
            object.insert(QStringLiteral("up_to_date"), true);
        if (result.pinnedSongChanged)
            object.insert(QStringLiteral("pinned_song_changed"), true);
        // A file planned has no reason; one that is not has one, as has one not made.
        if (planning ? !result.reason.isEmpty() : !result.made && !result.upToDate)
            object.insert(QStringLiteral("reason"), result.reason);
        addStart(object, result);
        if (result.loudness)
            object.insert(QStringLiteral("loudness"), loudnessEntry(*result.loudness));
        if (!result.tagProblem.isEmpty())
            object.insert(QStringLiteral("tagProblem"), result.tagProblem);
        if (!result.waveform.isEmpty())
            object.insert(QStringLiteral("waveform"), result.waveform);
        if (!result.waveformProblem.isEmpty())
            object.insert(QStringLiteral("waveformProblem"), result.waveformProblem);
        if (!result.endsEarly.isEmpty())
            object.insert(QStringLiteral("endsEarly"), result.endsEarly);
        if (!result.planned.isEmpty())
            object.insert(QStringLiteral("planned"), result.planned);
        if (!result.newFolder.isEmpty())
            object.insert(QStringLiteral("new_folder"), result.newFolder);
        if (!command.isEmpty())
            object.insert(QStringLiteral("command"), command);
        return object;
    };
    QJsonArray previews;
    for (int index = 0; index < m_previews.total(); ++index)
        previews.append(entry(m_previews.results().at(index), m_plannedCommands.value(index)));
    QJsonArray leftOut;
    for (const auto &path : std::as_const(m_leftOut))
        leftOut.append(QJsonObject{{QStringLiteral("path"), path.first}, {QStringLiteral("reason"), path.second}});
    QJsonArray orphans;
    for (const ParallelPreviews::Orphan &orphan : m_previews.pruning().orphans()) {
        QJsonObject entry{{QStringLiteral("preview"), orphan.preview},
                          {QStringLiteral("source"), orphan.source},
                          {QStringLiteral("removed"), orphan.removed}};
        if (!orphan.problem.isEmpty())
            entry.insert(QStringLiteral("problem"), orphan.problem);
        orphans.append(entry);
    }
    QJsonObject report{{QStringLiteral("total"), m_previews.total()},
                       {QStringLiteral("made"), m_previews.madeCount()},
                       {QStringLiteral("kept"), m_previews.keptCount()},
                       {QStringLiteral("orphans"), orphans},
                       {QStringLiteral("interrupted"), m_previews.interrupted()},
                       {QStringLiteral("previews"), previews},
                       {QStringLiteral("leftOut"), leftOut}};
    if (planning)
        report.insert(QStringLiteral("dry_run"), true);
    // One joined file as itself; one per folder as a list.
    QJsonArray joins;
    for (const ParallelPreviews::Result &joined : this->joins())
        joins.append(entry(joined, m_plannedJoins.value(joined.preview)));
    if (joins.size() == 1)
        report.insert(QStringLiteral("joined"), joins.first());
    else if (joining)
        report.insert(QStringLiteral("joined"), joins);
    std::fputs(QJsonDocument(report).toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}
