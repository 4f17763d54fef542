// One row's way to its preview or its piece of the join: its own start, its cut by the steps
// lumbrisk-cli takes (PreviewSteps), the check, and its tags and mark.
#include "preview/previewjob.h"

#include "analysis/sourceaudio.h"
#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/songstart.h"

#include <QFile>
#include <QLocale>

#include <cmath>

using Shell32::RunResult;

bool PreviewJob::settleStart(const QString &sourcePath)
{
    m_chorus.reset();
    m_startFrom = m_startCut.startShare ? PreviewRecord::StartOrigin::Share : PreviewRecord::StartOrigin::Seconds;
    if (!SongStart::PerSong(m_startCut))
        return true;
    const SongStart::Found found = SongStart::ForSong(
        m_startCut, sourcePath, QLocale::c().toDouble(m_duration), m_tools,
        [this](const std::function<void()> &work) {
            Shell32::WorkAndWait(work, &m_progress, m_progress.Text(), barValue(), rowsNow());
        },
        [this] { return m_stopped.load(); });
    if (!found.problem.isEmpty())
        fail(sourcePath, found.problem);
    if (m_stopped || !found.problem.isEmpty())
        return false;
    m_start = PreviewCommands::SecondsText(found.seconds);
    m_chorus = found.chorus;
    const QString clock = PreviewCommands::ClockText(std::floor(found.seconds)); // whole seconds, as people say them
    m_progress.setText(m_progress.Text() + QStringLiteral(" from ") + clock);
    if (!m_chorus)
        return true;
    m_startFrom = m_chorus->fromChorus ? PreviewRecord::StartOrigin::Chorus : PreviewRecord::StartOrigin::Fallback;
    if (!m_chorus->fromChorus)
        m_startNotes.append(sourcePath + QStringLiteral(": ") + PreviewSteps::QuarterInNote(*m_chorus));
    return true;
}

void PreviewJob::cut(const QString &sourcePath, const QString &ownName)
{
    const QString planned = separateOutputFor(ownName);
    QString outputPath = planned;
    const std::optional<AudioLength> length = SourceAudio::Measure(sourcePath);
    const PreviewSteps::Cut cut = cutOf(sourcePath, length);
    PreviewSteps::DecoderEnd decoder;
    const QString problem = writeThroughTemporary(
        outputPath, PreviewFiles::EarlierFile::At(planned),
        [&](const QString &written) { return runCut(cut, written, decoder); },
        [&](const RunResult &result, const QString &written) {
            return PreviewSteps::CutProblem(result, decoder, written, cut, length, m_tools.ffmpeg);
        },
        [&](const QString &written) { return PreviewSteps::Tag(true, sourcePath, written, markText(sourcePath, written)); });
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
    const std::optional<AudioLength> length = SourceAudio::Measure(sourcePath);
    const PreviewSteps::Cut cut = cutOf(sourcePath, length);
    PreviewSteps::DecoderEnd decoder;
    const RunResult result = runCut(cut, piecePath, decoder);
    if (m_stopped)
        return;
    const QString problem = PreviewSteps::CutProblem(result, decoder, piecePath, cut, length, m_tools.ffmpeg);
    if (!problem.isEmpty()) {
        QFile::remove(piecePath);
        fail(sourcePath, problem);
        return;
    }
    ++m_made;
    m_joinList.append(piecePath);
    m_joinSources.append(sourcePath);
    m_joinRecords.append(wantedRecord(sourcePath));
    m_joinStarts.append(m_start.toDouble());
}

PreviewSteps::Cut PreviewJob::cutOf(const QString &sourcePath, std::optional<AudioLength> length) const
{
    PreviewSteps::Cut cut;
    cut.source = sourcePath;
    cut.bitrate = m_bitrate;
    cut.start = m_start;
    cut.duration = QLocale::c().toDouble(m_duration);
    if (length)
        cut.songSeconds = length->seconds;
    return cut;
}

RunResult PreviewJob::runCut(const PreviewSteps::Cut &cut, const QString &writeTo, PreviewSteps::DecoderEnd &decoder)
{
    const PreviewSteps::CutLine line = PreviewSteps::CutCommand(m_tools, cut, writeTo);
    if (!line.decoder)
        return runSox(line.sox, rowsNow());
    RunResult fed;
    const RunResult result =
        Shell32::RunPipedAndWait(*line.decoder, line.sox, &m_progress, m_progress.Text(), barValue(), rowsNow(), fed);
    decoder = PreviewSteps::EndOf(fed);
    return result;
}

std::optional<PreviewMark::Record> PreviewJob::wantedRecord(const QString &sourcePath) const
{
    PreviewRecord::Recipe recipe;
    recipe.start = PreviewRecord::StartRule(m_startCut.startAtChorus, m_startCut.startShare,
                                            m_startCut.startSeconds.value_or(0));
    recipe.duration = QLocale::c().toDouble(m_duration);
    recipe.kbps = m_kbpsChosen;
    return PreviewRecord::Wanted(sourcePath, recipe);
}

QString PreviewJob::markText(const QString &sourcePath, const QString &written) const
{
    const std::optional<PreviewMark::Record> wanted = wantedRecord(sourcePath);
    if (!wanted)
        return QString();
    PreviewRecord::Made made;
    made.start = m_start.toDouble();
    made.origin = m_startFrom;
    made.found = m_chorus ? &*m_chorus : nullptr;
    return PreviewRecord::MarkText(*wanted, made, written);
}

QString PreviewJob::joinedMarkText(const QString &written) const
{
    QList<PreviewMark::Record> pieces;
    for (const std::optional<PreviewMark::Record> &piece : m_joinRecords) {
        if (!piece)
            return QString();
        pieces.append(*piece);
    }
    const PreviewMark::Record wanted = PreviewRecord::WantedJoin(pieces, m_joinSources, 0, std::nullopt);
    return PreviewRecord::JoinedMarkText(wanted, pieces, m_joinStarts, std::nullopt, written);
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
    // Before the check, so that the check sees the file as it will be kept.
    const QString tagProblem = tag(output.path());
    // SoX names the file it wrote; the user knows it by its final name.
    QString problem = check(result, output.path()).replace(output.path(), output.finalPath());
    if (problem.isEmpty())
        problem = output.commit();
    if (!problem.isEmpty())
        return problem;
    outputPath = output.finalPath();
    if (!tagProblem.isEmpty())
        m_untagged.append(outputPath + QStringLiteral(": ") + tagProblem);
    return problem;
}
