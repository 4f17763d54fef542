#pragma once
// One row of the review page: a section element whose data attributes are the page's
// interface for its script and for other scripts (data-source, data-start-from; inside it
// data-role "song-wave", "candidate", "start", "listen", "approve"), as the manual page lists
// them. What the script needs besides (the song's link, the preview's length, the run's start,
// the beats and bars) are data attributes of the row too.

#include "cli/reviewpage.h"

#include <QString>

namespace ReviewRow {

// "chorus", "list", "share" or "fixed": where the row's start came from, as data-start-from
// gives it. A song where nothing repeats starts where the chorus search put it: "chorus".
QString StartFromWord(ReviewPage::StartFrom from);
// Its classes: row, then failed, planned, kept, doubtful, fallback, held-back, pinned,
// song-changed as they apply; the filters show rows by them.
QString Classes(const ReviewPage::Row &row);
// Text as the page shows it: HTML-escaped, its control and bidi characters written as the
// terminal writes them (FileNames::TerminalText: \n, \u202e), so that a name cannot
// reverse or hide what stands around it.
QString Shown(const QString &text);
QString Html(const ReviewPage::Row &row, const QString &pageFolder);

} // namespace ReviewRow
