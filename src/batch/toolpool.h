#pragma once
// The tool runs a batch has going at once, in the order they started: each a ToolRun (SoX or
// FFmpeg, with the FFmpeg decoding into it and the one encoding what it writes, when it has
// them), and their stop. The window waits for one run at a time instead (Shell32::Waiting).

#include "platform/samplefeed.h"
#include "platform/toolrun.h"

#include <QList>

#include <functional>

class QObject;
class QProcess;

class ToolPool {
public:
    // owner: parent of the processes and receiver of their signals. interrupted is called in
    // place of a run's end when the tool was ended by SIGINT or SIGHUP, as Ctrl+C in a
    // terminal, or closing it, does to the whole process group.
    ToolPool(QObject *owner, std::function<void()> interrupted);

    // How many runs may go at once within the limit of open files (ulimit -n): each holds
    // the pipes of a tool and of its decoder; the rest of the program keeps some for itself.
    static int MostAtOnce();

    // Starts the run; index is the file it runs for (-1: none). ended follows once its tool
    // and its encoder have ended, the decoder ended after them.
    void launch(const ToolRun &run, int index, const RunEnded &ended);
    // Kills every tool still running and forgets it; no end follows.
    void killAll();

    int size() const { return int(m_running.size()); }
    bool isEmpty() const { return m_running.isEmpty(); }
    // The file of the oldest tool still running; -1 for none. Only when not empty.
    int oldestIndex() const { return m_running.first().index; }
    // The tool running for the file, or nullptr.
    QProcess *processOf(int index) const;

private:
    struct Running {
        ToolPipeline pipeline;
        int index; // the file it runs for; -1 for the join
    };

    QObject *m_owner;
    std::function<void()> m_interrupted;
    QList<Running> m_running; // in the order they started
};
