#pragma once
// The tool processes a batch runs at once, in the order they started: each SoX or FFmpeg
// run, with the FFmpeg that decodes into its standard input when it has one, and their stop.

#include "platform/commandline.h"
#include "platform/samplefeed.h"
#include "platform/shell32.h"
#include "preview/previewsteps.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QProcess;

namespace Shell32 {
struct RunResult;
}

class ToolPool {
public:
    // What the decoder feeding a run left, when the run had one.
    using DecoderEnd = PreviewSteps::DecoderEnd;
    using Ended = std::function<void(const Shell32::RunResult &result, const DecoderEnd &decoder)>;

    // owner: parent of the processes and receiver of their signals. interrupted is called in
    // place of a run's Ended when the tool was ended by SIGINT or SIGHUP, as Ctrl+C in a
    // terminal, or closing it, does to the whole process group.
    ToolPool(QObject *owner, std::function<void()> interrupted);

    // How many runs may go at once within the limit of open files (ulimit -n): each holds
    // the pipes of a tool and of its decoder; the rest of the program keeps some for itself.
    static int MostAtOnce();

    // What a run writes into its tool's standard input: a header, then raw 32-bit floats.
    using Input = SampleFeed::Input;

    // Starts the tool; index is the file it runs for (-1: none).
    // decoder, when given, runs too and writes into the tool's standard input; else input,
    // when given, goes there through a pipe, as the tool reads it. encoder, when given, reads
    // the tool's standard output and writes the file: the run ends when both have ended.
    void launch(const CommandLine &commandLine, int index, const std::optional<CommandLine> &decoder,
                const Ended &ended, const Input &input = {}, const std::optional<CommandLine> &encoder = std::nullopt);
    // How a tool and the encoder it wrote into ended, as one run: the tool's end, unless it did
    // its part (or ended at the pipe the encoder closed) and the encoder failed, whose words
    // then tell why.
    static Shell32::RunResult PipedEnd(const Shell32::RunResult &tool, Shell32::RunResult encoder);
    // Kills every tool still running and forgets it; no Ended follows.
    void killAll();

    int size() const { return int(m_running.size()); }
    bool isEmpty() const { return m_running.isEmpty(); }
    // The file of the oldest tool still running; -1 for none. Only when not empty.
    int oldestIndex() const { return m_running.first().index; }
    // The tool running for the file, or nullptr.
    QProcess *processOf(int index) const;

private:
    struct Running {
        QProcess *process;
        int index; // the file it runs for; -1 for the join
        QProcess *decoder = nullptr; // FFmpeg writing into its standard input
        QProcess *encoder = nullptr; // FFmpeg reading its standard output
    };
    static Shell32::RunResult EncoderEnd(QProcess &encoder);

    // errors: the decoder's error output as it came, of which only the end is kept.
    static DecoderEnd endDecoder(QProcess &decoder, Shell32::OutputTail &errors);

    QObject *m_owner;
    std::function<void()> m_interrupted;
    QList<Running> m_running; // in the order they started
};
