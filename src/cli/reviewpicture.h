#pragma once
// The picture of a review page's row: the whole song's waveform as an inline SVG, the chorus
// sections shaded (the preview's window lies over it, where the page's script moves it). One
// filled path of a few hundred points in whole units, written as relative steps, keeps a row
// to a few kilobytes.

#include "cli/reviewpage.h"

#include <QString>

namespace ReviewPicture {

// Drawn in units of one overview pixel across; "" when neither the waveform nor the song's
// length is known.
QString Svg(const ReviewPage::Row &row);

} // namespace ReviewPicture
