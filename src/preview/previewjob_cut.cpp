// One row's way to its preview or its piece of the join: its own start, then its cut, the
// check, and its tags and mark by the file lumbrisk-cli takes each song's way with (PreviewFile).
#include "preview/previewjob.h"

#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/songstart.h"

#include <QFile>
#include <QLocale>

#include <cmath>

using Shell32::RunResult;

bool PreviewJob::settleStart(const QString &sourcePath)
{
    PreviewRecord::Recipe recipe;
    recipe.start = PreviewRecord::StartRule(m_startCut.startAtChorus, m_startCut.startShare,
                                            m_startCut.startSeconds.value_or(0));
    recipe.duration = QLocale::c().toDouble(m_duration);
    recipe.loudness = m_controls.loudnessTarget();
    recipe.limit = recipe.loudness && m_controls.limit();
    m_file = PreviewFile(sourcePath, recipe, m_controls.joinPreviews());
    if (m_startCut.startAtChorus && !analyse(std::nullopt, true))
        return false;
    const QString problem = m_file.settleStart(
        m_startCut.startShare, m_startCut.startSeconds.value_or(3),
        m_startCut.startShare ? PreviewRecord::StartOrigin::Share : PreviewRecord::StartOrigin::Seconds);
    if (!problem.isEmpty()) {
        fail(sourcePath, problem);
        return false;
    }
    if (!SongStart::PerSong(m_startCut))
        return true;
    const QString clock = PreviewCommands::ClockText(std::floor(m_file.start())); // whole seconds, as people say them
    m_progress.setText(m_progress.Text() + QStringLiteral(" from ") + clock);
    if (const std::optional<Chorus::Start> &found = m_file.found(); found && !found->fromChorus)
        m_startNotes.append(sourcePath + QStringLiteral(": ") + PreviewSteps::QuarterInNote(*found));
    return true;
}

bool PreviewJob::analyse(std::optional<int> measuredKbps, bool search)
{
    const SourceAnalysis::Request request = m_file.analysisRequest(m_tools, measuredKbps, search);
    SourceAnalysis::Outcome outcome;
    waitFor([&] { outcome = SourceAnalysis::Analyse(request, [this] { return m_stopped.load(); }); });
    if (m_stopped)
        return false;
    if (const QString problem = PreviewSteps::AnalysisProblem(outcome, m_file.source()); !problem.isEmpty()) {
        fail(m_file.source(), problem);
        return false;
    }
    m_file.takeAnalysis(outcome, measuredKbps.value_or(0));
    return true;
}

void PreviewJob::waitFor(const std::function<void()> &work)
{
    waitFor(work, rowsNow());
}

void PreviewJob::waitFor(const std::function<void()> &work, int count)
{
    Shell32::WorkAndWait(work, &m_progress, m_progress.Text(), barValue(), count);
}

void PreviewJob::cut(const QString &sourcePath, const QString &ownName)
{
    if (!planLoudness())
        return;
    const QString planned = separateOutputFor(ownName);
    QString outputPath = planned;
    m_file.length(); // read before SoX reads the source, so that the check sees a change
    const PreviewFiles::EarlierFile earlier = PreviewFiles::EarlierFile::At(planned);
    QString problem;
    bool again = true;
    while (again && !m_stopped) {
        again = false;
        PreviewSteps::DecoderEnd decoder;
        problem = writeThroughTemporary(
            outputPath, earlier, [&](const QString &written) { return runCut(written, decoder); },
            [&](const RunResult &result, const QString &written) {
                const QString cutProblem = m_file.cutProblem(result, decoder, written, m_tools.ffmpeg);
                return cutProblem.isEmpty() ? peakProblem(written, again) : cutProblem;
            },
            [&](const QString &written) { return m_file.tag(true, written); });
        if (again && m_file.usesLimiter())
            limitStretch();
    }
    if (m_stopped)
        return;
    if (!problem.isEmpty()) {
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    m_written.insert(PreviewFiles::FileKey(outputPath));
    noteFreeName(sourcePath, ownName, planned, outputPath);
}

void PreviewJob::cutPiece(const QString &sourcePath, const QString &piecePath)
{
    if (piecePath.isEmpty()) {
        fail(sourcePath, m_work->problem());
        return;
    }
    if (!planLoudness())
        return;
    m_file.length(); // read before SoX reads the source, so that the check sees a change
    PreviewSteps::DecoderEnd decoder;
    const RunResult result = runCut(piecePath, decoder);
    if (m_stopped)
        return;
    const QString problem = m_file.cutProblem(result, decoder, piecePath, m_tools.ffmpeg);
    if (!problem.isEmpty()) {
        QFile::remove(piecePath);
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    JoinedFile::Piece piece;
    piece.source = sourcePath;
    piece.path = piecePath;
    piece.seconds = OutputFormat::Mp3().soxSeconds(piecePath).value_or(0);
    piece.start = m_file.start();
    piece.wanted = m_file.wanted();
    m_joinPieces.append(piece);
}

RunResult PreviewJob::runCut(const QString &writeTo, PreviewSteps::DecoderEnd &decoder)
{
    const PreviewSteps::CutLine line = m_file.cutLine(m_tools, writeTo);
    RunResult result;
    waiting(rowsNow())({line.sox, line.decoder, m_file.feed().value_or(SampleFeed::Input()), line.encoder},
                       [&](const RunResult &ended, const std::optional<RunResult> &fed) {
                           result = ended;
                           if (fed)
                               decoder = PreviewSteps::EndOf(*fed);
                       });
    return result;
}

QString PreviewJob::writeThroughTemporary(QString &outputPath, const PreviewFiles::EarlierFile &earlier,
                                          const std::function<RunResult(const QString &)> &run,
                                          const std::function<QString(const RunResult &, const QString &)> &check,
                                          const std::function<QString(const QString &)> &tag)
{
    m_sweep.removeFrom(Main::FolderOf(Main::AbsolutePath(outputPath)));
    PreviewFiles::TemporaryOutput output(outputPath, earlier);
    if (!output.created())
        return output.problem();
    m_pending = &output;
    const RunResult result = run(output.path());
    m_pending = nullptr;
    if (m_stopped)
        return QString();
    const PreviewFile::Written written = PreviewFile::Finish(
        output.path(), output.finalPath(), tag, [&](const QString &path) { return check(result, path); });
    const QString problem = written.problem.isEmpty() ? output.commit() : written.problem;
    if (!problem.isEmpty())
        return problem;
    outputPath = output.finalPath();
    noteUntagged(outputPath, written.tagProblem);
    return problem;
}

void PreviewJob::noteUntagged(const QString &preview, const QString &tagProblem)
{
    if (!tagProblem.isEmpty())
        m_untagged.append(preview + QStringLiteral(": ") + tagProblem);
}
