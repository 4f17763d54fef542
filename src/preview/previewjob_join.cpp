// The join: the pieces the rows were cut into, made into one file by the way lumbrisk-cli
// makes its joined files (JoinedFile), each of its tool runs and its measuring waited for in
// turn while the window's events run.
#include "preview/previewjob.h"

#include "platform/errorreport.h"
#include "platform/main.h"
#include "preview/previewcommands.h"

#include <QScopeGuard>

QString PreviewJob::joinedOutputIn(const QString &folder)
{
    // A file of the list under the joined name fails the join instead (see join()).
    const QString joined = PreviewCommands::JoinedPath(folder);
    return isSource(joined) ? joined : JoinedFile::PathIn(folder, OutputFormat::Mp3());
}

void PreviewJob::join(GuardedSteps &steps)
{
    if (m_joinPieces.isEmpty())
        return; // every source failed and is reported already
    const int entries = int(m_joinPieces.size());
    const PreviewSettings settings = joinSettings();
    PreviewResult joined;
    joined.preview = m_joinedPath;
    JoinedFile file(m_tools, settings, joined, m_joinPieces, m_bitrate, joinRun(entries));
    if (const QString refusal = file.refusal(isSource(m_joinedPath)); !refusal.isEmpty()) {
        fail(m_joinedPath, refusal);
        m_made = 0;
        return;
    }
    // Every piece is complete: its SoX has ended and been waited for.
    for (int entry = 1; entry <= entries; ++entry)
        showJoinStep(steps, 160, entry, entries);
    steps.run(174, [&] { makeJoined(file); });
    if (m_stopped)
        return;
    tellJoined(joined);
    for (int entry = 1; entry <= entries; ++entry) {
        showJoinStep(steps, 178, entry, entries);
        steps.run(184, [&] { Main::RemoveFile(m_joinPieces.at(entry - 1).path); });
    }
}

// The window's join is an MP3 at the rows' bit rate with their tags, without crossfades, and
// with the loudness the job is asked for.
PreviewSettings PreviewJob::joinSettings() const
{
    PreviewSettings settings;
    settings.join = true;
    settings.loudness = m_controls.loudnessTarget();
    settings.limit = settings.loudness && m_controls.limit();
    return settings;
}

// Each run and each work is waited for where it is asked, so the joined file has ended by
// the time make() returns; a stop leaves what a work would have done next undone.
JoinedFile::Run PreviewJob::joinRun(int entries)
{
    JoinedFile::Run run;
    run.launch = [this, entries](const ToolRun &tool, const RunEnded &ended) { waiting(entries)(tool, ended); };
    run.background = [this, entries](const std::function<JoinedFile::Later()> &work) {
        JoinedFile::Later later;
        waitFor([&] { later = work(); }, entries);
        if (!m_stopped)
            later();
    };
    run.ended = [] {};
    return run;
}

void PreviewJob::makeJoined(JoinedFile &file)
{
    m_sweep.removeFrom(Main::FolderOf(m_joinedPath));
    m_joining = &file;
    const auto forget = qScopeGuard([this] { m_joining = nullptr; });
    file.make(m_joinedEarlier);
}

void PreviewJob::tellJoined(const PreviewResult &joined)
{
    if (!joined.made) {
        fail(m_joinedPath, joined.reason);
        m_made = 0;
        return;
    }
    const QString ownName = PreviewCommands::JoinedPath(Main::FolderOf(m_joinedPath));
    noteFreeName(ownName, ownName, m_joinedPath, joined.preview);
    noteUntagged(joined.preview, joined.tagProblem);
}
