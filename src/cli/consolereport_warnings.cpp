#include "cli/consolereport.h"

#include "batch/parallelpreviews.h"
#include "platform/main.h"
#include "preview/previewcommands.h"
#include "preview/previewsteps.h"

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
    printLine(shownName(result.source) + QStringLiteral(": ") + PreviewSteps::QuarterInNote(*result.foundStart));
}

void ConsoleReport::printNotes(const ParallelPreviews::Result &result)
{
    printNoChorus(result);
    printHeldBack(result);
    printPinnedSongChanged(result);
    printUnkeptRate(result);
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
    else if (limited && m_mode != Mode::Quiet) // at the target: quiet leaves it to --json and the page
        told = decibels(*loudness.result) + QStringLiteral(" LUFS, its peaks limited by up to ") + decibels(*loudness.limited)
               + QStringLiteral(" dB");
    else if (loudness.capped)
        told = QStringLiteral("too quiet to bring to %1 LUFS: raised by %2 dB").arg(loudness.target).arg(Loudness::MaxGain);
    else if (!loudness.measured.integrated)
        told = QStringLiteral("silent: left as it is");
    if (!told.isEmpty())
        printLine(shownName(result.source) + QStringLiteral(": ") + told);
}

// Told in every mode: the start was approved for the mix before, and only a person can tell
// whether it still holds.
void ConsoleReport::printPinnedSongChanged(const ParallelPreviews::Result &result)
{
    if (!result.pinnedSongChanged || !result.start)
        return;
    printLine(shownName(result.source) + QStringLiteral(": changed since its start was pinned; kept at ")
              + PreviewCommands::MinutesText(*result.start) + QStringLiteral(" as its row of --starts says, check it on the review page"));
}

// Not with -q, whose output a nightly cron job mails: the rate is what -b same's help promises.
void ConsoleReport::printUnkeptRate(const ParallelPreviews::Result &result)
{
    if (done(result) && !result.unkeptRate.isEmpty() && m_mode != Mode::Quiet)
        printLine(shownName(result.source) + QStringLiteral(": ") + result.unkeptRate);
}
