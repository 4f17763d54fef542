#pragma once
// Module Shell32: runs one external program on the window's thread and waits for it,
// keeping the window responsive and showing on a progress bar that work goes on.

#include "platform/commandline.h"

#include <QByteArray>

#include <functional>
#include <optional>

class QProcess;

namespace Shell32 {

// The window style every tool run uses: no window of its own.
constexpr int HiddenWindow = 0;
// Added to the system's error number when a program cannot start (0x80040000 as a signed
// 32-bit number), so such a result is always negative.
constexpr int StartFailureBase = -2147221504;

// What the runner writes while it waits: the window's ProgressBar1, or a stand-in.
class Progress {
public:
    virtual ~Progress() = default;
    virtual QString Text() const = 0;
    virtual void setText(const QString &text) = 0;
    virtual double Value() const = 0;
    virtual void setValue(double value) = 0;
};

// How a run ended. The outcomes stay apart so that callers can say why a tool failed.
struct RunResult {
    enum class Outcome { Exited, Crashed, FailedToStart };

    Outcome outcome = Outcome::FailedToStart;
    int exitCode = 0;       // Exited: the exit status; Crashed: the signal that ended it
    int errorNumber = 0;    // FailedToStart: the system's error number (ENOENT, EACCES, ...)
    QString startError;     // FailedToStart: the system's words for it
    QByteArray output;      // everything the program wrote to its standard output
    QByteArray errorOutput; // ... and to its error output
    bool stalled = false;   // killed by the Watchdog: it hung

    bool succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
    // The classic result: the exit status; 128 + the signal after a crash;
    // StartFailureBase + the error number when the program could not start.
    int status() const;
    // The program's own last words: its last non-blank line of error output, trimmed.
    QString lastErrorLine() const;
};

// The bar feedback after the given number of ticks: from tick 50 the caption (and ", ")
// with "Please wait.. " and a counter; every 150 ticks from then on a creeping value that
// stays below the caller's next step. Nothing is set before tick 50.
struct Feedback {
    std::optional<QString> text;
    std::optional<double> value;
};
Feedback FeedbackAt(int tick, const QString &caption, int startValue, int count);

// The last non-blank line of a program's output, trimmed: usually its reason for failing.
QString LastLine(const QByteArray &output);

// The end of a tool's error output, which may run to megabytes (a damaged file's warnings,
// a line per frame): only its last lines tell why it failed, and only those are kept.
class OutputTail {
public:
    void append(const QByteArray &bytes);
    // The last few kilobytes, from the start of a line.
    QByteArray bytes() const;

private:
    QByteArray m_bytes;
};

// The result of a program that has ended, read from its QProcess (output included), and of
// one that could not start. For callers that run tools on their own, several at a time.
RunResult FinishedRun(QProcess &process);
RunResult FailedStart(const QProcess &process);
// Hands the command line to the process (program, arguments, no standard input) and logs
// it, as RunAndWait does; the caller starts it. The tool is killed when its program ends.
void Prepare(QProcess &process, const CommandLine &commandLine);
// Kills a prepared tool with every program it started (SoX fetches an address through a
// shell): each tool leads a process group of its own.
void Kill(QProcess &process);
// Waits up to `milliseconds` for a tool to end, blocking the calling thread; true when it has.
bool WaitBlocking(QProcess &process, int milliseconds);
// How a tool's end is waited for: WaitBlocking, or on an event loop as the window does.
using WaitFor = bool (*)(QProcess &process, int milliseconds);
// Waits up to `milliseconds` for a tool to end, blocking the calling thread, else kills it
// as above and waits for that.
void EndWithin(QProcess &process, int milliseconds);
// How long a feeder (FFmpeg decoding into a tool) may take to end once the tool it feeds has
// ended: at the closed pipe it ends at once, so one that has not by then is killed.
constexpr int FeederEndMilliseconds = 5000;
// Ends a feeder as EndWithin does, waiting as `wait` does; its result's error output is the
// tail of what was read as it came (errors) and of what is left.
RunResult EndFeeder(QProcess &feeder, OutputTail &errors, int milliseconds = FeederEndMilliseconds,
                    WaitFor wait = WaitBlocking);

// Kills every program RunAndWait is waiting for and waits until each has ended, so that the
// files it was writing can be removed. For closing the window in the middle of a run.
void StopRunningTools();

// Starts the program with its argument list (no shell, no window) and returns as soon as
// it has ended, while window events keep running; a Watchdog stops it when it hangs. A tick every 100 ms gives the feedback
// above on progress, which may be null for runs that show nothing; at the end the bar's
// text goes back to the caption, or "Progress Bar" when the caption is empty. A program
// that cannot start returns at once, the bar untouched. windowStyle is always HiddenWindow.
// A whole ToolRun, fed and piped, is waited for so by RunToolAndWait (toolwait.h).
RunResult RunAndWait(const CommandLine &commandLine, int windowStyle, Progress *progress,
                     const QString &caption, int startValue, int count);
// Runs the work (an analysis in the process) on a thread of its own and returns once it has
// ended, while window events run and the bar gets the feedback above, as a tool's run does.
void WorkAndWait(const std::function<void()> &work, Progress *progress, const QString &caption, int startValue,
                 int count);

} // namespace Shell32
