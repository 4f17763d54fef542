#pragma once
// The mark a preview of lumbrisk-cli --update carries: an ID3v2 user text frame "LUMBRISK",
// written with its tags. It holds what the preview was made of (its source's size and
// modification time, and the settings), so that a later run keeps a preview that is up to
// date, and it tells a preview from a song wherever the preview lies.

#include <QString>
#include <QStringList>

#include <optional>

namespace PreviewMark {

// The frame's description.
extern const char FrameDescription[];

// The text of the mark, when the MP3 file has one. Reads the frame headers of its ID3v2 tag
// and the body of its user text frames only, not the pictures, so a scan of thousands of
// songs stays quick.
std::optional<QString> Read(const QString &path);

// The text a preview of the source records: its size and modification time, and the
// settings it was made with, as text; none when the source cannot be looked at.
std::optional<QString> Of(const QString &sourcePath, const QString &settings);

// The rows of a folder scan, in order, without the previews among them: a marked file, and
// "<name>_Preview.<ext>" (or "<name>_Preview (2).<ext>") and "Joined_Preview.mp3" beside a
// song of that name or with one among the rows (any song, for the joined one). leftOut
// counts what was left out.
QStringList WithoutPreviews(const QStringList &rows, qsizetype &leftOut);

} // namespace PreviewMark
