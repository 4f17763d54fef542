// The job's closing message: how many previews were made, and in the details what was not
// made and why, grouped by reason, the free names taken and the songs that repeat nothing.
#include "preview/previewjob.h"

#include <QMap>

QString PreviewJob::closingText() const
{
    if (m_failures.isEmpty() && m_freeNames.isEmpty() && m_untagged.isEmpty())
        return QStringLiteral("Done.");
    QString text = QStringLiteral("Done.\n\n%1 of %2 previews were made.").arg(m_made).arg(m_rowCount);
    const int sameNames = int(m_freeNames.size()) - m_namesTaken - m_unmarkedKept;
    if (sameNames > 0)
        text += QStringLiteral("\n%1 of them got a free name, as an earlier file of the list has the same name.")
                    .arg(sameNames);
    if (m_unmarkedKept > 0)
        text += QStringLiteral("\n%1 of them got a free name, as a file without Lumbrisk's mark (a song, or a file of "
                               "your own) holds the name, and is kept.")
                    .arg(m_unmarkedKept);
    if (m_namesTaken > 0)
        text += QStringLiteral("\n%1 of them got a free name, as a file of that name appeared during the run.")
                    .arg(m_namesTaken);
    if (!m_untagged.isEmpty())
        text += QStringLiteral("\nTags could not be copied into %1 of the files made.").arg(m_untagged.size());
    return text;
}

// A reason met once reads "<path>: <reason>"; one met more often is said once, with the
// number of files and their paths below it.
QString PreviewJob::closingDetails() const
{
    QStringList reasons;
    QMap<QString, QStringList> pathsOf;
    for (const auto &[path, reason] : m_failures) {
        if (!pathsOf.contains(reason))
            reasons.append(reason);
        pathsOf[reason].append(path);
    }
    QStringList lines = m_untagged;
    if (!reasons.isEmpty())
        lines << QStringLiteral("Not made:");
    for (const QString &reason : std::as_const(reasons)) {
        const QStringList &paths = pathsOf[reason];
        if (paths.size() == 1) {
            lines << paths.first() + QStringLiteral(": ") + reason;
            continue;
        }
        lines << QStringLiteral("%1: %2 files").arg(reason).arg(paths.size());
        for (const QString &path : paths)
            lines << QStringLiteral("    ") + path;
    }
    if (!m_freeNames.isEmpty())
        lines << QStringLiteral("Saved under a free name:") << m_freeNames;
    lines << m_startNotes;
    return lines.join(QLatin1Char('\n'));
}
