#include "cli/jsonreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace JsonReport {

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

QString startFrom(const ParallelPreviews::Result &result)
{
    if (result.foundStart)
        return result.foundStart->fromChorus ? QStringLiteral("chorus") : QStringLiteral("fallback");
    return result.startIsShare ? QStringLiteral("share") : QStringLiteral("seconds");
}

// command: a dry run's line for it ("" when it is not planned); null in a real run.
QJsonObject entry(const ParallelPreviews::Result &result, bool joining, const QString *command)
{
    QJsonObject object;
    if (!result.source.isEmpty())
        object.insert(QStringLiteral("source"), result.source);
    if (!joining || result.source.isEmpty())
        object.insert(QStringLiteral("preview"), result.preview);
    object.insert(QStringLiteral("made"), result.made);
    // A file planned has no reason; one that is not has one, as has one not made.
    if (command ? !result.reason.isEmpty() : !result.made)
        object.insert(QStringLiteral("reason"), result.reason);
    if (result.start) {
        object.insert(QStringLiteral("start"), *result.start);
        object.insert(QStringLiteral("start_from"), startFrom(result));
    }
    if (result.loudness)
        object.insert(QStringLiteral("loudness"), loudnessEntry(*result.loudness));
    if (!result.tagProblem.isEmpty())
        object.insert(QStringLiteral("tagProblem"), result.tagProblem);
    if (!result.planned.isEmpty())
        object.insert(QStringLiteral("planned"), result.planned);
    if (!result.newFolder.isEmpty())
        object.insert(QStringLiteral("new_folder"), result.newFolder);
    if (command && !command->isEmpty())
        object.insert(QStringLiteral("command"), *command);
    return object;
}

} // namespace

QString Document(const ParallelPreviews &previews, const LeftOut &leftOut, const Plan *plan)
{
    const bool joining = previews.joined().has_value();
    QJsonArray entries;
    for (int index = 0; index < previews.total(); ++index) {
        const QString command = plan ? plan->commands.value(index) : QString();
        entries.append(entry(previews.results().at(index), joining, plan ? &command : nullptr));
    }
    QJsonArray leftOutEntries;
    for (const QString &path : leftOut.paths)
        leftOutEntries.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("reason"), leftOut.reason}});
    QJsonObject report{{QStringLiteral("total"), previews.total()},
                       {QStringLiteral("made"), previews.madeCount()},
                       {QStringLiteral("interrupted"), previews.interrupted()},
                       {QStringLiteral("previews"), entries},
                       {QStringLiteral("leftOut"), leftOutEntries}};
    if (plan)
        report.insert(QStringLiteral("dry_run"), true);
    if (joining)
        report.insert(QStringLiteral("joined"),
                      entry(*previews.joined(), joining, plan ? &plan->joinedCommand : nullptr));
    return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented));
}

} // namespace JsonReport
