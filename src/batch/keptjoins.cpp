#include "batch/keptjoins.h"

#include "preview/previewrecord.h"

namespace {

std::optional<PreviewMark::Record> recordAt(const QString &path)
{
    const std::optional<QString> text = PreviewMark::Read(path);
    return text ? PreviewMark::Record::Parse(*text) : std::nullopt;
}

} // namespace

KeptJoins::KeptJoins(const PreviewSettings &settings, Songs songs) : m_settings(settings), m_songs(std::move(songs))
{
}

std::optional<PreviewMark::Record> KeptJoins::keptAt(const QString &path, const QList<int> &songs) const
{
    const std::optional<PreviewMark::Record> recorded = recordAt(path);
    if (recorded && stillMeets(*recorded, songs) && PreviewRecord::IsWhole(path, *recorded))
        return recorded;
    return std::nullopt;
}

std::optional<PreviewMark::Record> KeptJoins::upToDateOwnPreview(int index) const
{
    const Song song = m_songs(index);
    if (!song.file.wanted() || song.ownPreview.isEmpty())
        return std::nullopt;
    const std::optional<PreviewMark::Record> recorded = recordAt(song.ownPreview);
    if (!recorded || !song.file.keeps(*recorded, song.ownPreview))
        return std::nullopt;
    return recorded;
}

// By its songs and settings; failing that, by where its pieces were cut, once every song's
// start is known before any analysis: a start list that pins the starts a review approved
// remakes no sampler.
bool KeptJoins::stillMeets(const PreviewMark::Record &recorded, const QList<int> &songs) const
{
    const std::optional<QList<PreviewMark::Record>> records = wantedSongs(songs);
    if (!records)
        return false;
    const QStringList sources = sourcesOf(songs);
    if (recorded.meets(PreviewRecord::WantedJoin(*records, sources, m_settings.crossfade, m_settings.loudness)))
        return true;
    QList<double> starts;
    for (const int index : songs) {
        const std::optional<double> start = knownStart(index);
        if (!start)
            return false;
        starts.append(*start);
    }
    return recorded.meets(
        PreviewRecord::WantedCutJoin(*records, starts, sources, m_settings.crossfade, m_settings.loudness));
}

std::optional<QList<PreviewMark::Record>> KeptJoins::wantedSongs(const QList<int> &songs) const
{
    QList<PreviewMark::Record> records;
    for (const int index : songs) {
        const std::optional<PreviewMark::Record> &wanted = m_songs(index).file.wanted();
        if (!wanted)
            return std::nullopt;
        records.append(*wanted);
    }
    return records;
}

QStringList KeptJoins::sourcesOf(const QList<int> &songs) const
{
    QStringList sources;
    for (const int index : songs)
        sources.append(m_songs(index).source);
    return sources;
}

// The second its start rule asks for, or where its own preview that is up to date was cut.
std::optional<double> KeptJoins::knownStart(int index) const
{
    bool seconds = false;
    const double asked = m_songs(index).file.wanted()->value(QStringLiteral("start")).toDouble(&seconds);
    if (seconds)
        return asked;
    const std::optional<PreviewMark::Record> own = upToDateOwnPreview(index);
    return own ? std::optional(own->value(QStringLiteral("at")).toDouble()) : std::nullopt;
}
