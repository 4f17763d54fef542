#include "cli/consolereport.h"

#include "batch/parallelpreviews.h"
#include "platform/main.h"

namespace {

QString decibels(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

QString ConsoleReport::shownName(const QString &source) const
{
    return m_shownNames.value(source, Main::FileNameOf(source));
}

// The name goes in by concatenation, never through arg(): a name may hold "%1".
void ConsoleReport::printNoChorus(const ParallelPreviews::Result &result)
{
    if (!done(result) || !result.foundStart || result.foundStart->fromChorus)
        return;
    const QString why = result.foundStart->tooLong
                            ? QStringLiteral("too long to look into (over %1 minutes)").arg(int(Chorus::LongestSongSeconds / 60))
                            : QStringLiteral("nothing repeats in it");
    printLine(shownName(result.source) + QStringLiteral(": ") + why + QStringLiteral(", so its preview starts a quarter in, at ")
              + Clock(qint64(result.foundStart->seconds * 1000)));
}

void ConsoleReport::printHeldBack(const ParallelPreviews::Result &result)
{
    if (!done(result) || !result.loudness)
        return;
    const Loudness::Adjustment &loudness = *result.loudness;
    const bool limited = loudness.limited && *loudness.limited >= 0.05;
    QString told;
    if (loudness.heldBack && limited)
        told = decibels(*loudness.result) + QStringLiteral(" LUFS, held back by its peaks, limited by ") + decibels(*loudness.limited)
               + QStringLiteral(" dB");
    else if (loudness.heldBack)
        told = decibels(*loudness.result) + QStringLiteral(" LUFS, held back by its peaks");
    else if (limited)
        told = decibels(*loudness.result) + QStringLiteral(" LUFS, its peaks limited by up to ") + decibels(*loudness.limited)
               + QStringLiteral(" dB");
    else if (loudness.capped)
        told = QStringLiteral("too quiet to bring to %1 LUFS: raised by %2 dB").arg(loudness.target).arg(Loudness::MaxGain);
    else if (!loudness.measured.integrated)
        told = QStringLiteral("silent: left as it is");
    if (!told.isEmpty())
        printLine(shownName(result.source) + QStringLiteral(": ") + told);
}
