#pragma once
// What a batch tells of one preview, or of a joined file: where it went, whether it was made
// or kept, and what it was made of.

#include "analysis/chorus.h"
#include "analysis/loudness.h"
#include "analysis/waveform.h"
#include "platform/commandline.h"
#include "preview/previewfile.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"
#include "preview/previewrecord.h"

#include <QList>
#include <QString>

#include <optional>

struct PreviewResult {
    QString source;                     // "" for the joined file
    QString preview;                    // where the preview goes (a piece, when joining)
    bool made = false;
    // With update: kept, as it records this source and these settings; its start,
    // duration, origin, loudness and candidates are then the ones its mark records.
    bool upToDate = false;
    // Its name held a file without Lumbrisk's mark (a song, or a preview made before
    // marks were written), which it left alone: that file's path.
    QString avoided;
    // With update: the file at its name was a preview of an earlier form of the mark,
    // made again.
    bool earlierForm = false;
    // Its start comes from the start list, but its song has changed since its preview
    // was made from that start.
    bool pinnedSongChanged = false;
    // With update, when joining: the piece is the song's own preview (`preview`), up to
    // date, taken as it is; upToDate too. Without it, upToDate means that the joined file
    // it belongs to was kept.
    bool pieceTaken = false;
    QString reason;                     // why it was not made
    QString tagProblem;                 // made, but "tags not copied: <reason>"
    // The SoX run that makes it, from the cut until resultReady has told of it: a long
    // list does not keep every command line.
    std::optional<CommandLine> command;
    std::optional<CommandLine> decoder; // the FFmpeg run whose output that SoX run reads, if any
    std::optional<CommandLine> encoder; // the FFmpeg run that writes the file from that SoX run's output, if any
    // A dry run's line with the limiter: the runs piped into that SoX run, first to last,
    // in place of the decoder.
    QList<CommandLine> pipedFrom;
    QString planned;   // when a file that came during the run took the planned name: that name
    QString newFolder; // a dry run: the missing folder that must be made before the command
    std::optional<Loudness::Adjustment> loudness; // with a loudness target, once measured
    std::optional<Chorus::Start> foundStart;      // its start found in its audio, once analysed
    std::optional<double> start; // seconds, as SoX gets it, once settled
    bool startIsShare = false;   // that start is a share of the length
    PreviewRecord::StartOrigin startFrom = PreviewRecord::StartOrigin::Seconds; // once settled
    double duration = 0;         // seconds the cut lasts, with start
    QString waveform;            // the waveform file written beside the preview
    QString waveformProblem;     // made, but "waveform not written: <reason>"
    // With reviewPage, once made: the whole song in a few hundred points, from the
    // samples its analysis decoded or else a quick decode; only its length when neither.
    std::optional<Waveform::Overview> song;
    QString endsEarly; // made shorter than asked: "the song ends at 0:20: the preview is 15.0 s"
    QString unkeptRate; // with -b same, not joining: GetBitrate::UnkeptRateNote

    // Gives the preview its name. When a file that came during the run took the planned one,
    // the preview has the next free name, and the result tells both.
    QString commit(PreviewFiles::TemporaryOutput &output);
    // What the file's way gave so far: where its start came from and the level it got.
    // share: its start rule was a share of the length.
    void takeMade(const PreviewFile &file, bool share);
    // A kept preview is told of as its mark records it: where it was cut from, its loudness
    // against target (when the run asks one), and the start found then. pinned: a row of the
    // run's list gives its start.
    void takeRecorded(const PreviewMark::Record &recorded, double seconds, bool pinned,
                      const std::optional<double> &target);
    // Tells of the waveform file written beside the preview, or why it was not (problem).
    void wroteWaveform(const QString &problem, Waveform::Format format);
};
