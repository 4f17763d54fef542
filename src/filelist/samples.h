#pragma once
// The sample files beside the program: the capture of their paths, kept scrambled in the
// settings, and the loading of what the capture names into the file list.

#include <QString>
#include <QStringList>

class FileListView;

namespace Samples {

// The folder of the sample files, with its trailing "/".
QString Folder(const QString &programFolder);

// The full path of every file in the samples folder, in name order, joined with "|";
// "" when the folder is missing or holds no file. A name containing "|" cannot be told
// apart from the separator and is left out.
QString CaptureText(const QString &programFolder);

// The paths a capture text names, in order; none for "".
QStringList CapturedPaths(const QString &captureText);

// A reversible scrambling of the stored capture: "" stays "", any text comes back whole.
QString Scramble(const QString &text);
// The inverse of Scramble. Throws AppError when the stored text was damaged.
QString Unscramble(const QString &scrambled);

// Appends each path that exists and is not yet a row (exact, case-sensitive), in order.
void AppendNewPaths(FileListView &list, const QStringList &paths);

} // namespace Samples
