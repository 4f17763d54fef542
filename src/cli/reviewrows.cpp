#include "cli/reviewrows.h"

namespace ReviewRows {

namespace {

ReviewPage::StartFrom startFrom(const ParallelPreviews::Result &result, const PreviewSettings &settings, int index)
{
    if (result.foundStart)
        return result.foundStart->fromChorus ? ReviewPage::StartFrom::Chorus : ReviewPage::StartFrom::NothingRepeats;
    const bool listed = !settings.cuts.isEmpty()
                        && (settings.cuts.at(index).startSeconds || settings.cuts.at(index).startShare);
    return listed ? ReviewPage::StartFrom::List : ReviewPage::StartFrom::Fixed;
}

QString tagsText(const ParallelPreviews::Result &result, const PreviewSettings &settings)
{
    if (!settings.tags)
        return QStringLiteral("no tags (--no-tags)");
    if (settings.join)
        return QString();
    return result.tagProblem.isEmpty() ? QStringLiteral("tags copied") : result.tagProblem;
}

} // namespace

QList<ReviewPage::Row> Of(const ParallelPreviews &previews, const PreviewSettings &settings)
{
    QList<ReviewPage::Row> rows;
    const QList<ParallelPreviews::Result> &results = previews.results();
    for (int index = 0; index < results.size(); ++index) {
        const ParallelPreviews::Result &result = results.at(index);
        ReviewPage::Row row;
        row.source = result.source;
        row.names = SongTitle::Read(result.source);
        row.preview = settings.join ? QString() : result.preview;
        row.made = result.made;
        row.reason = result.reason;
        if (result.song)
            row.song = *result.song;
        // Every occurrence of the chorus the analysis found.
        if (result.foundStart && result.foundStart->fromChorus) {
            for (const Chorus::Section &section : result.foundStart->sections)
                row.chorus.push_back({section.begin, section.end});
        }
        row.start = result.start;
        row.length = result.duration;
        row.startFrom = startFrom(result, settings, index);
        row.loudness = result.loudness;
        row.tags = tagsText(result, settings);
        rows.append(row);
    }
    return rows;
}

} // namespace ReviewRows
