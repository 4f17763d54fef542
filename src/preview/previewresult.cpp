#include "preview/previewresult.h"

QString PreviewResult::commit(PreviewFiles::TemporaryOutput &output)
{
    const QString problem = output.commit();
    if (problem.isEmpty() && output.finalPath() != preview) {
        planned = preview;
        preview = output.finalPath();
    }
    return problem;
}

void PreviewResult::wroteWaveform(const QString &problem, Waveform::Format format)
{
    waveformProblem = problem.isEmpty() ? QString() : QStringLiteral("waveform not written: ") + problem;
    if (problem.isEmpty())
        waveform = Waveform::PathBeside(preview, format);
}

void PreviewResult::takeRecorded(const PreviewMark::Record &recorded, double seconds, bool pinned,
                                 const std::optional<double> &target)
{
    using StartOrigin = PreviewRecord::StartOrigin;
    start = recorded.value(QStringLiteral("at")).toDouble();
    duration = seconds;
    const StartOrigin madeFrom = PreviewRecord::RecordedOrigin(recorded);
    // A row of this run's list pins the start the preview was made from, whatever chose it
    // then: the report says so, and a review starts from it.
    startFrom = pinned ? StartOrigin::List : madeFrom;
    startIsShare = startFrom == StartOrigin::Share;
    if (target)
        loudness = PreviewRecord::RecordedLoudness(recorded, *target);
    if (madeFrom == StartOrigin::Chorus || madeFrom == StartOrigin::Fallback)
        foundStart = PreviewRecord::RecordedStart(recorded);
}

void PreviewResult::takeMade(const PreviewFile &file, bool share)
{
    foundStart = file.found();
    loudness = file.loudness();
    if (!file.startSettled())
        return;
    start = file.start();
    duration = file.duration();
    startIsShare = !file.found() && share;
    startFrom = file.origin();
}
