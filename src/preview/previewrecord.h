#pragma once
// What a preview's mark (PreviewMark) records of how it was made and what it got, written
// alike by the window and by lumbrisk-cli: a folder scan of either leaves out the previews
// of both, and an --update run keeps a preview whose record meets its own. Also how a
// recorded figure is read back.

#include "analysis/chorus.h"
#include "analysis/loudness.h"
#include "preview/previewmark.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace PreviewRecord {

// Where a preview's start came from.
enum class StartOrigin {
    Chorus,   // found in its audio
    Fallback, // looked for, but nothing repeats: a quarter in
    List,     // its row of the start list (--starts) gives it
    Share,    // a share of its length, for every file
    Seconds,  // the same second for every file
};

// What a preview is made with.
struct Recipe {
    QString start;       // the rule, as StartRule gives it
    double duration = 0; // seconds
    int kbps = 0;        // 0: each source's own bit rate
    double fadeIn = 0;
    double fadeOut = 0;
    std::optional<double> loudness; // LUFS
    bool limit = false;
};
// The start rule a record holds: "auto" for the chorus, "25%" for a share, else the seconds.
QString StartRule(bool atChorus, std::optional<double> share, double seconds);
// What a preview of the source made with the recipe is to record (its source's path, size and
// modification time, and the recipe): the same list with the same settings gives the same
// record. None when the source cannot be looked at.
std::optional<PreviewMark::Record> Wanted(const QString &source, const Recipe &recipe);

// What a preview got.
struct Made {
    double start = 0; // seconds, as SoX got it
    StartOrigin origin = StartOrigin::Seconds;
    std::optional<Loudness::Adjustment> loudness;
    const Chorus::Start *found = nullptr; // its start found in its audio, if it was
};
// The mark of the preview written into `written`: what was wanted, and what it got (its start
// and where that came from, its length, loudness, and the candidates of its chorus).
QString MarkText(const PreviewMark::Record &wanted, const Made &made, const QString &written);

// Where the recorded start came from (Seconds when the record does not say).
StartOrigin RecordedOrigin(const PreviewMark::Record &recorded);
// A start found in the audio, as the record keeps it: its seconds, candidates and doubt.
Chorus::Start RecordedStart(const PreviewMark::Record &recorded);
// What a mark records of a loudness, and reads back.
void RecordLoudness(PreviewMark::Record &record, const Loudness::Adjustment &loudness);
std::optional<Loudness::Adjustment> RecordedLoudness(const PreviewMark::Record &record, double target);
// The file lasts as long as its mark records, give or take its last frame.
bool IsWhole(const QString &path, const PreviewMark::Record &recorded);

// What a joined file is to record of what it is made of: its songs' common folder, how many,
// a digest of each one's wanted record in order, the crossfade and the loudness. Each song's
// record holds its path, size and modification time and the settings of its piece: the
// digest stays a few dozen characters, however long the album.
PreviewMark::Record WantedJoin(const QList<PreviewMark::Record> &songs, const QStringList &sources, double crossfade,
                               std::optional<double> loudness);
// Where the pieces were cut: the digest of each song's record with the start (seconds) its
// piece was cut from in place of its start rule.
QString CutDigest(QList<PreviewMark::Record> songs, const QList<double> &starts);
// WantedJoin by where the pieces are cut: met by a joined file cut from those very starts,
// whatever chose them (approving the chorus's start in a start list remakes no sampler).
PreviewMark::Record WantedCutJoin(const QList<PreviewMark::Record> &songs, const QList<double> &starts,
                                  const QStringList &sources, double crossfade, std::optional<double> loudness);
// The mark of the joined file written: what it is made of (WantedJoin of its songs, and the
// CutDigest of their records and starts), its length and loudness; "" when a song's record
// is not known.
QString JoinedMarkText(const QList<std::optional<PreviewMark::Record>> &songs, const QStringList &sources,
                       const QList<double> &starts, double crossfade, std::optional<double> target,
                       const std::optional<Loudness::Adjustment> &loudness, const QString &written);

} // namespace PreviewRecord
