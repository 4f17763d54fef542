#pragma once
// Times as the options take them, and a list of starts: a CSV file (RFC 4180 quoting) of
// the columns file, start and, optionally, duration, that gives each song its own cut. Its
// separator is a comma, or a semicolon or tab as spreadsheets write where a comma is the
// decimal point: then "0,50" is half a second.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace StartList {

// The latest start and the longest duration taken. SoX counts a position in samples of 64
// bits, so a far larger one wraps around and cuts from the wrong place.
constexpr double MaxHours = 1000;
constexpr double MaxSeconds = MaxHours * 3600;

// Seconds (65, 2.5) or [h:]m:ss (1:05, 1:02:03.5), up to MaxSeconds; none for anything else,
// negative numbers included.
std::optional<double> ReadTime(const QString &text);
// "40%" as the share 0.4; none unless a number from 0 to below 100 is followed by "%".
std::optional<double> ReadShare(const QString &text);

// One source's own start and length; what is unset takes the command line's.
struct SourceCut {
    std::optional<double> startSeconds;
    std::optional<double> startShare; // of the track's length, in place of startSeconds
    bool startAtChorus = false;       // "auto": found in the track's audio, in place of both
    std::optional<double> durationSeconds;
};
// Reads a start in any form --start takes into the cut; false when it reads as none.
bool ReadStart(const QString &text, SourceCut &cut);

struct Row {
    QString path; // absolute
    SourceCut cut;
    int line = 0; // where it begins in the list
};
} // namespace StartList
// A list of millions of rows grows by moving them, not copying each.
Q_DECLARE_TYPEINFO(StartList::Row, Q_RELOCATABLE_TYPE);
namespace StartList {

struct Reading {
    QList<Row> rows; // in the file's order
    QString problem; // "" when every row is good; else "line N: ..." of each bad one, a line
                     // each: the first 20, then "and N more"; or why the file was not read
    bool rowProblem = false; // the problem is the rows', not the file's
    QStringList gone; // with Gone::LeftOut: "line N: no such file: name" of each row left out
};
// A row whose file is not there: a problem, or (for a nightly run over the songs that are
// there) a row left out, as a song withdrawn since the list was saved.
enum class Gone { Problem, LeftOut };
// The largest list of starts read: some million rows.
constexpr qint64 MaxListBytes = 64 * 1024 * 1024;

// The rows of the CSV text; file names are taken relative to folder, and each must name a
// file that exists. A row of the same file (in any spelling), start and duration as an
// earlier one is a bad row: it would make that preview twice. A first line none of whose fields is a file that exists or a start is
// a header.
Reading Read(const QString &csv, const QString &folder, Gone gone = Gone::Problem);
// The same of the file at path, read as it streams in, relative to its own folder. Only a
// regular file up to MaxListBytes is read; else the problem says why not (so does it when
// the file cannot be opened: the system's words).
Reading ReadFile(const QString &path, Gone gone = Gone::Problem);

// Each source's cut as the rows give it, or none, in list order; empty when no row names any
// of them. A file named by several rows takes them in turn, so the rows as the list keep
// each its own cut; further mentions take the last.
QList<SourceCut> CutsFor(const QStringList &sources, const QList<Row> &rows);
// The lines of the rows that CutsFor gives no source although their file is among the
// sources: rows of a file beyond the times the sources name it (a folder scan names each
// once). Rows of files that are no source are not counted.
QList<int> UnusedLines(const QStringList &sources, const QList<Row> &rows);

} // namespace StartList
