// Naming the previews, in list order, and the folders they go into.
#include "batch/parallelwork.h"

#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/previewfiles.h"
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

// The key of every source comes first: a file late in the list may be where an early preview
// would go.
void ParallelPreviews::planNext()
{
    if (m_keyed < total()) {
        const QString &source = m_results[m_keyed++].source;
        m_names.addSource(source);
        return;
    }
    const int index = m_planned++;
    m_work[size_t(index)].step = m_settings.kbps == 0 ? Step::Probe : stepAfterProbe(index);
    QString problem = PreviewFiles::SourceProblem(m_results[index].source);
    if (problem.isEmpty())
        problem = openProblem(m_results[index].source);
    if (!problem.isEmpty())
        fail(index, problem);
    else if (m_settings.join && !m_workFolder->isValid())
        fail(index, m_workFolder->problem());
    else
        nameOutput(index);
    // A joined file is kept, or its songs' own previews taken, only once all its songs are named.
    if (m_planned == total() && m_settings.join && m_settings.update)
        keepJoinsUpToDate();
}

// Names are given in list order, so that they never depend on which tool ends first: a
// second source of one base name gets a free name, as in the window.
void ParallelPreviews::nameOutput(int index)
{
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    work.file = PreviewFile(result.source, m_cuts.recipe(index), m_settings.join, *m_settings.format);
    // What it is to record is looked at once it is named, before any tool reads it.
    work.file.wanted();
    if (m_settings.join) {
        result.preview = m_workFolder->piecePath(index + 1, m_settings.format->joinPieces());
        // Named as a run without the join names it.
        if (m_settings.update)
            work.ownPreview =
                m_names.claimFree(PreviewCommands::OutputPath(outputFolderOf(index), result.source, *m_settings.format));
        return;
    }
    // A song of the list, or any file without the mark, under the preview's name is left alone.
    const QString output = PreviewCommands::OutputPath(outputFolderOf(index), result.source, *m_settings.format);
    result.preview = m_names.claimFree(output);
    if (result.preview != output && (m_names.isSource(output) || PreviewMark::IsUnmarkedFile(output)))
        result.avoided = output;
    work.earlier = m_filesAtStart.earlierAt(result.preview);
    keepIfUpToDate(index);
}

QString ParallelPreviews::outputFolderOf(int index) const
{
    if (m_settings.outputFolder.isEmpty())
        return Main::FolderOf(m_results[index].source);
    return m_settings.outputFolder + QLatin1Char('/') + m_subfolders.value(index);
}

QString ParallelPreviews::prepareFolder(Result &result)
{
    return m_names.prepareFolder(Main::FolderOf(result.preview), m_dryRun, result.newFolder);
}
