#pragma once
// The window's start field read as lumbrisk-cli reads --start (StartList::ReadStart), besides
// the numbers it always took: a second, a share of each song's length, or where its chorus
// begins (PreviewFile settles each song's own).

#include "preview/startlist.h"

#include <QString>

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

} // namespace SongStart
