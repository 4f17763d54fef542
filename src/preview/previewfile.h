#pragma once
// One song's way to its preview, the same for the window's job (one tool at a time on the
// window's thread) and for lumbrisk-cli's batch (a pool of tools and threads): what it is
// made with and records (its recipe), its source's length, its bit rate, its start (found in
// its audio or fixed by a rule) and where that came from, its loudness plan, the limiter's
// stretch and the stretch SoX cuts from, the cut's command line, the check of what was
// written, its tags and mark, and whether its encoding is cut again for its true peak. Each
// engine keeps only its own order of work and its reports.

#include "analysis/audiolength.h"
#include "analysis/chorus.h"
#include "analysis/decodedaudio.h"
#include "analysis/limitedstretch.h"
#include "analysis/loudness.h"
#include "analysis/sourceanalysis.h"
#include "platform/samplefeed.h"
#include "preview/outputformat.h"
#include "preview/previewrecord.h"
#include "preview/previewsteps.h"
#include "preview/tools.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Shell32 {
struct RunResult;
}

class PreviewFile {
public:
    using StartOrigin = PreviewRecord::StartOrigin;

    PreviewFile() = default;
    // piece: it is a piece of a join, encoded twice (when it is cut, and in the joined file).
    // format: what its preview is written as, which decides what its encoding does to it.
    PreviewFile(QString source, PreviewRecord::Recipe recipe, bool piece = false,
                const OutputFormat &format = OutputFormat::Mp3());

    const QString &source() const { return m_source; }
    double duration() const { return m_recipe.duration; }
    // What the preview is to record of its source and recipe, looked at the first time it is
    // asked; none when the source cannot be looked at.
    const std::optional<PreviewMark::Record> &wanted() const;
    // True when the preview at `path`, which records that, may stand for this one as it is:
    // it records this very source and recipe, and it is whole.
    bool keeps(const PreviewMark::Record &recorded, const QString &path) const;
    // The source's length, read once: read before any tool reads the source, the check of the
    // cut sees a source that changed meanwhile.
    std::optional<AudioLength> length() const;
    std::optional<double> songSeconds() const;

    // The bit rate the cut encodes at (kbit/s, as -C takes it), and the one the mark records
    // as chosen (0: the source's own).
    void setBitrate(const QString &bitrate, int recordedKbps);

    // Its start found in its audio (takeAnalysis): where its chorus begins, or a quarter in
    // when nothing repeats.
    const std::optional<Chorus::Start> &found() const { return m_found; }
    // Settles the start SoX gets: the one found, else a share of its length (when share), else
    // `seconds`; fixedOrigin: where a start not found comes from. "" when settled, else why
    // not (the share of a length that cannot be read).
    QString settleStart(std::optional<double> share, double seconds, StartOrigin fixedOrigin);
    bool startSettled() const { return !m_start.isEmpty(); }
    const QString &startText() const { return m_start; } // as SoX gets it
    double start() const { return m_start.toDouble(); }
    StartOrigin origin() const { return m_origin; }

    // -- Its loudness, with a loudness target in its recipe (previewfile_loudness.cpp);
    // kbps: its preview's bit rate.
    static constexpr int JoinEncodings = 2;
    // What its encodings lose of its loudness, and the margin its planned peak keeps below the ceiling.
    double encodingLoss(int kbps) const;
    double peakMargin(int kbps) const;
    // The gain that brings the measured stretch to the target.
    Loudness::Adjustment gainFor(const Loudness::Measurement &measured, int kbps) const;
    // The rate its stretch is measured at, as the cut reads it.
    int measuringRate(int kbps) const;
    // SoX cuts the preview of the samples the analysis decoded instead of the source.
    bool keepsStretch(int kbps) const;
    // The limiter is asked for, and the preview is short enough for its stretch to be kept.
    bool limiterAsked() const;
    bool loudnessAsked() const { return m_recipe.loudness.has_value(); }
    // What the analysis of its audio is asked: its chorus (search), the loudness of its stretch
    // from its start when there is a target and the bit rate is given (measuredKbps), or both.
    SourceAnalysis::Request analysisRequest(const Tools::Found &tools, std::optional<int> measuredKbps,
                                            bool search) const;
    // Takes what the analysis found: its start, its gain, and the stretch SoX or the limiter takes.
    void takeAnalysis(const SourceAnalysis::Outcome &outcome, int kbps);
    // What the limiter brings its stretch to.
    LimitedStretch::Plan limitPlan(int kbps) const;
    // Its encoded preview is measured again: only one planned near the ceiling.
    bool measuresMade(int kbps) const;

