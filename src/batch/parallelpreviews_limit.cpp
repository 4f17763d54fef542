// The limiter's part of a file's way, with --limit: where its peaks hold a preview's gain
// back, the stretch its analysis decoded is limited on a thread of the pool (counted among
// the jobs, as an analysis is), and SoX cuts the preview from the limited samples with the
// gain that reaches the target; a cut whose encoding passes the ceiling is limited again,
// to a lower ceiling, from the stretch as decoded.

#include "batch/parallelwork.h"

#include "analysis/decodedaudio.h"
#include "analysis/stretchloudness.h"
#include "preview/previewcommands.h"

#include <QCoreApplication>

void ParallelPreviews::limit(int index)
{
    Work &work = m_work[size_t(index)];
    work.analysing = true;
    ++m_analysing;
    m_analyses.start([this, index,
                      limiting = work.file.limiting(work.file.limitPlan(bitrateFor(index).toInt()))] {
        const LimitedStretch::Limited outcome = limiting();
        QMetaObject::invokeMethod(this, [this, index, outcome] { limited(index, outcome); }, Qt::QueuedConnection);
    });
}

void ParallelPreviews::limited(int index, const LimitedStretch::Limited &outcome)
{
    Work &work = m_work[size_t(index)];
    work.analysing = false;
    --m_analysing;
    if (m_stopped || m_done)
        return;
    work.file.takeLimited(outcome);
    work.step = Step::Cut;
    m_waiting.insert(index);
    pump();
}

// The analysis's decoding of the stretch, as lumbrisk-cli or the tools give it, then the
// limiter: an MP3 is decoded by lumbrisk-cli itself, any other source by the tool runs the
// analysis ran.
QList<CommandLine> ParallelPreviews::limitedLine(int index) const
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString &source = m_results[index].source;
    const Work &work = m_work[size_t(index)];
    const QString &start = work.file.startText();
    QList<CommandLine> line;
    if (DecodedAudio::Decodes(source)) {
        line.append(PreviewCommands::DecodedStretch(program, source, start, PreviewCommands::SecondsText(m_cuts.duration(index)),
                                                    PreviewCommands::StretchFloatsOption));
    } else {
        const std::optional<SourceAnalysis::Pipes> pipes =
            PreviewSteps::AnalysisPipes(m_tools, source, work.file.measuringRate(bitrateFor(index).toInt()), m_cuts.duration(index), work.file.songSeconds());
        if (pipes->feeder)
            line.append(*pipes->feeder);
        line.append(pipes->stretch(start.toDouble()));
    }
    line.append(PreviewCommands::LimitedStretch(program, work.file.stretch()->rate, *work.file.limiterCeiling(),
                                                PreviewCommands::SecondsText(m_settings.fadeIn),
                                                PreviewCommands::SecondsText(m_settings.fadeOut)));
    return line;
}
