#pragma once
// What a batch of previews is made with: one set of choices for the whole list, and each
// source's own cut where the list gives one. The window's job gives its joined file one too.

#include "analysis/waveform.h"
#include "preview/outputformat.h"
#include "preview/startlist.h"

#include <QList>
#include <QString>

#include <optional>

struct PreviewSettings {
    double startSeconds = 3;
    std::optional<double> startShare; // 0 <= share < 1 of each track's length, in place of startSeconds
    bool startAtChorus = false;       // each track's start found in its audio, in place of both
    double durationSeconds = 15;
    const OutputFormat *format = &OutputFormat::Mp3(); // what every preview and joined file is written as
    int kbps = 128;        // 0: each source's own bit rate, read by FFmpeg
    QString outputFolder;  // "": beside each source
    bool join = false;     // one Joined_Preview.<format's extension>
    double fadeIn = 0;     // seconds; SoX's fade at the start of each preview
    double fadeOut = 0;    // ... and at its end
    double crossfade = 0;  // seconds each piece of a join overlaps the next
    int jobs = 1;          // tool processes at once
    bool tags = true;      // each preview gets its song's tags; false: no tag at all
    bool update = false;   // a preview that records this source and these settings is kept
    bool prune = false;    // the previews whose songs are gone are removed
    QList<StartList::SourceCut> cuts; // empty, or each source's own start and length, in list order
    std::optional<double> loudness; // LUFS every preview is brought to
    bool limit = false; // with loudness: peaks that would hold the gain back are limited instead
    std::optional<Waveform::FileSettings> waveform; // a waveform file beside each preview and a joined one
    bool reviewPage = false; // a review page was asked for: each result keeps a picture of its whole song

    // FFmpeg is needed to read the sources' bit rates.
    bool needsFfmpeg() const { return kbps == 0; }
};
