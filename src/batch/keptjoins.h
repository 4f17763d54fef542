#pragma once
// What an --update run keeps of a join: a joined file whose mark meets what the run would
// join, and which is whole, is kept, and none of its songs is looked into or cut. Of one made
// again, a song whose own preview (where a run without the join puts it) is up to date gives
// that preview as its piece, as it is: a shop that makes the previews and then the samplers
// of the same songs with the same settings has each song analysed once.

#include "preview/previewfile.h"
#include "preview/previewmark.h"
#include "preview/previewsettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class KeptJoins {
public:
    // One song of the batch's list, as the join looks at it.
    struct Song {
        const PreviewFile &file;
        const QString &source;
        const QString &ownPreview; // where a run without the join puts its preview
    };
    using Songs = std::function<Song(int index)>;

    KeptJoins(const PreviewSettings &settings, Songs songs);

    // The record of the joined file at path, when it is whole and still meets what this run
    // would join of songs (their indexes, in list order).
    std::optional<PreviewMark::Record> keptAt(const QString &path, const QList<int> &songs) const;
    // The record of the song's own preview, when that is up to date.
    std::optional<PreviewMark::Record> upToDateOwnPreview(int index) const;

private:
    bool stillMeets(const PreviewMark::Record &recorded, const QList<int> &songs) const;
    // What each song's own preview is to record; none when one cannot be looked at.
    std::optional<QList<PreviewMark::Record>> wantedSongs(const QList<int> &songs) const;
    QStringList sourcesOf(const QList<int> &songs) const;
    // Where a song's piece is cut from, when that is known before any analysis.
    std::optional<double> knownStart(int index) const;

    const PreviewSettings &m_settings;
    Songs m_songs;
};
