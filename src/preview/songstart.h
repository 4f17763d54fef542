#pragma once
// The window's start field read as lumbrisk-cli reads --start (StartList::ReadStart), besides
// the numbers it always took, and each song's own start found from it: a share of the song's
// length, or where its chorus begins.

#include "analysis/chorus.h"
#include "preview/startlist.h"
#include "preview/tools.h"

#include <QString>

#include <functional>
#include <optional>

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
    double seconds = 0;                 // to the millisecond, as SoX gets it
    std::optional<Chorus::Start> chorus; // auto: as the search found it (fromChorus false: a quarter in)
    QString problem;                    // why the song has no start; it then gets no preview
};
// Runs the work to its end while window events run (the job's wait with its bar).
using Wait = std::function<void(const std::function<void()> &work)>;
// The song's own start. Its chorus is looked for by the analysis lumbrisk-cli runs
// (PreviewSteps::AnalysisRequest), handed to `wait`; it ends early once stopped() is true.
Found ForSong(const StartList::SourceCut &cut, const QString &source, double previewSeconds,
              const Tools::Found &tools, const Wait &wait, const std::function<bool()> &stopped);

} // namespace SongStart
