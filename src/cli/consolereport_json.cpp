// The JSON report of lumbrisk-cli: every file's result, what was left out, and the joined files.
#include "cli/consolereport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

namespace {

// Hundredths of a decibel; null for the loudness of silence.
QJsonValue decibels(std::optional<double> value)
{
    return value ? QJsonValue(std::round(*value * 100) / 100) : QJsonValue();
}

QJsonObject loudnessEntry(const Loudness::Adjustment &loudness)
{
    return {{QStringLiteral("measured"), decibels(loudness.measured.integrated)},
            {QStringLiteral("gain"), decibels(loudness.gain)},
            {QStringLiteral("result"), decibels(loudness.result)},
            {QStringLiteral("held_back"), loudness.heldBack}};
}

} // namespace

void ConsoleReport::printJson()
{
    const bool joining = m_previews.joined().has_value();
    const auto entry = [joining](const ParallelPreviews::Result &result) {
        QJsonObject object;
        if (!result.source.isEmpty())
            object.insert(QStringLiteral("source"), result.source);
        if (!joining || result.source.isEmpty())
            object.insert(QStringLiteral("preview"), result.preview);
        object.insert(QStringLiteral("made"), result.made);
        if (result.upToDate)
            object.insert(QStringLiteral("up_to_date"), true);
        if (!result.made && !result.upToDate)
            object.insert(QStringLiteral("reason"), result.reason);
        if (result.foundStart) {
            object.insert(QStringLiteral("start"), result.foundStart->seconds);
            object.insert(QStringLiteral("start_from"),
                          result.foundStart->fromChorus ? QStringLiteral("chorus") : QStringLiteral("fallback"));
        }
        if (result.loudness)
            object.insert(QStringLiteral("loudness"), loudnessEntry(*result.loudness));
        if (!result.tagProblem.isEmpty())
            object.insert(QStringLiteral("tagProblem"), result.tagProblem);
        if (!result.waveform.isEmpty())
            object.insert(QStringLiteral("waveform"), result.waveform);
        if (!result.waveformProblem.isEmpty())
            object.insert(QStringLiteral("waveformProblem"), result.waveformProblem);
        if (!result.planned.isEmpty())
            object.insert(QStringLiteral("planned"), result.planned);
        return object;
    };
    QJsonArray previews;
    for (const ParallelPreviews::Result &result : m_previews.results())
        previews.append(entry(result));
    QJsonArray leftOut;
    for (const QString &path : std::as_const(m_leftOut))
        leftOut.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("reason"), LeftOutReason}});
    QJsonObject report{{QStringLiteral("total"), m_previews.total()},
                       {QStringLiteral("made"), m_previews.madeCount()},
                       {QStringLiteral("interrupted"), m_previews.interrupted()},
                       {QStringLiteral("previews"), previews},
                       {QStringLiteral("leftOut"), leftOut}};
    // One joined file as itself; one per folder as a list.
    QJsonArray joins;
    for (const ParallelPreviews::Result &joined : this->joins())
        joins.append(entry(joined));
    if (joins.size() == 1)
        report.insert(QStringLiteral("joined"), joins.first());
    else if (joining)
        report.insert(QStringLiteral("joined"), joins);
    std::fputs(QJsonDocument(report).toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}
