#pragma once
// What the parts of one batch share while it runs: its tools, settings, names and results,
// and the calls into its scheduler that start a tool, run work on a thread, and hear that a
// song waits for its next step or is done. The batch (ParallelPreviews) holds all of it and
// outlives its parts. Results are reached by index each time, never held across a turn of
// the event loop: a caller holding a copy of the list makes a write detach it.

#include "batch/filecuts.h"
#include "batch/outputnames.h"
#include "batch/runturn.h"
#include "platform/commandline.h"
#include "platform/toolrun.h"
#include "preview/leftovers.h"
#include "preview/previewfiles.h"
#include "preview/previewresult.h"
#include "preview/previewsettings.h"
#include "preview/tools.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace Shell32 {
struct RunResult;
}

struct BatchRun {
    using Ended = std::function<void(const Shell32::RunResult &)>;
    using Later = std::function<void()>;
    // index, when not -1, is the song it runs for.
    using Launch = std::function<void(const ToolRun &, const Ended &, int index)>;

    const Tools::Found &tools;
    const PreviewSettings &settings;
    const FileCuts &cuts;
    QList<PreviewResult> &results;
    OutputNames &names;
    Leftovers::Sweep &sweep; // what killed runs left in the folders this one writes into
    const RunTurn::FilesAtStart &filesAtStart;
    const QStringList &subfolders; // each source's folder below the output folder
    const std::unique_ptr<PreviewFiles::WorkFolder> &workFolder; // a join's pieces
    const QString &joinBitrate; // a join's: the first source that could be probed gives it
    const bool &dryRun;
    const bool &stopped;
    const std::atomic<bool> &stopAnalyses; // the analyses running end early

    // Starts the tool; once it ended, whatever can start next.
    Launch launch;
    // Runs work on a thread of the pool, counted among the jobs; then, on the event loop, what
    // work gives, unless the run stopped meanwhile. index: the song it works for, or -1.
    std::function<void(int index, std::function<Later()> work)> onThread;
    // The song waits for its next tool, which starts before any song not started yet.
    std::function<void(int index)> ready;
    // A song is done: made, kept, planned or failed.
    std::function<void()> done;
    // When joining: a song's probe gave the bit rate of every piece.
    std::function<void(const QString &bitrate)> joinRateFound;
    // Starts whatever can start now.
    std::function<void()> pump;

    // The bit rate a cut is encoded at: the one asked, else a join's, else the song's own.
    QString bitrate(const QString &own) const;
    // "" when the preview's folder is there or was made; else why not. A dry run makes
    // nothing and names the folder in result.newFolder instead, the first time it is needed.
    QString prepareFolder(PreviewResult &result) const;
};
