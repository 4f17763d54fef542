#include "batch/orphans.h"

#include "analysis/waveform.h"
#include "platform/main.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"

#include <QCollator>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Orphans {

namespace {

// The source a marked file records, when that source is gone; "" otherwise (no mark, a mark
// of an earlier form, which names no source, or a source that is there).
QString goneSourceOf(const QString &path)
{
    const std::optional<QString> text = PreviewMark::Read(path);
    if (!text)
        return QString();
    const std::optional<PreviewMark::Record> record = PreviewMark::Record::Parse(*text);
    if (!record || !record->has(QStringLiteral("source")))
        return QString();
    const QString source = record->source();
    return QFileInfo::exists(source) ? QString() : source;
}

QStringList waveformsBeside(const QString &preview)
{
    QStringList found;
    for (const Waveform::Format format : {Waveform::Format::Json, Waveform::Format::Binary}) {
        const QString path = Waveform::PathBeside(preview, format);
        const QFileInfo info(path);
        if (info.isFile() && !info.isSymLink())
            found.append(path);
    }
    return found;
}

QStringList mp3FilesIn(const QString &folder, bool recursive)
{
    QStringList files;
    QDirIterator iterator(folder, {QStringLiteral("*.mp3"), QStringLiteral("*.MP3")},
                          QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                          recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (iterator.hasNext())
        files.append(iterator.next());
    return files;
}

} // namespace

QList<Orphan> Find(const QStringList &folders, bool recursive, const QSet<QString> &current)
{
    QStringList files;
    for (const QString &folder : folders)
        files += mp3FilesIn(folder, recursive);
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(files.begin(), files.end(), collator);
    files.erase(std::unique(files.begin(), files.end()), files.end());
    QList<Orphan> orphans;
    for (const QString &file : std::as_const(files)) {
        const QString source = goneSourceOf(file);
        if (source.isEmpty() || current.contains(PreviewFiles::FileKey(file)))
            continue;
        Orphan orphan;
        orphan.preview = file;
        orphan.source = source;
        orphan.besides = waveformsBeside(file);
        orphans.append(orphan);
    }
    return orphans;
}

void Remove(Orphan &orphan)
{
    for (const QString &path : QStringList{orphan.preview} + orphan.besides) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            orphan.problem = QStringLiteral("%1 cannot be removed: %2").arg(path, file.errorString());
            return;
        }
    }
    orphan.removed = true;
}

} // namespace Orphans
