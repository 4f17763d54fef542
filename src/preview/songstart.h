#pragma once
// The window's start field read as lumbrisk-cli reads --start (StartList::ReadStart), besides
// the numbers it always took, and each song's own start found from it: a share of the song's
// length, or where its chorus begins.

#include "platform/commandline.h"
#include "preview/startlist.h"
#include "preview/tools.h"

#include <QString>

#include <functional>
#include <optional>

namespace Shell32 {
struct RunResult;
}

namespace SongStart {

// The forms the field takes, in one line, for the field's check and its hint.
QString FormsAccepted();

// The field's text read as a start; none when it is none. Numbers read as they always did
// (" +30 ", "1e1", "1,000" in the user's locale); the other forms as --start takes them.
std::optional<StartList::SourceCut> ReadField(const QString &text);
// A start before the first whole second: a number or time whose nearest whole number
// (halves to even) is below 1, or a share of 0. The field's check refuses it.
bool BeforeFirstSecond(const StartList::SourceCut &cut);
// The start the job takes: 3 s for anything the check refuses. Throws AppError("Overflow")
// for a number beyond the 16-bit range, as the duration does.
StartList::SourceCut ForJob(const QString &text);
// True when each song has a start of its own: a share of it, or its chorus.
bool PerSong(const StartList::SourceCut &cut);

struct Found {
    double seconds = 0;      // to the millisecond, as SoX gets it
    bool fromChorus = false; // auto: false when nothing repeats, so a quarter in
    QString problem;         // why the song has no start; it then gets no preview
};
// Runs a tool to its end while window events run (the job's RunAndWait with its bar).
using ToolRun = std::function<Shell32::RunResult(const CommandLine &)>;
// The song's own start. Its chorus is looked for as lumbrisk-cli does: an MP3 decoded in
// the process, another source by SoX, or by FFmpeg where SoX has no reader, run by runTool;
// the decoding in the process and the search run on a thread of their own while window
// events run.
Found ForSong(const StartList::SourceCut &cut, const QString &source, double previewSeconds,
              const Tools::Found &tools, const ToolRun &runTool);

} // namespace SongStart
