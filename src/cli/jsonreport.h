#pragma once
// The JSON report of lumbrisk-cli: every file's result and, with --dry-run, the plan a
// script can review before anything is encoded: each file's start and where it came from,
// the chorus sections found, the loudness measured and the gain planned, and the command
// line that makes its preview.

#include "batch/parallelpreviews.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace JsonReport {

// A dry run's command lines, shell-quoted as it prints them (a join's pieces in "$work").
struct Plan {
    QHash<int, QString> commands; // by the file's index in the list
    QString joinedCommand;
};

struct LeftOut {
    QStringList paths; // escaped
    QString reason;
};

// The whole report, indented; plan: given for a dry run.
QString Document(const ParallelPreviews &previews, const LeftOut &leftOut, const Plan *plan);

} // namespace JsonReport
