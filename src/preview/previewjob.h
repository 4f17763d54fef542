#pragma once
// The preview job behind "Start Creating": every listed song (MP3 or any master lumbrisk-cli
// reads) becomes a short preview cut and encoded by SoX, either as separate files or joined
// into "Joined_Preview.mp3", one tool at a time on the window's thread. Each preview is made
// by the steps lumbrisk-cli takes (PreviewFile), and the joined file by its JoinedFile, so
// each is the one lumbrisk-cli makes with the same settings, mark included. It reads the
// window through PreviewControls, so a front end without the window can run the same job.

#include "platform/commandline.h"
#include "platform/shell32.h"
#include "platform/toolrun.h"
#include "preview/joinedfile.h"
#include "preview/previewfile.h"
#include "preview/previewfiles.h"
#include "preview/leftovers.h"
#include "preview/previewrecord.h"
#include "preview/previewsteps.h"
#include "preview/startlist.h"
#include "preview/tools.h"

#include <QSet>
#include <QPair>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class GuardedSteps;
class Prompts;

// The controls the job reads and the window state it changes. Every read goes to the
// control itself, so a change made while the job runs applies from the next row on.
class PreviewControls {
public:
    virtual ~PreviewControls() = default;

    virtual bool busy() const = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void showBusyPointer(bool busy) = 0;

    virtual int rowCount() const = 0;
    virtual QString row(int position) const = 0; // counted from 1
    virtual QString outputFolder() const = 0;    // Text1
    virtual QString startText() const = 0;       // Text2
    virtual QString durationText() const = 0;    // Text3
    virtual int bitrateIndex() const = 0;        // Combo1: 0 is "Same bit rate as input file", -1 none
    virtual QString bitrateChoice() const = 0;   // Combo1's text, as "128 kbps"
    virtual bool saveToFolder() const = 0;       // Option1; else beside each source (Option2)
    virtual bool joinPreviews() const = 0;       // Option3; else separate files (Option4)

    virtual Shell32::Progress &progress() = 0;   // ProgressBar1
    virtual Prompts &prompts() = 0;
    virtual QString applicationTitle() const = 0;
    virtual QString programFolder() const = 0;   // where tools beside the program lie

    // What the window has no control for, and a front end driving the job may ask: every
    // preview, or the joined file, brought to a loudness (LUFS), and with limit, peaks that
    // would hold its gain back limited.
    virtual std::optional<double> loudnessTarget() const { return std::nullopt; }
    virtual bool limit() const { return false; }
};

class PreviewJob {
public:
    explicit PreviewJob(PreviewControls &controls);
    ~PreviewJob();

