// What lumbrisk-cli tells of joined files: each one kept or measured, and what the summary
// counts of them, their pieces among them.
#include "cli/consolereport.h"

#include <algorithm>
#include <cmath>

QString ConsoleReport::KeptLine(const ParallelPreviews::Result &result, bool joining)
{
    if (result.pieceTaken)
        return QStringLiteral("up to date, taken for the join: ") + result.preview;
    return (joining ? QStringLiteral("up to date in ") : QStringLiteral("up to date: ")) + result.preview;
}

// "Album/Joined_Preview.mp3: -14.1 LUFS, -1.12 dBTP, lowered by 0.45 dB to keep its true peak
// at or below -1 dBTP"
QString ConsoleReport::JoinedLoudnessLine(const ParallelPreviews::Result &joined)
{
    const Loudness::Adjustment &loudness = *joined.loudness;
    QString line = joined.preview + QStringLiteral(": ");
    line += loudness.result ? QStringLiteral("%1 LUFS").arg(*loudness.result, 0, 'f', 1) : QStringLiteral("silent");
    if (loudness.truePeak && std::isfinite(*loudness.truePeak))
        line += QStringLiteral(", %1 dBTP").arg(*loudness.truePeak, 0, 'f', 2);
    if (loudness.heldBack)
        line += QStringLiteral(", lowered by %1 dB to keep its true peak at or below %2 dBTP")
                    .arg(-loudness.gain, 0, 'f', 2)
                    .arg(Loudness::PeakCeiling);
    return line;
}

QString ConsoleReport::joinsSummary(int pieces, int songs) const
{
    QStringList notJoined;
    int made = 0;
    for (const ParallelPreviews::Result &joined : m_previews.joining().joins()) {
        if (joined.made)
            ++made;
        else if (!joined.upToDate)
            notJoined.append(joined.preview);
    }
    QString summary = QStringLiteral("%1 joined previews made from %2 of %3 previews").arg(made).arg(pieces).arg(songs);
    if (!notJoined.isEmpty())
        summary += QStringLiteral("; not joined: ") + notJoined.join(QStringLiteral(", "));
    return summary;
}

QString ConsoleReport::joinsKeptNote() const
{
    int keptJoins = 0;
    for (const ParallelPreviews::Result &joined : joins())
        keptJoins += joined.upToDate ? 1 : 0;
    int keptSongs = 0;
    int taken = 0;
    for (const ParallelPreviews::Result &result : m_previews.results()) {
        taken += result.pieceTaken ? 1 : 0;
        keptSongs += result.upToDate && !result.pieceTaken ? 1 : 0;
    }
    QStringList notes;
    if (taken > 0)
        notes.append(QStringLiteral("pieces taken from previews that were up to date: %1").arg(taken));
    if (keptJoins > 0)
        notes.append(QStringLiteral("up to date: %1 of %2 previews")
                         .arg(keptJoins == 1 ? QStringLiteral("1 joined preview")
                                             : QStringLiteral("%1 joined previews").arg(keptJoins))
                         .arg(keptSongs));
    return notes.join(QStringLiteral("; "));
}

bool ConsoleReport::allJoinsKept() const
{
    const QList<ParallelPreviews::Result> joins = this->joins();
    return !joins.isEmpty() && std::all_of(joins.cbegin(), joins.cend(), [](const ParallelPreviews::Result &joined) {
        return joined.upToDate;
    });
}
