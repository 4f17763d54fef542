// Naming a song's preview, what its cut is made of (bit rate, start, command line), and how
// its way ends.
#include "batch/songrun.h"

#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/previewmark.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Why a source that was there when the run began cannot be opened now (removed meanwhile, or
// refused), in words of ours rather than the tool's; "" when it can be.
QString openProblem(const QString &source)
{
    const int descriptor = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0) {
        ::close(descriptor);
        return QString();
    }
    if (errno == ENOENT)
        return QStringLiteral("it is gone: no such file");
    return QStringLiteral("it cannot be read: ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

SongRun::SongRun(const BatchRun &batch, int index) : m_batch(&batch), m_index(index) {}

PreviewResult &SongRun::result() const
{
    return m_batch->results[m_index];
}

void SongRun::plan()
{
    m_step = m_batch->settings.kbps == 0 ? Step::Probe : stepAfterProbe();
    QString problem = PreviewFiles::SourceProblem(result().source);
    if (problem.isEmpty())
        problem = openProblem(result().source);
    if (!problem.isEmpty())
        fail(problem);
    else if (m_batch->settings.join && !m_batch->workFolder->isValid())
        fail(m_batch->workFolder->problem());
    else
        nameOutput();
}

// A second source of one base name gets a free name, as in the window.
void SongRun::nameOutput()
{
    const PreviewSettings &settings = m_batch->settings;
    PreviewResult &result = this->result();
    m_file = PreviewFile(result.source, m_batch->cuts.recipe(m_index), settings.join, *settings.format);
    // What it is to record is looked at once it is named, before any tool reads it.
    m_file.wanted();
    if (settings.join) {
        result.preview = m_batch->workFolder->piecePath(m_index + 1, settings.format->joinPieces());
        // Named as a run without the join names it.
        if (settings.update)
            m_ownPreview = m_batch->names.claimFree(
                PreviewCommands::OutputPath(outputFolder(), result.source, *settings.format));
        return;
    }
    // A song of the list, or any file without the mark, under the preview's name is left alone.
    const QString output = PreviewCommands::OutputPath(outputFolder(), result.source, *settings.format);
    result.preview = m_batch->names.claimFree(output);
    if (result.preview != output && (m_batch->names.isSource(output) || PreviewMark::IsUnmarkedFile(output)))
        result.avoided = output;
    m_earlier = m_batch->filesAtStart.earlierAt(result.preview);
    keepIfUpToDate();
}

QString SongRun::outputFolder() const
{
    if (m_batch->settings.outputFolder.isEmpty())
        return Main::FolderOf(result().source);
    return m_batch->settings.outputFolder + QLatin1Char('/') + m_batch->subfolders.value(m_index);
}

void SongRun::startStep()
{
    switch (m_step) {
    case Step::Probe:
        return probe();
    case Step::Analyse:
        return analyse();
    case Step::Limit:
        return limit();
    case Step::Cut:
        return cut();
    case Step::Besides:
        return completeMade();
    case Step::Done:
        return;
    }
}

SongRun::Step SongRun::stepAfterProbe() const
{
    return m_batch->cuts.atChorus(m_index) || m_batch->settings.loudness ? Step::Analyse : Step::Cut;
}

void SongRun::joinRateKnown()
{
    if (m_step == Step::Probe)
        m_step = stepAfterProbe();
}

void SongRun::decoderEnded(const PreviewSteps::DecoderEnd &decoder)
{
    m_decoder = decoder;
}

void SongRun::dropOutput()
{
    m_output.reset();
}

QString SongRun::bitrate() const
{
    return m_batch->bitrate(m_bitrate);
}

bool SongRun::settleStart()
{
    if (m_file.startSettled())
        return true;
    const FileCuts &cuts = m_batch->cuts;
    const QString problem = m_file.settleStart(cuts.share(m_index), cuts.seconds(m_index), cuts.origin(m_index));
    if (!problem.isEmpty())
        fail(problem);
    return problem.isEmpty();
}

void SongRun::setCutLine(const QString &writeTo)
{
    m_file.setBitrate(bitrate(), m_batch->settings.kbps);
    PreviewSteps::CutLine line = m_file.cutLine(m_batch->tools, writeTo);
    PreviewResult &result = this->result();
    result.command = std::move(line.sox);
    result.decoder = std::move(line.decoder);
    result.encoder = std::move(line.encoder);
}

QString SongRun::written() const
{
    return m_output ? m_output->path() : result().preview;
}

void SongRun::succeed()
{
    m_step = Step::Done;
    result().made = true;
    m_batch->done();
}

void SongRun::fail(const QString &reason)
{
    m_step = Step::Done;
    m_file.dropSamples();
    result().takeMade(m_file, m_batch->cuts.share(m_index).has_value());
    result().reason = reason;
    m_batch->done();
}
