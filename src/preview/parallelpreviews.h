#pragma once
// Previews of a whole list with several tools at once, for front ends without the window
// (the window keeps running one tool at a time). Every file gets the window job's own
// rules and command lines; up to `jobs` tool processes run at the same time, driven by
// QProcess on the one event loop, and the results come out in list order. A join cuts its
// pieces in parallel into a private folder, then joins them once.

#include "platform/commandline.h"
#include "preview/tools.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

class QProcess;
class QTemporaryDir;

namespace Shell32 {
struct RunResult;
}

struct PreviewSettings {
    double startSeconds = 3;
    std::optional<double> startShare; // 0 <= share < 1 of each track's length, in place of startSeconds
    double durationSeconds = 15;
    int kbps = 128;        // 0: each source's own bit rate, read by FFmpeg
    QString outputFolder;  // "": beside each source
    bool join = false;     // one Joined_Preview.mp3
    double fadeIn = 0;     // seconds; SoX's fade at the start of each preview
    double fadeOut = 0;    // ... and at its end
    int jobs = 1;          // tool processes at once

    // FFmpeg is needed to read a bit rate or a track's length.
    bool needsFfmpeg() const { return kbps == 0 || startShare.has_value(); }
};

class ParallelPreviews : public QObject {
    Q_OBJECT

public:
    struct Result {
        QString source;                     // "" for the joined file
        QString preview;                    // where the preview goes (a piece, when joining)
        bool made = false;
        QString reason;                     // why it was not made
        std::optional<CommandLine> command; // the SoX run that makes it
    };

    // sources: absolute paths, in list order. tools.sox must be usable; tools.ffmpeg is
    // needed when settings.needsFfmpeg().
    ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources,
                     QObject *parent = nullptr);
    ~ParallelPreviews() override;

    // Makes the previews. resultReady(i) follows for every file in list order, then, when
    // joining, joinedReady, and finished at the end.
    void start();
    // A dry run: reads what the command lines need (FFmpeg's probes) but runs no SoX and
    // writes nothing; every Result holds its command line, made stays false. The pieces of
    // a join are named in PieceFolder(), which a dry run never creates.
    void plan();
    // Kills the running tools, removes what they were writing and keeps finished previews;
    // finished follows. Also called by itself when a tool was ended by SIGINT, as Ctrl+C
    // in a terminal does to the whole process group.
    void stop();

    int total() const { return int(m_results.size()); }
    int finishedCount() const { return m_finished; }
    int madeCount() const;
    // The source of the oldest tool still running, "" when none runs.
    QString runningSource() const;
    bool interrupted() const { return m_stopped; }
    bool dryRun() const { return m_dryRun; }
    const QList<Result> &results() const { return m_results; }
    // The joined file's result once joinedReady was sent.
    const std::optional<Result> &joined() const { return m_joined; }
    QString pieceFolder() const { return m_pieceFolder; }

signals:
    void resultReady(int index);
    void joinedReady();
    void finished();

private:
    enum class Step { Probe, Cut, Done };
    struct Work;

    void begin();
    void pump();
    bool launchNext();
    void probe(int index);
    void probed(int index, const Shell32::RunResult &result);
    void cut(int index);
    void cutEnded(int index, const Shell32::RunResult &result);
    void join();
    void joinEnded(const Shell32::RunResult &result);
    QProcess *launch(const CommandLine &commandLine, std::function<void(const Shell32::RunResult &)> ended);
    void fail(int index, const QString &reason);
    // Ends every running tool and removes what it was writing.
    void killTools();
    void reportInOrder();
    void finish();
    QString bitrateFor(int index) const;
    bool waitsForFirstBitrate(int index) const;
    CommandLine cutCommand(int index, const QString &writeTo) const;

    Tools::Found m_tools;
    PreviewSettings m_settings;
    QList<Result> m_results;
    std::vector<Work> m_work;
    std::optional<Result> m_joined;
    std::unique_ptr<QTemporaryDir> m_pieces;
    QString m_pieceFolder;
    QList<QProcess *> m_running;
    QString m_joinWriting; // the joined file's temporary name while SoX writes it
    int m_finished = 0;
    int m_reported = 0;
    bool m_dryRun = false;
    bool m_joining = false;
    bool m_stopped = false;
    bool m_done = false;
};
