#include "batch/orphans.h"

#include "analysis/waveform.h"
#include "platform/main.h"
#include "preview/outputformat.h"
#include "preview/previewfiles.h"
#include "preview/previewmark.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace Orphans {

namespace {

// Far above the waveform file of any preview; a larger file is not one of ours.
constexpr qint64 MostWaveformBytes = 256 * 1024 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The source a marked file records; "" for a file without a mark, or with a mark of an
// earlier form, which names no source.
QString sourceOf(const QString &path)
{
    const std::optional<QString> text = PreviewMark::Read(path);
    if (!text)
        return QString();
    const std::optional<PreviewMark::Record> record = PreviewMark::Record::Parse(*text);
    return record && record->has(QStringLiteral("source")) ? record->source() : QString();
}

// The root the path lies below, "" when none.
QString rootOf(const QString &path, const QStringList &roots)
{
    for (const QString &root : roots) {
        if (path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/')))
            return root;
    }
    return QString();
}

enum class Look { There, Gone, Doubt };

// Whether the source is there, proved gone, or neither; reason says why it is a doubt.
Look lookAt(const QString &source, const QStringList &roots, QString &reason, bool &outside)
{
    struct stat status {};
    const QByteArray name = QFile::encodeName(source);
    if (::stat(name.constData(), &status) == 0)
        return Look::There;
    if (errno != ENOENT) {
        reason = QStringLiteral("%1 cannot be looked at: %2").arg(source, systemError(errno));
        return Look::Doubt;
    }
    const QString root = rootOf(source, roots);
    outside = root.isEmpty();
    if (outside) {
        reason = QStringLiteral("%1 lies outside this run's folders").arg(source);
        return Look::Doubt;
    }
    if (::lstat(name.constData(), &status) == 0) {
        reason = QStringLiteral("%1 is a link to nothing").arg(source);
        return Look::Doubt;
    }
    // The nearest folder above it that is there was looked into: a link to nothing or a folder
    // that cannot be read there may hide the song.
    QString folder = Main::FolderOf(source).chopped(1);
    while (folder.size() > root.size() && ::lstat(QFile::encodeName(folder).constData(), &status) != 0 && errno == ENOENT)
        folder = Main::FolderOf(folder).chopped(1);
    const QByteArray folderName = QFile::encodeName(folder);
    if (folder.size() < root.size() || ::stat(folderName.constData(), &status) != 0 || !S_ISDIR(status.st_mode)
        || ::access(folderName.constData(), R_OK | X_OK) != 0) {
        reason = QStringLiteral("its folder %1 cannot be read").arg(folder.size() < root.size() ? root : folder);
        return Look::Doubt;
    }
    return Look::Gone;
}

// A .dat file as Waveform::Binary writes it: version 2, 8 or 16 bits, one or two channels,
// and exactly the values its header counts.
bool isBinaryWaveform(const QByteArray &bytes)
{
    if (bytes.size() < 24)
        return false;
    const auto word = [&bytes](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    const quint32 flags = word(4);
    const quint64 channels = word(20);
    const quint64 size = flags == 1 ? 1 : 2;
    return word(0) == 2 && flags <= 1 && word(12) > 0 && (channels == 1 || channels == 2)
           && quint64(bytes.size()) == 24 + quint64(word(16)) * channels * 2 * size;
}

// A .json file as Waveform::Json writes it: those keys and no others, and whole values in
// the range of its bits, as many as its length says.
bool isJsonWaveform(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject json = document.object();
    const QStringList keys{QStringLiteral("bits"), QStringLiteral("channels"), QStringLiteral("data"), QStringLiteral("length"),
                           QStringLiteral("sample_rate"), QStringLiteral("samples_per_pixel"), QStringLiteral("version")};
    if (error.error != QJsonParseError::NoError || !document.isObject() || json.keys() != keys)
        return false;
    const int bits = json.value(QStringLiteral("bits")).toInt();
    const int channels = json.value(QStringLiteral("channels")).toInt();
    const QJsonArray data = json.value(QStringLiteral("data")).toArray();
    if (json.value(QStringLiteral("version")).toInt() != 2 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2)
        || json.value(QStringLiteral("samples_per_pixel")).toInt() <= 0
        || data.size() != qint64(json.value(QStringLiteral("length")).toInt(-1)) * 2 * channels)
        return false;
    const int highest = bits == 8 ? 127 : 32767;
    return std::all_of(data.begin(), data.end(), [highest](const QJsonValue &value) {
        const double number = value.toDouble(highest + 1.0);
        return value.isDouble() && number == double(int(number)) && number >= -highest - 1 && number <= highest;
    });
}

bool isWaveformFile(const QString &path, Waveform::Format format)
{
    QFile file(path);
    if (file.size() > MostWaveformBytes || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return format == Waveform::Format::Binary ? isBinaryWaveform(bytes) : isJsonWaveform(bytes);
}

QStringList waveformsBeside(const QString &preview)
{
    QStringList found;
    for (const Waveform::Format format : {Waveform::Format::Json, Waveform::Format::Binary}) {
        const QString path = Waveform::PathBeside(preview, format);
        const QFileInfo info(path);
        if (info.isFile() && !info.isSymLink() && isWaveformFile(path, format))
            found.append(path);
    }
    return found;
}

QStringList previewFormatFilesIn(const QString &folder, bool recursive)
{
    QStringList files;
    QDirIterator iterator(folder, OutputFormat::AllPatterns(),
                          QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                          recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (iterator.hasNext())
        files.append(iterator.next());
    return files;
}

// True when nothing but the paths gone is left in the folder.
bool emptyWithout(const QString &folder, const QSet<QString> &gone)
{
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return std::all_of(entries.cbegin(), entries.cend(),
                       [&](const QString &entry) { return gone.contains(folder + QLatin1Char('/') + entry); });
}

} // namespace

Found Find(const QStringList &folders, bool recursive, const QSet<QString> &current, const QStringList &roots)
{
    QStringList files;
    for (const QString &folder : folders)
        files += previewFormatFilesIn(folder, recursive);
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(files.begin(), files.end(), collator);
    files.erase(std::unique(files.begin(), files.end()), files.end());
    Found found;
    for (const QString &file : std::as_const(files)) {
        const QString source = sourceOf(file);
        if (source.isEmpty() || current.contains(PreviewFiles::FileKey(file)))
            continue;
        QString reason;
        bool outside = false;
        const Look look = lookAt(source, roots, reason, outside);
        if (look == Look::Doubt)
            found.doubts.append({file, source, reason, outside});
        if (look != Look::Gone)
            continue;
        Orphan orphan;
        orphan.preview = file;
        orphan.source = source;
        orphan.besides = waveformsBeside(file);
        found.orphans.append(orphan);
    }
    return found;
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

QStringList RemoveEmptied(const QList<Orphan> &orphans, const QString &top, bool dryRun)
{
    QSet<QString> gone;
    QStringList folders;
    for (const Orphan &orphan : orphans) {
        if (!orphan.removed && !dryRun)
            continue;
        for (const QString &path : QStringList{orphan.preview} + orphan.besides)
            gone.insert(path);
        folders.append(Main::FolderOf(orphan.preview).chopped(1));
    }
    const QString below = top.endsWith(QLatin1Char('/')) ? top : top + QLatin1Char('/');
    const auto deeper = [](const QString &one, const QString &other) {
        return one.count(QLatin1Char('/')) > other.count(QLatin1Char('/'))
               || (one.count(QLatin1Char('/')) == other.count(QLatin1Char('/')) && one < other);
    };
    QStringList emptied;
    while (!folders.isEmpty()) {
        std::sort(folders.begin(), folders.end(), deeper);
        folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
        const QString folder = folders.takeFirst();
        if (!folder.startsWith(below) || folder.size() <= below.size())
            continue;
        // rmdir removes only an empty folder: whatever else came there keeps it.
        const bool empty = dryRun ? emptyWithout(folder, gone) : ::rmdir(QFile::encodeName(folder).constData()) == 0;
        if (!empty)
            continue;
        emptied.append(folder + QLatin1Char('/'));
        gone.insert(folder);
        folders.append(Main::FolderOf(folder).chopped(1));
    }
    return emptied;
}

} // namespace Orphans
