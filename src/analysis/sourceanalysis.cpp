#include "analysis/sourceanalysis.h"

#include "analysis/chorusanalyzer.h"
#include "analysis/decodedaudio.h"
#include "analysis/stretchloudness.h"

#include <cmath>

namespace SourceAnalysis {

namespace {

// A tool run that ended badly, not stopped on purpose: the reader, or the decoder feeding it,
// which gave up on a damaged source (the reader then ends as at the song's end).
bool failed(const PipeDecode::Ended &ended)
{
    return !ended.stoppedEarly && (!ended.reader.succeeded() || ended.decoderFailure != 0);
}

// The whole song, as far as the limit, through the chorus search.
void search(const Request &request, const std::function<bool()> &stopped, Outcome &outcome)
{
    if (request.knownSeconds && *request.knownSeconds > Chorus::LongestSongSeconds) {
        outcome.found = Chorus::TooLong(*request.knownSeconds);
        return;
    }
    Analysis::ChorusAnalyzer chorus(request.previewSeconds, request.songPicture);
    Analysis::Pass pass({&chorus}, Chorus::LongestSongSeconds);
    if (request.pipes) {
        const PipeDecode::Ended ended = PipeDecode::Feed(request.pipes->search, request.pipes->feeder,
                                                         Chorus::DecodingRate, 1, pass, stopped);
        if (failed(ended))
            outcome.failedRun = ended;
    } else {
        DecodedAudio::Reading reading;
        reading.mono = true;
        DecodedAudio::Feed(request.source, reading, pass);
    }
    if (outcome.failedRun || stopped())
        return;
    outcome.noAudio = !chorus.start();
    outcome.song = chorus.picture();
    if (const std::optional<Chorus::Start> &start = chorus.start()) {
        // To the millisecond, as SoX gets it, so that the stretch measured is the one cut.
        outcome.found = *start;
        outcome.found->seconds = std::round(start->seconds * 1000) / 1000;
    }
}

// Only the stretch: an MP3 seeks to it, a tool trims it.
void measure(const Request &request, double start, const std::function<bool()> &stopped, Outcome &outcome)
{
    Analysis::StretchLoudness stretch({0, request.previewSeconds, request.fadeIn, request.fadeOut});
    Analysis::Pass pass({&stretch}, Chorus::LongestSongSeconds);
    if (request.pipes) {
        const PipeDecode::Ended ended = PipeDecode::Feed(request.pipes->stretch(start), request.pipes->feeder,
                                                         *request.loudnessRate, 2, pass, stopped);
        if (failed(ended))
            outcome.failedRun = ended;
    } else {
        // A start past the end seeks nowhere: silence, and the cut tells why.
        DecodedAudio::Feed(request.source, DecodedAudio::Reading{false, *request.loudnessRate, start}, pass);
    }
    if (outcome.failedRun || stopped())
        return;
    outcome.measured = stretch.measured();
    if (const std::optional<double> &integrated = outcome.measured->integrated) {
        const double holdsBack = Loudness::PeakThatHoldsBack(*integrated, request.loudnessTarget, request.encodingLoss,
                                                             request.peakMargin);
        outcome.measured->truePeak = stretch.truePeakAbove(holdsBack);
    }
    if (request.keepStretch) {
        DecodedAudio::Stretch kept{stretch.rate(), 2, stretch.takeFrames()};
        if (kept.frames() > 0)
            outcome.stretch = std::make_shared<const DecodedAudio::Stretch>(std::move(kept));
    }
}

} // namespace

Outcome Analyse(const Request &request, const std::function<bool()> &stopped)
{
    Outcome outcome;
    if (request.search)
        search(request, stopped, outcome);
    if (request.search && !outcome.found)
        return outcome;
    if (request.loudnessRate)
        measure(request, outcome.found ? outcome.found->seconds : request.start, stopped, outcome);
    return outcome;
}

} // namespace SourceAnalysis
