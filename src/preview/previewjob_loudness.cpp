// A row's loudness, when the job is asked for one: the same plan, limiter and measuring of
// the encoded preview lumbrisk-cli takes (PreviewFile), each run on a thread of its own while
// the window's events run.
#include "preview/previewjob.h"

#include "analysis/decodedaudio.h"

bool PreviewJob::planLoudness()
{
    if (!m_file.loudnessAsked())
        return true;
    if (!analyse(m_bitrate.toInt(), false))
        return false;
    if (m_file.usesLimiter())
        limitStretch();
    return !m_stopped;
}

void PreviewJob::limitStretch()
{
    const std::function<LimitedStretch::Limited()> limiting = m_file.limiting(m_file.limitPlan(m_bitrate.toInt()));
    LimitedStretch::Limited outcome;
    waitFor([&] { outcome = limiting(); });
    m_file.takeLimited(outcome);
}

QString PreviewJob::peakProblem(const QString &written, bool &again)
{
    const int kbps = m_bitrate.toInt();
    if (!m_file.measuresMade(kbps))
        return QString();
    std::optional<double> truePeak;
    waitFor([&] { truePeak = DecodedAudio::MeasureTruePeak(written, m_file.duration(), OutputFormat::OfPreview(written).decoder()); });
    if (!truePeak)
        return QString();
    switch (m_file.takeTruePeak(*truePeak, m_file.encodingLoss(kbps))) {
    case PreviewFile::Encoded::Kept:
        return QString();
    case PreviewFile::Encoded::CutAgain:
        again = true;
        // Never shown: the preview is cut again.
        return QStringLiteral("its encoding passes the peak ceiling");
    case PreviewFile::Encoded::Failed:
        break;
    }
    return PreviewFile::StillPassesCeiling();
}
