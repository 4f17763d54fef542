// What an --update run keeps of a song: its preview, when its mark says it was made of this
// very source with these settings and it is still whole (what the report says of it then is
// what its mark records); when joining, its place in a joined file kept, or else its own
// preview as its piece.
#include "batch/songrun.h"

#include "batch/keptjoins.h"
#include "preview/previewmark.h"

namespace {

// Half the hundredth of a decibel a mark records its figures to.
constexpr double RecordedRounding = 0.005;

} // namespace

void SongRun::keepIfUpToDate()
{
    const PreviewSettings &settings = m_batch->settings;
    const FileCuts &cuts = m_batch->cuts;
    PreviewResult &result = this->result();
    const std::optional<PreviewMark::Record> &wanted = m_file.wanted();
    const std::optional<QString> text = PreviewMark::Read(result.preview);
    if (!text || !wanted)
        return;
    const std::optional<PreviewMark::Record> recorded = PreviewMark::Record::Parse(*text);
    result.pinnedSongChanged = recorded && cuts.ownStart(m_index) && !recorded->sameSource(*wanted);
    if (!settings.update || settings.join)
        return;
    result.earlierForm = !recorded;
    if (!recorded || !m_file.keeps(*recorded, result.preview))
        return;
    result.upToDate = true;
    result.takeRecorded(*recorded, cuts.duration(m_index), cuts.ownStart(m_index) != nullptr, settings.loudness);
    settleKept((settings.waveform && !Waveform::FileMatches(result.preview, *settings.waveform))
               || settings.reviewPage);
}

void SongRun::settleKept(bool besides)
{
    m_step = besides ? Step::Besides : Step::Done;
    if (!besides)
        m_batch->done();
}

void SongRun::keepForJoin(const QString &joined)
{
    result().upToDate = true;
    result().preview = joined;
    settleKept(m_batch->settings.reviewPage);
}

// A join at each song's own bit rate takes the rate of the first song probed, so another
// song's preview cannot stand in for its piece; nor can one that SoX cannot read.
void SongRun::takePieceIfUpToDate(const KeptJoins &kept)
{
    const PreviewSettings &settings = m_batch->settings;
    if (settings.kbps == 0 || &settings.format->joinPieces() != settings.format)
        return;
    const std::optional<PreviewMark::Record> recorded = kept.upToDateOwnPreview(m_index);
    if (!recorded)
        return;
    PreviewResult &result = this->result();
    result.upToDate = true;
    result.pieceTaken = true;
    result.preview = m_ownPreview;
    result.takeRecorded(*recorded, m_batch->cuts.duration(m_index), m_batch->cuts.ownStart(m_index) != nullptr,
                        settings.loudness);
    // Its gain was planned for one encoding; a piece's is for two, and the join makes up the
    // rest. The peak is recorded to the hundredth: one just under where it would hold the
    // piece back may read as on it, so it is taken at the lowest it may have been. A limited
    // preview is at the target already, its peaks at the ceiling: the source's peaks, which
    // the limiter took off, hold it back no more.
    if (result.loudness && !result.loudness->limited) {
        Loudness::Measurement measured = result.loudness->measured;
        measured.truePeak -= RecordedRounding;
        const Loudness::Adjustment piece = m_file.gainFor(measured, bitrate().toInt());
        m_pieceGain = piece.gain - result.loudness->gain;
        result.loudness = piece;
    }
    settleKept(settings.reviewPage);
}
