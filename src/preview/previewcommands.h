#pragma once
// The rules of a preview run that need no window and no tool: the start and duration
// texts, the output names, and the SoX command lines for cutting and joining.

#include "platform/commandline.h"

namespace PreviewCommands {

// Start or duration as SoX gets it: the text as typed when it reads as a number whose
// nearest whole number (halves to even) is above 0, else "3". Throws AppError("Overflow")
// for numbers beyond the 16-bit range; the job then reports it and uses "3".
QString SecondsText(const QString &typed);

// The bit rates a preview can have, in kbit/s, highest first (320 ... 8).
const QList<int> &BitrateChoices();

// <folder>/<source's base name>_Preview.mp3, with doubled separators collapsed.
QString OutputPath(const QString &folder, const QString &sourcePath);
// <folder>/Joined_Preview.mp3, with doubled separators collapsed.
QString JoinedPath(const QString &folder);

// "sox" "<source>"  -c 2 -r 48000 -C <bit rate> "<output>" trim <start> <duration>
CommandLine Cut(const QString &sox, const QString &sourcePath, const QString &bitrate,
                const QString &outputPath, const QString &start, const QString &duration);
// "sox"  --combine sequence "<entry>" ...  -c 2 -r 48000 -C <bit rate> "<joined>"
CommandLine Join(const QString &sox, const QStringList &entries, const QString &bitrate,
                 const QString &joinedPath);

} // namespace PreviewCommands