    // With a loudness target, once measured: the gain the cut gets, and what the mark records.
    std::optional<Loudness::Adjustment> &loudness() { return m_loudness; }
    const std::optional<Loudness::Adjustment> &loudness() const { return m_loudness; }
    // Samples SoX cuts from instead of reading the source (the stretch the analysis decoded,
    // or the limiter's); none: SoX reads the source.
    const std::shared_ptr<const DecodedAudio::Stretch> &stretch() const { return m_stretch; }
    // What the program writes into SoX for its cut: the stretch as a WAVE file; none without one.
    std::optional<SampleFeed::Input> feed() const;

    // The limiter's part, where its peaks would hold its gain back, or where its encoding
    // passes the ceiling after all: the stretch as decoded, which the limiter limits, and
    // again, to a lower ceiling, for a cut again.
    void setDecoded(std::shared_ptr<const DecodedAudio::Stretch> decoded)
    {
        m_decoded = std::move(decoded);
        m_limits = bool(m_decoded);
    }
    bool usesLimiter() const { return m_limits; }
    // The ceiling it was last limited to (dBTP, before the gain).
    std::optional<double> limiterCeiling() const { return m_limiterCeiling; }
    // The limiter's run, for any thread: the first time it finds the gain that reaches the
    // plan's level (below the ceiling, or below the peak an unlimited encoding passed it with);
    // after that the gain stays and only the ceiling is lower.
    std::function<LimitedStretch::Limited()> limiting(const LimitedStretch::Plan &plan) const;
    // Takes the limited stretch to cut from, with the gain and level it reaches.
    void takeLimited(const LimitedStretch::Limited &outcome);
    // A dry run's: the runs, first to last, that give its cut the samples the process would
    // write into SoX (the stretch decoded by `program`, or by the tools, and limited); none
    // when SoX reads the source.
    QList<CommandLine> stretchRuns(const Tools::Found &tools, const QString &program, int kbps) const;
    // Lets go of the samples once its preview needs them no more.
    void dropSamples();

    // The encoder's overshoot comes after the gain, so a preview's true peak is known only once
    // it is encoded: one that passes the ceiling is cut again, its gain (with the limiter
    // asked, the limiter's ceiling) lowered by the excess and a step more, as the overshoot
    // changes with the gain; after this many times it fails.
    static constexpr int MostRecuts = 3;
    static constexpr double RecutStep = 0.1; // dB
    static double LoweredGain(double gain, double excess);
    static QString StillPassesCeiling();
    enum class Encoded { Kept, CutAgain, Failed };
    // Takes the encoded preview's true peak, and says what becomes of it. encodingLoss: the
    // LU its bit rate's encoding is planned to lose.
    Encoded takeTruePeak(double truePeak, double encodingLoss);

    // What its cut is made of, and the cut's tool runs into writeTo.
    PreviewSteps::Cut cut() const;
    PreviewSteps::CutLine cutLine(const Tools::Found &tools, const QString &writeTo) const;
    // "" when the cut written is good; else why not (PreviewSteps::CutProblem).
    QString cutProblem(const Shell32::RunResult &run, const PreviewSteps::DecoderEnd &decoder, const QString &written,
                       const QString &ffmpeg) const;
    // The mark of the preview written into `written`: what was wanted, and what it got.
    QString markText(const QString &written) const;
    // Its song's tags (or, without copyTags, none) and the mark; "" when done, else "tags not copied: <why>".
    QString tag(bool copyTags, const QString &written) const;
    // Made shorter than asked: "the song ends at 0:20: ..."; "" when not.
    QString endsEarly(const QString &preview) const;

    // What a file written under a temporary name came to.
    struct Written {
        QString problem;    // why it is not good: "" when it may take its name
        QString tagProblem; // good, but "tags not copied: <why>"
    };
    // Tags it first, so that the check sees the file as it will be kept, then checks it; the
    // tools name the temporary file they wrote, the user knows it by its final name.
    static Written Finish(const QString &written, const QString &finalName,
                          const std::function<QString(const QString &)> &tag,
                          const std::function<QString(const QString &)> &check);

private:
    int encodings() const { return m_piece ? JoinEncodings : 1; }

    QString m_source;
    PreviewRecord::Recipe m_recipe;
    bool m_piece = false;
    const OutputFormat *m_format = &OutputFormat::Mp3();
    mutable std::optional<std::optional<PreviewMark::Record>> m_wanted;
    mutable std::optional<std::optional<AudioLength>> m_length;
    QString m_bitrate;
    QString m_start;
    StartOrigin m_origin = StartOrigin::Seconds;
    std::optional<Chorus::Start> m_found;
    std::optional<Loudness::Adjustment> m_loudness;
    std::shared_ptr<const DecodedAudio::Stretch> m_stretch;
    std::shared_ptr<const DecodedAudio::Stretch> m_decoded;
    std::optional<double> m_limiterCeiling;
    bool m_limits = false; // its cut is made of the limiter's stretch
    std::optional<double> m_unlimitedExcess; // dB its encoding passed the ceiling by before it was limited
    int m_recuts = 0;
};
