#pragma once
// What lumbrisk-cli tells while and after it works. Progress, reasons and the summary go
// to standard error: on a terminal one self-updating line, otherwise one line per finished
// file, in list order. Results go to standard output: the JSON report, or a dry run's
// shell-quoted command lines.
// ScanProgress shows the scan of FOLDER arguments before that, on the same line.

#include "platform/commandline.h"
#include "batch/parallelpreviews.h"
#include "platform/timeleft.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <optional>

class ConsoleReport : public QObject {
    Q_OBJECT

public:
    enum class Mode {
        Progress, // progress, reasons, summary
        Quiet,    // reasons only
        Json,     // reasons, and the JSON report at the end
        DryRun,   // the command lines, and reasons
        JsonPlan, // reasons, and the JSON report of a dry run at the end
    };

    // Follows the previews from now on; terminal: standard error is a terminal.
    ConsoleReport(const ParallelPreviews &previews, Mode mode, bool terminal, QObject *parent = nullptr);

    // The paths left out before the run because their names are not valid UTF-8: each told
    // now, with its bytes escaped, then listed in the summary and the JSON report.
    void tellLeftOut(const QList<QByteArray> &paths);
    // The folders that could not be read whole, each with why: each told now, and counted as
    // left out.
    void tellUnread(const QList<QPair<QString, QString>> &folders);
    // Each source as the progress line names it, in list order: "Album 2/Track 5.flac".
    void showNames(const QStringList &names);

    // 0 when every preview (and every joined one) was made or, in a dry run, planned, or was
    // up to date, and nothing was left out; else 1.
    int exitStatus() const;

    // A word as a POSIX shell reads it back unchanged: bare when it is made of safe
    // characters only, in bash's $'...' when it holds control characters (a terminal would
    // obey them), else in single quotes.
    static QString ShellQuoted(const QString &word);

private:
    // Why a path was left out before the run.
    static const QString LeftOutReason;
    // Made or, in a dry run, planned.
    bool done(const ParallelPreviews::Result &result) const;
    void resultReady(int index);
    void joinedReady();
    void finished();
    void printLine(const QString &line);
    void drawProgress();
    // The result's command line, shell-quoted, after the lines piped into it and before the
    // encoder it writes into, each with its pipe; the encoder's file then takes the preview's name.
    QString commandText(const ParallelPreviews::Result &result) const;
    void printCommand(const ParallelPreviews::Result &result);
    // The runs whose output a file's command line reads: its decoder, or a limiter's line.
    static QList<CommandLine> pipedInto(const ParallelPreviews::Result &result);
    QString shellWords(const CommandLine &command) const;
    // What is told of a song (consolereport_warnings.cpp), named as progress names it: below
    // its FOLDER ("Album 1/01 - Song.mp3"), as albums repeat track names.
    QString shownName(const QString &source) const;
    // What is told of a preview besides its line: the four below.
    void printNotes(const ParallelPreviews::Result &result);
    // "<song>: nothing repeats in it, ..." when its start could not be the chorus.
    void printNoChorus(const ParallelPreviews::Result &result);
    // "Quiet.mp3: -18.2 LUFS, held back by its peaks", when its peaks kept it below the target;
    // "Loud.mp3: -14.0 LUFS, its peaks limited by up to 4.2 dB", when the limiter took them down.
    void printHeldBack(const ParallelPreviews::Result &result);
    // "<song>: changed since its start was pinned; kept at 1:05 ...": a new mix of a song
    // whose row of --starts gives its start.
    void printPinnedSongChanged(const ParallelPreviews::Result &result);
    // "<song>: its 320 kbit/s is more than Opus takes: ...": -b same could not keep its rate.
    void printUnkeptRate(const ParallelPreviews::Result &result);
    void printSummary();
    // The previews whose songs are gone: each told, or a dry run's line that removes it
    // (consolereport_notes.cpp).
    void printOrphans();
    void printDoubts();
    // What the summary adds once: numbered names, marks of an earlier version, orphans.
    QString namesNote() const;
    // What is told of joined files (consolereport_joins.cpp).
    // A file kept as it is: a preview, a song of a joined file that was kept, or a song whose
    // own preview was taken for the join.
    static QString KeptLine(const ParallelPreviews::Result &result, bool joining);
    // What a joined file measures as encoded, and whether it was lowered.
    static QString JoinedLoudnessLine(const ParallelPreviews::Result &joined);
    // With several joined files: how many were made, of how many pieces of how many songs.
    QString joinsSummary(int pieces, int songs) const;
    // With update: the joined files kept, and the songs' own previews taken as pieces.
    QString joinsKeptNote() const;
    // With update: every joined file was up to date and kept.
    bool allJoinsKept() const;
    // The joined files told of, or the one under way when the run stopped before.
    QList<ParallelPreviews::Result> joins() const;
    void printJson(); // in consolereport_json.cpp

    const ParallelPreviews &m_previews;
    Mode m_mode;
    bool m_terminal;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    bool m_lineShown = false;       // the self-updating line is on the screen
    bool m_pieceFolderMade = false; // a dry run's join has printed the line that makes "$work"
    QList<QPair<QString, QString>> m_leftOut; // escaped, and why
    QHash<QString, QString> m_shownNames; // by source path
    TimeLeft m_timeLeft; // of the files that needed work
    // A dry run's command lines for its JSON report: of each file by its index, of each
    // joined file by its path.
    QHash<int, QString> m_plannedCommands;
    QHash<QString, QString> m_plannedJoins;
};

// While FOLDER arguments are scanned: the files found so far, on the self-updating line of a
// terminal, redrawn twice a second once the scan has taken that long.
class ScanProgress {
public:
    explicit ScanProgress(bool shown);
    ~ScanProgress();
    ScanProgress(const ScanProgress &) = delete;
    ScanProgress &operator=(const ScanProgress &) = delete;

    void found(qsizetype files);
    // Takes the line off the screen, before another line is written or when the scan is over.
    void clear();

private:
    bool m_shown;
    qsizetype m_files = 0;
    QElapsedTimer m_drawn; // since the scan began, or since the line was last drawn
    bool m_lineShown = false;
};
