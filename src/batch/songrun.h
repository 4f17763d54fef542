#pragma once
// One song's way through the batch, in the order of its steps: its probe, the analysis of
// its audio, the limiter, its cut, the measuring of what was made, what it gets besides
// itself, and, with update, keeping what is up to date. Its PreviewFile holds the rules (its
// start, loudness, cut, check and mark); this keeps the steps and what they leave for the
// next. The batch decides when each step runs; every tool and thread starts through its
// BatchRun. The batch holds its songs in a list sized once, so that a step that ends later
// finds its song where it was.

// Its files: songrun.cpp names the preview and settles what its cut is made of, _steps runs
// its probe and cut and measures what was made, _analysis looks into its audio for its start
// and loudness and limits its stretch (--limit), _besides writes what a preview gets besides
// itself, and _kept keeps an up-to-date preview, or with a join its joined file or its piece.

#include "analysis/limitedstretch.h"
#include "analysis/sourceanalysis.h"
#include "analysis/waveform.h"
#include "batch/batchrun.h"
#include "preview/previewfile.h"
#include "preview/previewfiles.h"
#include "preview/previewsteps.h"

#include <QString>

#include <memory>
#include <optional>

class KeptJoins;

class SongRun {
public:
    // Besides: a kept preview gets what this run asks beside it (a waveform file, a picture).
    enum class Step { Probe, Analyse, Limit, Cut, Besides, Done };

    SongRun(const BatchRun &batch, int index);

    Step step() const { return m_step; }
    const PreviewFile &file() const { return m_file; }
    // With update, when joining: where a run without the join puts this song's preview.
    const QString &ownPreview() const { return m_ownPreview; }
    // When joining: dB the join raises or lowers its piece by (its own preview taken as it
    // is was planned for one encoding, a piece for two).
    double pieceGain() const { return m_pieceGain; }

    // In list order: names its preview (or its piece), unless its source cannot be read now;
    // with update, keeps a preview that is up to date.
    void plan();
    // Starts the tool (or the work on a thread) of its step.
    void startStep();
    // When joining: another song's probe gave the bit rate, so this one needs none.
    void joinRateKnown();
    // How FFmpeg ended, when it decoded the source for the tool that just ended.
    void decoderEnded(const PreviewSteps::DecoderEnd &decoder);
    // Removes the separate preview it was writing; only once no tool writes it any more.
    void dropOutput();
    // With update: its joined file is kept, and it with it.
    void keepForJoin(const QString &joined);
    // With update, when its joined file is made again: its own preview is its piece, when
    // that is up to date.
    void takePieceIfUpToDate(const KeptJoins &kept);

private:
    PreviewResult &result() const;
    QString outputFolder() const;
    void nameOutput();
    Step stepAfterProbe() const;
    void probe();
    void probed(const Shell32::RunResult &ended);
    // The chorus search, the stretch's loudness, or both.
    void analyse();
    void analysed(const SourceAnalysis::Outcome &outcome);
    // Limits the stretch the analysis decoded, on a thread of the pool; then it is cut.
    void limit();
    void limited(const LimitedStretch::Limited &outcome);
    void cut();
    void cutEnded(const Shell32::RunResult &ended);
    // With a loudness target, the encoded preview is measured before it is kept.
    void measureMade(const QString &written, const QString &tags);
    void measuredMade(std::optional<double> truePeak, const std::optional<Waveform::Data> &waveform,
                      const QString &tags);
    // Gives the cut preview its name, or fails the song with the problem.
    void keepCut(QString problem, const QString &tags);
    // What a preview made or kept (or, in a dry run, planned) gets besides itself, on a thread
    // of the pool; then it is done.
    void completeMade();
    void completed(const QString &waveformProblem, const std::optional<Waveform::Overview> &song);
    void complete();
    // Looks at what the preview's name holds: with update, keeps a whole preview whose mark
    // meets what is wanted, and takes its results from the mark.
    void keepIfUpToDate();
    // A song kept as it is needs no more work, but what this run asks beside it (besides).
    void settleKept(bool besides);
    void succeed();
    void fail(const QString &reason);
    QString bitrate() const;
    // Settles the start SoX gets, once; false when it cannot, and the song failed.
    bool settleStart();
    // Its line into writeTo, set as the result's command, decoder and encoder.
    void setCutLine(const QString &writeTo);
    // Where the made preview (or piece) is written: its temporary output, when it has one.
    QString written() const;

    const BatchRun *m_batch;
    int m_index;
    Step m_step = Step::Cut;
    QString m_bitrate; // this source's own, once probed
    PreviewFile m_file;
    PreviewSteps::DecoderEnd m_decoder; // how FFmpeg ended, when it decoded the source
    PreviewFiles::EarlierFile m_earlier; // what the preview's name held when it was named
    QString m_ownPreview;
    double m_pieceGain = 0;
    std::unique_ptr<PreviewFiles::TemporaryOutput> m_output; // a separate preview being written
    std::optional<Waveform::Data> m_waveform; // built while the made preview was measured
};
