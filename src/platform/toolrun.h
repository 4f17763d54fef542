#pragma once
// One run of a tool as both engines start it: the tool (SoX), what goes into its standard
// input (an FFmpeg decoding the source, or samples this program writes) and the encoder (an
// FFmpeg) that writes the file from its standard output. A Runner starts it and tells its
// end: the window waits for it on its event loop (Shell32::Waiting), lumbrisk-cli runs many
// at once (ToolPool). ToolPipeline wires the processes of a run the same way for both.

#include "platform/commandline.h"
#include "platform/samplefeed.h"
#include "platform/shell32.h"

#include <QList>

#include <functional>
#include <memory>
#include <optional>

class QObject;
class QProcess;

struct ToolRun {
    CommandLine tool;
    std::optional<CommandLine> decoder; // writes into the tool's standard input
    SampleFeed::Input samples;          // written there instead, when given and no decoder is
    std::optional<CommandLine> encoder; // reads the tool's standard output and writes the file
};

// result: the run's end (ToolPipeline::end); decoder: the end of the decoder that fed
// the tool, with the last lines of its error output, when it had one.
using RunEnded =
    std::function<void(const Shell32::RunResult &result, const std::optional<Shell32::RunResult> &decoder)>;
// Starts the run; ended follows once all of its tools have ended (at once for the window's).
using Runner = std::function<void(const ToolRun &run, const RunEnded &ended)>;

// The processes of one run, prepared (Shell32::Prepare) and wired, not yet started. The tool
// is a child of owner, the decoder and the encoder children of the tool: they go with it.
// A copy names the same processes.
class ToolPipeline {
public:
    ToolPipeline(const ToolRun &run, QObject *owner);

    QProcess &tool() const { return *m_tool; }
    QProcess *decoder() const { return m_decoder; }
    QProcess *encoder() const { return m_encoder; }
    // Every process of the run: what a Watchdog watches and a stop kills.
    QList<QProcess *> processes() const;

    // The decoder and the encoder first, so that the tool finds its pipes open.
    void start() const;
    // Kills every process of the run and waits until each has ended.
    void kill() const;
    // True once the tool and the encoder have both ended (or never started).
    bool ended() const;
    // How the run ended, once ended(): the tool's end, unless it did its part (or ended at the
    // pipe the encoder closed) and the encoder failed, whose words then tell why.
    Shell32::RunResult end() const;
    // Once the tool has ended: the decoder's end, when it has one, waited for as `wait` does
    // (Shell32::EndFeeder), with the last lines of its error output, which is read as it
    // comes so that a talkative decoder never holds its pipe up.
    std::optional<Shell32::RunResult> decoderEnd(Shell32::WaitFor wait) const;

private:
    QProcess *m_tool;
    QProcess *m_decoder = nullptr;
    QProcess *m_encoder = nullptr;
    std::shared_ptr<Shell32::OutputTail> m_decoderErrors;
    std::shared_ptr<bool> m_decoderFailed;
};
