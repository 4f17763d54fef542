#include "cli/reviewrows.h"

#include "cli/reviewcommand.h"

#include <QDateTime>
#include <QFileInfo>

namespace ReviewRows {

namespace {

const StartList::SourceCut *ownCut(const PreviewSettings &settings, int index)
{
    return settings.cuts.isEmpty() ? nullptr : &settings.cuts.at(index);
}

// As the run settled it (or a kept preview's mark records it); where the search was asked
// but never answered (the song failed first), the row still says what was to give its start.
ReviewPage::StartFrom startFrom(const ParallelPreviews::Result &result, const PreviewSettings &settings, int index)
{
    using Origin = ParallelPreviews::StartOrigin;
    if (result.start) {
        switch (result.startFrom) {
        case Origin::Chorus:
            return ReviewPage::StartFrom::Chorus;
        case Origin::Fallback:
            return ReviewPage::StartFrom::QuarterIn;
        case Origin::List:
            return ReviewPage::StartFrom::List;
        case Origin::Share:
            return ReviewPage::StartFrom::Share;
        case Origin::Seconds:
            return ReviewPage::StartFrom::Seconds;
        }
    }
    const StartList::SourceCut *own = ownCut(settings, index);
    if (own && (own->startSeconds || own->startShare))
        return ReviewPage::StartFrom::List;
    if ((own && own->startAtChorus) || settings.startAtChorus)
        return ReviewPage::StartFrom::Chorus;
    return settings.startShare ? ReviewPage::StartFrom::Share : ReviewPage::StartFrom::Seconds;
}

// The length its preview has, or would have had where the run never came to its start.
double lengthOf(const ParallelPreviews::Result &result, const PreviewSettings &settings, int index)
{
    if (result.duration > 0)
        return result.duration;
    const StartList::SourceCut *own = ownCut(settings, index);
    return own && own->durationSeconds ? *own->durationSeconds : settings.durationSeconds;
}

QString tagsText(const ParallelPreviews::Result &result, const PreviewSettings &settings)
{
    if (!settings.tags)
        return QStringLiteral("no tags (--no-tags)");
    if (settings.join)
        return QString();
    return result.tagProblem.isEmpty() ? QStringLiteral("tags copied") : result.tagProblem;
}

// What the chorus search found: its sections, the candidates, the beats, and its doubt.
void addSearch(ReviewPage::Row &row, const Chorus::Start &found)
{
    if (found.fromChorus) {
        for (const Chorus::Section &section : found.sections)
            row.chorus.push_back({section.begin, section.end});
    }
    const std::optional<double> seconds = row.song.seconds > 0 ? std::optional(row.song.seconds) : std::nullopt;
    row.candidates = ReviewCandidates::Of(found, seconds, row.length);
    row.beats = found.beats;
    row.downbeats = found.downbeats;
    row.doubtful = ReviewCandidates::Doubtful(found, row.startFrom == ReviewPage::StartFrom::List);
    // A kept preview's mark records the doubt, not the search's words.
    row.why = row.kept ? QStringLiteral("as when its preview was made") : QString::fromStdString(found.reason);
}

ReviewPage::Row rowOf(const ParallelPreviews::Result &result, const PreviewSettings &settings, int index, bool dryRun)
{
    ReviewPage::Row row;
    row.source = result.source;
    row.names = SongTitle::Read(result.source);
    row.preview = settings.join ? QString() : result.preview;
    row.made = result.made;
    row.kept = result.upToDate;
    row.songChanged = result.pinnedSongChanged;
    // A dry run plans every file that gave no reason and is not kept.
    row.planned = dryRun && result.reason.isEmpty() && !result.upToDate;
    row.reason = result.reason;
    if (result.song)
        row.song = *result.song;
    row.start = result.start;
    row.length = lengthOf(result, settings, index);
    row.startFrom = startFrom(result, settings, index);
    if (result.foundStart)
        addSearch(row, *result.foundStart);
    row.loudness = result.loudness;
    row.tags = tagsText(result, settings);
    return row;
}

} // namespace

QList<ReviewPage::Row> Of(const ParallelPreviews &previews, const PreviewSettings &settings, bool dryRun)
{
    QList<ReviewPage::Row> rows;
    const QList<ParallelPreviews::Result> &results = previews.results();
    for (int index = 0; index < results.size(); ++index)
        rows.append(rowOf(results.at(index), settings, index, dryRun));
    return rows;
}

ReviewPage::Page PageOf(const ParallelPreviews &previews, const PreviewSettings &settings, const Run &run,
                        const QString &pagePath)
{
    ReviewPage::Page page;
    page.rows = Of(previews, settings, run.dryRun);
    if (const std::optional<PreviewResult> &joined = previews.joining().joined(); joined && joined->made)
        page.joined = joined->preview;
    for (const ParallelPreviews::Orphan &orphan : previews.pruning().orphans())
        page.orphans.append({orphan.preview, orphan.source, orphan.removed});
    const QString csv = QFileInfo(pagePath).absolutePath() + QStringLiteral("/starts.csv");
    page.command = ReviewCommand::Remake(run.arguments, run.valueOptions, csv, run.workingFolder);
    page.wholeList = run.wholeList;
    page.dryRun = run.dryRun;
    page.run = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    return page;
}

} // namespace ReviewRows