    // One press of "Start Creating", from the busy check to the closing message.
    // The closing message is "Done." when every preview was made under its own name, with
    // its tags; otherwise "Done." is followed by how many were made, and its details name
    // every preview whose tags could not be copied, every source that failed, grouped by
    // reason, and every preview saved under a free name. The details also name every song
    // whose chorus was asked for but that repeats nothing, and so starts a quarter in.
    void run();
    // For closing the window during a run: kills the running tool, removes what it was
    // writing and the run's private folder; the run then ends without a message.
    void stop();

private:
    void makePreviews(GuardedSteps &steps);
    void processRow(GuardedSteps &steps, int position);
    // Why the row's source cannot be made into a preview before anything reads it; "" if it can.
    QString rowProblem(const QString &sourcePath) const;
    // Finds the song's own start (a share of it, or its chorus) when the start field asks for
    // one, and shows it on the bar; false when there is none, and the song failed.
    bool settleStart(const QString &sourcePath);
    // Analyses the row's audio (PreviewFile::analysisRequest) while the window's events run;
    // false when the song failed or the job was stopped.
    bool analyse(std::optional<int> measuredKbps, bool search);
    // Runs the work on a thread of its own with the bar's current caption and value; count:
    // what the bar's feedback counts (the rows, unless given).
    void waitFor(const std::function<void()> &work);
    void waitFor(const std::function<void()> &work, int count);
    // With a loudness target (previewjob_loudness.cpp): measures the row's stretch for its
    // gain, and limits it where its peaks would hold the gain back; false when the song failed
    // or the job was stopped.
    bool planLoudness();
    void limitStretch();
    // What the encoded preview's true peak says, when its plan has it measured: "" when it may
    // be kept, else why not; again when it is to be cut again lower.
    QString peakProblem(const QString &written, bool &again);
    void makePreview(GuardedSteps &steps, int position, const QString &sourcePath);
    void chooseBitrate(const QString &sourcePath);
    QString outputFolderFor(const QString &sourcePath) const;
    QString separateOutputFor(const QString &outputPath);
    QString joinedOutputIn(const QString &folder);
    // ownName: the preview's name before any free name is taken.
    void cut(const QString &sourcePath, const QString &ownName);
    void cutPiece(const QString &sourcePath, const QString &piecePath);
    // Runs the row's cut into writeTo with the bar's current caption and value; FFmpeg ends in
    // decoder when it fed SoX.
    Shell32::RunResult runCut(const QString &writeTo, PreviewSteps::DecoderEnd &decoder);
    // Runs the tool (run) into a temporary file beside the output, gives it its tags and mark
    // (tag) and renames it over the output when the check finds it good; "" then, else the
    // reason. earlier: what the output's name held when it was named, the only file replaced.
    // On success outputPath becomes the name the file took, a free one when another file came
    // to its name during the run.
    QString writeThroughTemporary(QString &outputPath, const PreviewFiles::EarlierFile &earlier,
                                  const std::function<Shell32::RunResult(const QString &)> &run,
                                  const std::function<QString(const Shell32::RunResult &, const QString &)> &check,
                                  const std::function<QString(const QString &)> &tag);
    // Notes a preview that was saved under another name than its own.
    void noteFreeName(const QString &path, const QString &ownName, const QString &planned, const QString &saved);
    // Notes a preview made without its tags (tagProblem; "" when it has them).
    void noteUntagged(const QString &preview, const QString &tagProblem);
    // The join (previewjob_join.cpp): the joined file made of the pieces by a JoinedFile whose
    // runs the window waits for; entries: the pieces.
    void join(GuardedSteps &steps);
    PreviewSettings joinSettings() const;
    JoinedFile::Run joinRun(int entries);
    void makeJoined(JoinedFile &file);
    // Tells of the joined file in the closing message: failed, under a free name, or untagged.
    void tellJoined(const PreviewResult &joined);
    void showJoinStep(GuardedSteps &steps, int line, int entry, int entries);
    void fail(const QString &path, const QString &reason);
    bool isSource(const QString &path);
    int rowsNow() const;
    void tell(const QString &text, const QString &details = QString());
    QString closingText() const;
    QString closingDetails() const;
    // The window's Runner, waiting with the bar's current caption and value.
    Runner waiting(int count) const;
    // The bar's value as the runner takes it for its feedback.
    int barValue() const;

    PreviewControls &m_controls;
    Shell32::Progress &m_progress;
    Tools::Found m_tools;
    StartList::SourceCut m_startCut; // the start field, read once
    PreviewFile m_file;              // the row's way to its preview, as lumbrisk-cli takes it
    QStringList m_startNotes;        // "<source>: nothing repeats in it, ..."
    QString m_duration;
    int m_rowCount = 0;
    QString m_bitrate;
    QString m_bitrateProblem; // why m_bitrate is empty
    int m_kbpsChosen = 0;     // the rate chosen with it, as the mark records it; 0: the source's own
    QString m_joinedPath;
    PreviewFiles::EarlierFile m_joinedEarlier; // what m_joinedPath held when it was named
    QList<JoinedFile::Piece> m_joinPieces; // the pieces that were made, in list order
    int m_made = 0;
    QList<QPair<QString, QString>> m_failures; // path and reason
    QStringList m_freeNames;   // "<source>: saved as <preview>"
    QStringList m_untagged;    // "<preview>: tags not copied: <reason>"
    int m_namesTaken = 0;      // of them, free because a file came to the planned name during the run
    int m_unmarkedKept = 0;    // of them, free because a file without the mark holds the name
    QSet<QString> m_written;   // the previews of this run, so no later one replaces them
    std::unique_ptr<PreviewFiles::WorkFolder> m_work;
    PreviewFiles::TemporaryOutput *m_pending = nullptr; // what the running tool writes
    JoinedFile *m_joining = nullptr;                    // the joined file being made
    Leftovers::Sweep m_sweep; // what killed runs left in the folders this one writes into
    std::atomic<bool> m_stopped{false}; // an analysis on its own thread reads it too
    QStringList m_sourceRows;  // the rows m_sourceKeys was built from
    QSet<QString> m_sourceKeys;
};
