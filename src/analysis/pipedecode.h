#pragma once
// Sources libmpg123 does not read, decoded by a tool (SoX, fed by FFmpeg for what SoX cannot
// read) into a pipe, and handed block by block to the analyzers of a pass. Runs on the
// thread that calls it and waits for the tools: meant for a thread of a pool.

#include "analysis/analyzer.h"
#include "platform/commandline.h"
#include "platform/shell32.h"
#include "platform/watchdog.h"

#include <functional>
#include <optional>

namespace PipeDecode {

struct Ended {
    Shell32::RunResult reader; // the tool whose samples came; its output is not kept
    QByteArray decoderOutput;  // the last lines the feeding decoder wrote to its standard error, if one ran
    int decoderFailure = 0;    // its exit status when it gave up (DecoderGaveUp), else 0
    bool stoppedEarly = false; // the pass or a stop ended it before the audio did: tools killed on purpose
};

// True when the decoder (FFmpeg), ended by itself with that status and those last words,
// gave up on its source, most of it damaged, say. The status is not 0 then; but FFmpeg ends
// with 1 too when the tool it feeds closes the pipe, having read what it needs.
bool DecoderGaveUp(int exitCode, const QByteArray &errorOutput);

// Hands the whole frames among the bytes (raw native-endian 32-bit floats of `channels`) to
// the pass; a frame cut off waits in `partial` for the rest of its bytes. False when the pass
// wants no more.
bool FeedBytes(const QByteArray &bytes, QByteArray &partial, int channels, Analysis::Pass &pass);

// Runs command, which writes raw native-endian 32-bit floats of `channels` at `rate` on its
// standard output, with decoder (when given) writing into its standard input, and hands the
// samples to the pass until they end, the pass says stop, or stopped() turns true. Tools
// that hang for stallSeconds are stopped, and the reader's run says so (stalled).
Ended Feed(const CommandLine &command, const std::optional<CommandLine> &decoder, int rate, int channels,
           Analysis::Pass &pass, const std::function<bool()> &stopped, int stallSeconds = Watchdog::StallSeconds);

} // namespace PipeDecode
