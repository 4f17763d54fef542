#pragma once
// The review page: every choice of a run on one HTML page, where a person checks, corrects
// and approves the starts before the previews go live. A row per source shows its names,
// the whole song's waveform with the chorus found shaded, the preview's window and the
// candidates the search would give next, where the start came from, its loudness and tags,
// or why it failed, and a player for the preview. Its script (review/*.js) lets a click or
// a key move the start, plays the song from there, and saves the starts chosen as the CSV
// that --starts reads. The page stands alone: no network, its script and style inline, the
// previews and songs linked by paths relative to its folder, so the folder can be moved or
// served as it is. Rows off screen are not laid out until scrolled to, so a page of
// thousands opens at once.

#include "analysis/loudness.h"
#include "analysis/waveform.h"
#include "cli/reviewcandidates.h"
#include "preview/songtitle.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace ReviewPage {

enum class StartFrom {
    Chorus,         // found in the audio
    QuarterIn,      // looked for, or too long to look into: a quarter in, as the row says why
    List,           // the start list given with --starts
    Share,          // the same share of every song
    Seconds,        // the same second for every song ("fixed" on the page)
};

struct Section {
    double begin = 0; // seconds
    double end = 0;
};

struct Row {
    QString source;
    SongTitle::Names names;
    QString preview;              // absolute; "" when the row has no file of its own (a join)
    bool made = false;
    bool planned = false;         // a dry run's: to be made
    bool kept = false;            // up to date, and kept as it was
    bool songChanged = false;     // pinned by the list, and its song changed since its preview was made
    QString reason;               // why it was not made
    Waveform::Overview song;      // no pixels: no picture; no seconds: no window drawn either
    std::vector<Section> chorus;  // shaded
    std::vector<ReviewCandidates::Shown> candidates;
    std::vector<double> beats;     // seconds; a nudge moves a start by one, a click lands on the nearest
    std::vector<double> downbeats; // those that begin a bar
    bool doubtful = false;        // the search chose narrowly, or found nothing repeating
    QString why;                  // the search's reason for its start, in a few words
    std::optional<double> start;  // seconds; none when the run never came to it: no window drawn
    double length = 0;            // seconds
    StartFrom startFrom = StartFrom::Seconds;
    std::optional<Loudness::Adjustment> loudness;
    QString tags;                 // "tags copied", or why not
};

// A preview in an output folder of the run whose song is gone.
struct Orphan {
    QString preview;
    QString source;
    bool removed = false; // by --prune
};

struct Page {
    QList<Row> rows;
    QString joined;       // the joined preview, or ""
    QList<Orphan> orphans;
    QString command;      // the command that remakes the previews whose starts were saved
    bool wholeList = false; // the run's list came from --starts alone: the saved list must name every song
    bool dryRun = false;
    QString run;          // tells this run's page from an earlier one at the same path
};

// A path relative to the page's folder, as a URL path.
QString Link(const QString &path, const QString &pageFolder);
// The page; relative links start from pageFolder.
QByteArray Html(const Page &page, const QString &pageFolder);
// Writes it whole or not at all, making its folder when missing, and replaces a link at the
// name instead of writing through it (SafeFiles::WriteReplacing); "" when done, else why not.
QString Write(const QString &path, const Page &page);

} // namespace ReviewPage
