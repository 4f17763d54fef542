// A row's loudness, when the job is asked for one: the same plan, limiter and measuring of
// the encoded preview lumbrisk-cli takes (PreviewFile), each run on a thread of its own while
// the window's events run.
#include "preview/previewjob.h"

#include "analysis/decodedaudio.h"

bool PreviewJob::planLoudness()
{
    if (!m_file.loudnessAsked())
        return true;
    const int kbps = m_bitrate.toInt();
    const SourceAnalysis::Request request = m_file.analysisRequest(m_tools, kbps, false);
    SourceAnalysis::Outcome outcome;
    Shell32::WorkAndWait([&] { outcome = SourceAnalysis::Analyse(request, [this] { return m_stopped.load(); }); },
                         &m_progress, m_progress.Text(), barValue(), rowsNow());
    if (m_stopped)
        return false;
    if (const QString problem = PreviewSteps::AnalysisProblem(outcome, m_file.source()); !problem.isEmpty()) {
        fail(m_file.source(), problem);
        return false;
    }
    m_file.takeAnalysis(outcome, kbps);
    if (m_file.usesLimiter())
        limitStretch();
    return !m_stopped;
}

void PreviewJob::limitStretch()
{
    const std::function<LimitedStretch::Limited()> limiting = m_file.limiting(m_file.limitPlan(m_bitrate.toInt()));
    LimitedStretch::Limited outcome;
    Shell32::WorkAndWait([&] { outcome = limiting(); }, &m_progress, m_progress.Text(), barValue(), rowsNow());
    m_file.takeLimited(outcome);
}

QString PreviewJob::peakProblem(const QString &written, bool &again)
{
    const int kbps = m_bitrate.toInt();
    if (!m_file.measuresMade(kbps))
        return QString();
    std::optional<double> truePeak;
    Shell32::WorkAndWait([&] { truePeak = DecodedAudio::MeasureTruePeak(written, m_file.duration(), {}); },
                         &m_progress, m_progress.Text(), barValue(), rowsNow());
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
