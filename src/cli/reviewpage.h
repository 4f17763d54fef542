#pragma once
// The review page: every choice of a run on one HTML page to look at before the previews go
// live. A row per source shows its names, the whole song's waveform with the chorus found
// shaded and the preview's window drawn on it, where the start came from, its loudness and
// tags, or why it failed, and a player for the preview. The page stands alone: no network,
// its script and style inline, the previews linked by paths relative to its folder, so the
// folder can be moved or served as it is. Rows off screen are not laid out until scrolled
// to, so a page of thousands opens at once.

#include "analysis/loudness.h"
#include "analysis/waveform.h"
#include "preview/songtitle.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace ReviewPage {

enum class StartFrom {
    Chorus,         // found in the audio
    NothingRepeats, // looked for, but nothing repeats: a quarter in
    List,           // the start list given with --starts
    Fixed,          // the same second or share for every source
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
    QString reason;               // why it was not made
    Waveform::Overview song;      // no pixels: no picture; no seconds: no window drawn either
    std::vector<Section> chorus;  // shaded
    std::optional<double> start;  // seconds; none when the run never came to it: no window drawn
    double length = 0;            // seconds
    StartFrom startFrom = StartFrom::Fixed;
    std::optional<Loudness::Adjustment> loudness;
    QString tags;                 // "tags copied", or why not
};

// "1:05" for 65.4 seconds: whole seconds, rounded down.
QString Clock(double seconds);
// The page; relative links start from pageFolder. joined: the joined preview, or "".
QByteArray Html(const QList<Row> &rows, const QString &pageFolder, const QString &joined = QString());
// Writes it whole or not at all; "" when done, else why not.
QString Write(const QString &path, const QList<Row> &rows, const QString &joined = QString());

} // namespace ReviewPage
