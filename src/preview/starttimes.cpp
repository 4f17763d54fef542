// Times and starts as the options and the rows of a list of starts give them.
#include "preview/startlist.h"

#include <QRegularExpression>

namespace StartList {

std::optional<double> ReadTime(const QString &text)
{
    static const QRegularExpression time(
        QStringLiteral("^(?:(?:(\\d+):)?(\\d+):(?=\\d\\d(?:\\.\\d*)?$))?(\\d+(?:\\.\\d*)?|\\.\\d+)$"));
    const QRegularExpressionMatch match = time.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double hours = match.captured(1).toDouble();
    const double minutes = match.captured(2).toDouble();
    const double seconds = match.captured(3).toDouble();
    const bool clock = !match.captured(2).isEmpty();
    const bool hoursGiven = !match.captured(1).isEmpty();
    const double total = hours * 3600 + minutes * 60 + seconds;
    if ((clock && seconds >= 60) || (hoursGiven && minutes >= 60) || total > MaxSeconds)
        return std::nullopt;
    return total;
}

std::optional<double> ReadShare(const QString &text)
{
    if (!text.endsWith(QLatin1Char('%')) || text.contains(QLatin1Char(':')))
        return std::nullopt;
    const std::optional<double> percent = ReadTime(text.chopped(1));
    if (!percent || *percent >= 100)
        return std::nullopt;
    return *percent / 100;
}

bool ReadStart(const QString &text, SourceCut &cut)
{
    cut.startAtChorus = text == QLatin1String("auto");
    cut.startShare = cut.startAtChorus ? std::nullopt : ReadShare(text);
    cut.startSeconds = cut.startAtChorus || cut.startShare ? std::nullopt : ReadTime(text);
    return cut.startAtChorus || cut.startShare || cut.startSeconds;
}

} // namespace StartList
