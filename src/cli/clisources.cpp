#include "cli/clisources.h"

#include "analysis/sourceaudio.h"
#include "cli/consolereport.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "preview/previewmark.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

// "12 .jpg, 3 .txt, 1 without an extension": what the files below the folder are, most first.
QString kindsOf(const QStringList &files)
{
    QMap<QString, int> counts;
    for (const QString &file : files) {
        const QString name = Main::FileNameOf(file);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        ++counts[dot > 0 ? name.mid(dot).toLower() : QString()];
    }
    QList<QPair<int, QString>> kinds;
    for (auto count = counts.cbegin(); count != counts.cend(); ++count)
        kinds.append({-count.value(), count.key()});
    std::sort(kinds.begin(), kinds.end());
    QStringList told;
    for (const auto &kind : kinds)
        told.append(kind.second.isEmpty() ? QStringLiteral("%1 without an extension").arg(-kind.first)
                                          : QStringLiteral("%1 %2").arg(-kind.first).arg(kind.second));
    return told.join(QStringLiteral(", "));
}

// "no audio files in Library; 12 .jpg, 3 .txt".
QString nothingFoundNote(const CliOptions &options, Prompts &prompts, const QString &path, const QString &absolute,
                         const QStringList &previews)
{
    const QString kind = options.extensions.isEmpty()                         ? QStringLiteral("audio files")
                         : options.extensions.contains(QStringLiteral("*")) ? QStringLiteral("files")
                                                                            : options.extensions.join(QStringLiteral(" or ")) + QStringLiteral(" files");
    QStringList others = AddFolder::ScanFolder(prompts, absolute, QStringLiteral("*"));
    const QSet<QString> previewSet(previews.cbegin(), previews.cend());
    others.erase(std::remove_if(others.begin(), others.end(), [&](const QString &file) { return previewSet.contains(file); }),
                 others.end());
    QStringList found;
    if (!previews.isEmpty())
        found.append(QStringLiteral("%1 %2 of Lumbrisk's").arg(previews.size()).arg(previews.size() == 1 ? "preview" : "previews"));
    if (!others.isEmpty())
        found.append(kindsOf(others));
    const QString held = found.isEmpty() ? QStringLiteral("no other file either") : found.join(QStringLiteral(", "));
    return QStringLiteral("no %1 in %2; %3").arg(kind, path, held);
}

// The folder as a song below it is recorded, cleaned, and as its links resolve.
void addRoot(QStringList &roots, const QString &absolute)
{
    for (const QString &root : {QDir::cleanPath(absolute), QFileInfo(absolute).canonicalFilePath()}) {
        if (!root.isEmpty() && !roots.contains(root))
            roots.append(root);
    }
}

} // namespace

Sources SourcesOf(const CliOptions &options, Prompts &prompts, ScanProgress &progress, const AddFolder::Stopped &stopped)
{
    Sources sources;
    if (options.paths.isEmpty()) {
        // Rows that name one file share its strings: a list may name it millions of times.
        QHash<QString, QPair<QString, QString>> named; // path -> its folder below the list's, its shown name
        for (const StartList::Row &row : options.starts) {
            auto found = named.constFind(row.path);
            if (found == named.cend()) {
                const QString below = AddFolder::FolderBelow(options.startsFolder, row.path);
                found = named.insert(row.path, {below, below + Main::FileNameOf(row.path)});
            }
            sources.paths.append(row.path);
            sources.shownNames.append(found->second);
            if (options.keepFolders)
                sources.subfolders.append(found->first);
        }
    }
    const QString pattern = AddFolder::PatternOfAny(options.extensions.isEmpty() ? SourceAudio::Extensions()
                                                                                 : options.extensions);
    for (const QByteArray &given : options.paths) {
        const QString path = FileNames::Decoded(given);
        if (path.isNull()) {
            const QByteArray folder = given.startsWith('/') ? QByteArray() : QFile::encodeName(QDir::currentPath()) + '/';
            sources.leftOut.append(folder + given);
            continue;
        }
        const QString absolute = Main::AbsolutePath(path);
        if (!Main::FolderExists(path)) {
            sources.paths.append(absolute);
            sources.shownNames.append(Main::FileNameOf(absolute));
            if (options.keepFolders)
                sources.subfolders.append(QString());
            continue;
        }
        addRoot(sources.roots, absolute);
        const QStringList scanned = AddFolder::ScanFolder(
            prompts, absolute, pattern, [&progress](const QStringList &rows) { progress.found(rows.size()); },
            &sources.leftOut, stopped, [&sources](const QString &folder, int error) {
                sources.unread.append({folder, QStringLiteral("the folder could not be read: ")
                                                   + QString::fromLocal8Bit(std::strerror(error))});
                if (sources.pruneHeld.isEmpty())
                    sources.pruneHeld = QStringLiteral("%1 could not be read").arg(folder);
            });
        if (stopped())
            break;
        qsizetype previews = 0;
        const QStringList found = PreviewMark::WithoutPreviews(scanned, previews);
        if (found.isEmpty()) {
            // Whatever the scan gave were previews.
            sources.notes.append(nothingFoundNote(options, prompts, path, absolute, scanned));
            if (sources.pruneHeld.isEmpty())
                sources.pruneHeld = QStringLiteral("%1 holds no song").arg(path);
        } else if (previews > 0) {
            sources.notes.append(QStringLiteral("%1: left out %2 %3 that Lumbrisk made")
                                     .arg(path)
                                     .arg(previews)
                                     .arg(previews == 1 ? "preview" : "previews"));
        }
        for (const QString &source : found) {
            const QString below = AddFolder::FolderBelow(absolute, source);
            sources.shownNames.append(below + Main::FileNameOf(source));
            if (options.keepFolders)
                sources.subfolders.append(below);
        }
        sources.paths += found;
    }
    return sources;
}
