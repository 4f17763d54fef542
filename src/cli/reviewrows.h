#pragma once
// The review page of a run: one row per source, in list order, from what the run did or, in
// a dry run, planned; and what the page needs of the run itself.

#include "cli/reviewpage.h"
#include "batch/parallelpreviews.h"

#include <QList>
#include <QSet>
#include <QStringList>

namespace ReviewRows {

// Names come from each source's tags, read now.
QList<ReviewPage::Row> Of(const ParallelPreviews &previews, const PreviewSettings &settings, bool dryRun);

struct Run {
    QStringList arguments;     // the run's command line, its program first
    QSet<QString> valueOptions; // the options that take a value
    QString workingFolder;
    bool wholeList = false;     // no FILE/FOLDER arguments: the --starts list was the list
    bool dryRun = false;
};

// The page of the run, whose command saves its starts beside the page at pagePath.
ReviewPage::Page PageOf(const ParallelPreviews &previews, const PreviewSettings &settings, const Run &run,
                        const QString &pagePath);

} // namespace ReviewRows
