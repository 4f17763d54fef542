// What a run tells once at its end besides its summary: the previews whose songs are gone,
// and the files without Lumbrisk's mark whose names the previews left alone.
#include "cli/consolereport.h"

#include "platform/main.h"

#include <cstdio>

namespace {

// "Song_Preview.mp3, Other_Preview.mp3 and 3 more".
QString someOf(const QStringList &names)
{
    constexpr qsizetype Named = 3;
    QString text = names.mid(0, Named).join(QStringLiteral(", "));
    if (names.size() > Named)
        text += QStringLiteral(" and %1 more").arg(names.size() - Named);
    return text;
}

} // namespace

void ConsoleReport::printOrphans()
{
    const bool pruning = m_previews.settings().prune && !m_previews.interrupted();
    const QString &held = m_previews.pruning().held();
    if (pruning && !held.isEmpty())
        printLine(QStringLiteral("--prune removed nothing: %1, and songs may lie there").arg(held));
    for (const ParallelPreviews::Orphan &orphan : m_previews.pruning().orphans()) {
        if (m_mode == Mode::DryRun && pruning && held.isEmpty()) {
            QStringList words{QStringLiteral("rm"), QStringLiteral("--")};
            for (const QString &path : QStringList{orphan.preview} + orphan.besides)
                words.append(ShellQuoted(path));
            std::fputs((words.join(QLatin1Char(' ')) + QLatin1Char('\n')).toUtf8().constData(), stdout);
            continue;
        }
        const QString gone = QStringLiteral("its song %1 is gone").arg(orphan.source);
        if (!orphan.problem.isEmpty())
            printLine(QStringLiteral("not removed: %1: ").arg(orphan.preview) + gone + QStringLiteral("; ") + orphan.problem);
        else if (m_mode == Mode::Progress || m_mode == Mode::DryRun)
            printLine((orphan.removed ? QStringLiteral("removed: %1: ") : QStringLiteral("orphan: %1: ")).arg(orphan.preview)
                      + gone);
    }
    for (const QString &folder : m_previews.pruning().emptiedFolders()) {
        if (m_mode == Mode::DryRun)
            std::fputs(QStringLiteral("rmdir -- %1\n").arg(ShellQuoted(folder)).toUtf8().constData(), stdout);
        else if (m_mode == Mode::Progress)
            printLine(QStringLiteral("removed: %1: the previews removed left it empty").arg(folder));
    }
    if (pruning)
        printDoubts();
}

// Said once: the previews --prune kept because their songs could not be proved gone.
void ConsoleReport::printDoubts()
{
    QStringList outside;
    QStringList unseen;
    for (const Orphans::Doubt &doubt : m_previews.pruning().doubts())
        (doubt.outside ? outside : unseen).append(doubt.outside ? doubt.preview : doubt.preview + QStringLiteral(" (") + doubt.reason + QLatin1Char(')'));
    if (!outside.isEmpty())
        printLine(QStringLiteral("--prune kept %1 whose songs are not there but lie outside this run's folders: ")
                      .arg(outside.size() == 1 ? QStringLiteral("1 preview") : QStringLiteral("%1 previews").arg(outside.size()))
                  + someOf(outside));
    if (!unseen.isEmpty())
        printLine(QStringLiteral("--prune kept %1 whose songs cannot be told gone: ")
                      .arg(unseen.size() == 1 ? QStringLiteral("1 preview") : QStringLiteral("%1 previews").arg(unseen.size()))
                  + someOf(unseen));
}

// Said once: a first run over previews made before every preview was marked would otherwise
// leave a line per song.
QString ConsoleReport::namesNote() const
{
    QStringList avoided;
    int earlier = 0;
    for (const ParallelPreviews::Result &result : m_previews.results()) {
        if (!result.avoided.isEmpty())
            avoided.append(Main::FileNameOf(result.avoided));
        earlier += result.earlierForm && !result.upToDate ? 1 : 0;
    }
    QStringList notes;
    if (!avoided.isEmpty())
        notes.append(QStringLiteral("%1 took a numbered name, as files without Lumbrisk's mark hold %2 (songs, or "
                                    "previews made before version 1.3): ")
                         .arg(avoided.size() == 1 ? QStringLiteral("1 preview") : QStringLiteral("%1 previews").arg(avoided.size()),
                              avoided.size() == 1 ? QStringLiteral("its name") : QStringLiteral("theirs"))
                     + someOf(avoided));
    if (earlier > 0)
        notes.append(QStringLiteral("made again: %1 whose marks were written by a version before 1.3").arg(earlier));
    const int orphans = int(m_previews.pruning().orphans().size());
    int removed = 0;
    for (const ParallelPreviews::Orphan &orphan : m_previews.pruning().orphans())
        removed += orphan.removed ? 1 : 0;
    if (removed > 0)
        notes.append(QStringLiteral("removed: %1 whose songs are gone").arg(removed));
    if (orphans > removed && m_previews.settings().prune && !m_previews.pruning().held().isEmpty())
        notes.append(QStringLiteral("orphans: %1 whose songs are gone (kept: %2)").arg(orphans - removed).arg(m_previews.pruning().held()));
    else if (orphans > removed)
        notes.append(QStringLiteral("orphans: %1 whose songs are gone (--prune removes them)").arg(orphans - removed));
    return notes.isEmpty() ? QString() : QStringLiteral("; ") + notes.join(QStringLiteral("; "));
}
