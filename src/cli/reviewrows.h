#pragma once
// The review page's rows from what a run did: one per source, in list order.

#include "cli/reviewpage.h"
#include "batch/parallelpreviews.h"

#include <QList>

namespace ReviewRows {

// Names come from each source's tags, read now.
QList<ReviewPage::Row> Of(const ParallelPreviews &previews, const PreviewSettings &settings);

} // namespace ReviewRows
