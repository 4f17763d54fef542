#pragma once
// The window's Runner: a whole ToolRun (the tool, what feeds it, the encoder it writes into)
// run on the window's thread and waited for as RunAndWait waits for one program.

#include "platform/shell32.h"
#include "platform/toolrun.h"

#include <QString>

#include <optional>

namespace Shell32 {

// How a run the window waited for ended.
struct RunEnd {
    RunResult result;                 // the run's (ToolPipeline::end)
    std::optional<RunResult> decoder; // the decoder's, when one fed the tool
};

// Starts every tool of the run and returns once the tool and its encoder have ended, while
// window events keep running, with RunAndWait's feedback and caption; a tool that cannot
// start returns at once, the bar untouched. The decoder is waited for after them, at most
// FeederEndMilliseconds. A Watchdog stops the run when all of its tools hang, and
// StopRunningTools kills them all.
RunEnd RunToolAndWait(const ToolRun &run, Progress *progress, const QString &caption, int startValue, int count);
// A Runner that waits so: its end is told before it returns.
Runner Waiting(Progress *progress, const QString &caption, int startValue, int count);

} // namespace Shell32
