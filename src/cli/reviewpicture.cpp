#include "cli/reviewpicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ReviewPicture {

namespace {

constexpr int Height = 32;
constexpr int WidthWithoutWaveform = 400;

int heightOf(int16_t value)
{
    return int(std::lround(Height / 2.0 - value * (Height / 2.0) / 32768.0));
}

// The tops from left to right, then the bottoms back: one closed outline.
QString outline(const Waveform::Data &overview)
{
    const int length = overview.length();
    std::vector<int> heights;
    for (int pixel = 0; pixel < length; ++pixel)
        heights.push_back(heightOf(overview.max(pixel)));
    for (int pixel = length - 1; pixel >= 0; --pixel)
        heights.push_back(std::max(heightOf(overview.min(pixel)), heights[size_t(pixel)] + 1));
    QString path = QStringLiteral("M0 %1l").arg(heights.front());
    path.reserve(qsizetype(heights.size()) * 4 + 8);
    for (size_t index = 1; index < heights.size(); ++index) {
        const int across = index < size_t(length) ? 1 : index == size_t(length) ? 0 : -1;
        const int down = heights[index] - heights[index - 1];
        // A minus sign parts two numbers as well as a space does.
        if (index > 1 && across >= 0)
            path += QLatin1Char(' ');
        path += QString::number(across) + (down < 0 ? QString() : QStringLiteral(" ")) + QString::number(down);
    }
    return path + QLatin1Char('z');
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

QString rect(const char *kind, double x, double width)
{
    return QStringLiteral("<rect class=\"%1\" x=\"%2\" width=\"%3\" height=\"%4\"/>")
        .arg(QLatin1String(kind), number(x), number(width))
        .arg(Height);
}

// The stretch from begin to end seconds, in units of a picture `width` across, within it.
QString stretch(const char *kind, double begin, double end, double songSeconds, int width)
{
    const double scale = width / songSeconds;
    const double left = std::clamp(begin * scale, 0.0, double(width));
    const double right = std::clamp(end * scale, left, double(width));
    return rect(kind, left, right - left);
}

} // namespace

QString Svg(const ReviewPage::Row &row)
{
    const Waveform::Data &overview = row.song.picture;
    if (overview.length() == 0 && row.song.seconds <= 0)
        return QString();
    const int width = overview.length() > 0 ? overview.length() : WidthWithoutWaveform;
    QString svg = QStringLiteral("<svg class=\"song\" viewBox=\"0 0 %1 %2\" preserveAspectRatio=\"none\">").arg(width).arg(Height);
    if (overview.length() > 0)
        svg += QStringLiteral("<path class=\"outline\" d=\"%1\"/>").arg(outline(overview));
    if (row.song.seconds > 0) {
        for (const ReviewPage::Section &section : row.chorus)
            svg += stretch("chorus", section.begin, section.end, row.song.seconds, width);
    }
    return svg + QStringLiteral("</svg>");
}

} // namespace ReviewPicture
