#pragma once
// Previews of a whole list with several tools at once, for front ends without the window
// (the window keeps running one tool at a time). Every file is made by the steps the
// window's job takes too: each file's PreviewFile settles its start, gives its cut's command
// line, checks what was made in the same words and tags and marks it; the source
// check, the names and the hidden temporary output renamed over the preview are the job's
// building blocks as well. What stays here is the pool's own work: up to `jobs` tool
// processes run at the same time, driven by QProcess on the one event loop, and results come
// out in list order.
// A join cuts its pieces in parallel into a private folder, then hands them to a JoinedFile,
// which joins them once with this pool's tools and threads. With update, a joined file that
// KeptJoins finds up to date is kept, and a song's own preview that is up to date is its piece.
// The list is planned in short slices of the event loop, in time linear in its length: the
// first tools start while later files are still being named, and a stop is heard at once.
// Finding a start in a track's audio, and with a loudness target the loudness of the stretch
// each preview is made of (so that the cut's gain brings it to the target), is one analysis
// of the processor in this process: it runs on a thread of its own, counted among the jobs,
// so that the event loop stays free.

// Its files, each named by its job: parallelpreviews.cpp runs the list (start, slices of the
// event loop, stop), and _report hands out results in list order. Each song goes its way in
// its SongRun, the joined files theirs in the JoinSchedule, both starting tools and threads
// through the BatchRun this shares with them; OutputNames and ToolPool keep the names and the
// tools; FileCuts says what each file's cut is made of; Pruning what a finished run finds of
// the previews whose songs are gone.

#include "batch/batchrun.h"
#include "batch/filecuts.h"
#include "batch/joinschedule.h"
#include "batch/outputnames.h"
#include "batch/pruning.h"
#include "batch/runturn.h"
#include "batch/songrun.h"
#include "batch/toolpool.h"
#include "platform/commandline.h"
#include "preview/leftovers.h"
#include "preview/previewfiles.h"
#include "preview/previewrecord.h"
#include "preview/previewresult.h"
#include "preview/previewsettings.h"
#include "preview/tools.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace Shell32 {
struct RunResult;
}

class ParallelPreviews : public QObject {
    Q_OBJECT

public:
    // Where a preview's start came from.
    using StartOrigin = PreviewRecord::StartOrigin;
    using Result = PreviewResult;

    // sources: absolute paths, in list order. tools.sox must be usable; tools.ffmpeg is
    // needed when settings.needsFfmpeg().
    ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources,
                     QObject *parent = nullptr);
    ~ParallelPreviews() override;

    // Before start() or plan(): each source's folder below the output folder, in list order
    // ("Album 1/", "" for the output folder itself), made when missing. A join makes one
    // joined file in each of them, of its own sources; previews beside their sources ignore
    // them.
    void setSubfolders(QStringList subfolders);
    // Before start() or plan(), for the orphans: roots, the run's FOLDER arguments (absolute),
    // below which alone a song can be found gone; held, when not "", why --prune removes
    // nothing this time (a folder that could not be read).
    void setPruneLimits(QStringList roots, QString held);
    // Before start(): what the output folder held when the run began, when it had to wait for
    // its turn; only a file there then is replaced, as an earlier run's.
    void setFilesAtStart(RunTurn::FilesAtStart files);

    // Makes the previews. resultReady(i) follows for every file in list order, then, when
    // joining, joinedReady, and finished at the end.
    void start();
    // A dry run: reads what the command lines need (bit rates, track lengths, starts found
    // in the audio, loudness) but runs no SoX that writes, and writes nothing; a Result
    // planned has its command line when it is ready, and in the end no reason; made stays
    // false. The pieces of a join are named in joining().pieceFolder(), removed at the end.
    void plan();
    // Kills the running tools, removes what they were writing and keeps finished previews;
    // finished follows. Also done by itself when a tool was ended by SIGINT or SIGHUP, as
    // Ctrl+C in a terminal, or closing it, does to the whole process group.
    void stop();

    int total() const { return int(m_results.size()); }
    const PreviewSettings &settings() const { return m_settings; }
    // Tools at once: settings.jobs, lowered to what the limit of open files allows.
    int jobs() const { return m_settings.jobs; }
    // Files whose preview is named (or that were refused before that) so far.
    int plannedCount() const { return m_planned; }
    int finishedCount() const { return m_finished; }
    int madeCount() const;
    // The source of the oldest tool still running, or else of an analysis; "" when none runs.
    QString runningSource() const;
    bool interrupted() const { return m_stopped; }
    const QList<Result> &results() const { return m_results; }
    // When joining: the joined file being made, or once joinedReady came the one it told of,
    // and every joined file so far (one, or with subfolders one per folder).
    const JoinSchedule &joining() const { return m_joining; }
    // Files whose preview was up to date, and kept (when joining: whose joined file was kept,
    // or whose own preview was taken as its piece).
    int keptCount() const;
    // Once finished (not stopped): the previews in the folders the run writes into whose songs
    // are gone; with settings.prune, removed unless a dry run.
    using Orphan = Orphans::Orphan;
    const Pruning &pruning() const { return m_pruning; }

signals:
    void resultReady(int index);
    void joinedReady();
    void finished();

private:
    using Ended = BatchRun::Ended;
    using Later = BatchRun::Later;

    void begin();
    void queueAdvance();
    void advance();
    void planNext();
    void pump();
    bool launchNext();
    // Starts the run; index, when not -1, is the file it runs for.
    void launch(const ToolRun &run, const Ended &ended, int index);
    // Runs work on a thread of the pool, counted among the jobs; then, on the event loop, what
    // work gives, unless the run stopped meanwhile. index: the file it works for, or -1.
    void onThread(int index, std::function<Later()> work);
    void reportInOrder();
    void killTools();
    void finish();

    Tools::Found m_tools;
    PreviewSettings m_settings;
    FileCuts m_cuts{m_settings};
    QList<Result> m_results;
    OutputNames m_names;
    std::set<int> m_waiting;              // files probed or measured, waiting for their next tool
    std::multiset<int> m_onThread;        // files whose work runs on a thread
    QStringList m_subfolders;
    RunTurn::FilesAtStart m_filesAtStart;
    QString m_joinBitrate; // a join's: the first source that could be probed gives it
    std::unique_ptr<PreviewFiles::WorkFolder> m_workFolder;
    Pruning m_pruning;
    ToolPool m_pool;
    QThreadPool m_analyses;
    int m_analysing = 0;      // analyses running
    std::atomic<bool> m_stopAnalyses{false}; // the analyses running end early
    int m_keyed = 0;          // files whose source key is known
    int m_planned = 0;
    int m_nextToStart = 0;    // the first file no tool has been started for
    Leftovers::Sweep m_sweep; // what killed runs left in the folders this one writes into
    int m_finished = 0;
    int m_reported = 0;
    bool m_advanceQueued = false;
    bool m_dryRun = false;
    bool m_stopped = false;
    bool m_done = false;
    BatchRun m_batch;
    std::vector<SongRun> m_songs; // sized once: a step that ends later finds its song there
    JoinSchedule m_joining;
};
