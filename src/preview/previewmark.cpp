#include "preview/previewmark.h"

#include "analysis/sourceaudio.h"
#include "platform/main.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <id3v2framefactory.h>
#include <id3v2header.h>
#include <textidentificationframe.h>

#include <memory>
#include <sys/stat.h>

namespace PreviewMark {

const char FrameDescription[] = "LUMBRISK";

namespace {

using namespace TagLib;

constexpr int HeaderBytes = 10;
// A mark is a short line; a larger user frame is something else and is not read.
constexpr quint32 LongestMark = 1024;

quint32 bigEndian(const QByteArray &bytes, int at, bool syncSafe)
{
    quint32 value = 0;
    for (int index = at; index < at + 4; ++index)
        value = syncSafe ? (value << 7) | (quint8(bytes.at(index)) & 0x7f) : (value << 8) | quint8(bytes.at(index));
    return value;
}

std::optional<QString> markIn(const ByteVector &frameBytes, const ID3v2::Header &header)
{
    const std::unique_ptr<ID3v2::Frame> frame(ID3v2::FrameFactory::instance()->createFrame(frameBytes, &header));
    const auto *user = dynamic_cast<const ID3v2::UserTextIdentificationFrame *>(frame.get());
    if (!user || user->description() != FrameDescription || user->fieldList().size() < 2)
        return std::nullopt;
    return TStringToQString(user->fieldList()[1]);
}

// "Song" for "Song_Preview.mp3" and "Song_Preview (2).mp3"; "" for any other name.
QString songNameOf(const QString &previewName)
{
    static const QRegularExpression preview(QStringLiteral("^(.+)_Preview(?: \\(\\d+\\))?\\.[^.]+$"));
    return preview.match(previewName).captured(1);
}

bool isMp3(const QString &path)
{
    return path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

// The names (without their extension) of the songs among the file names: the audio files
// whose names are not a preview's.
QSet<QString> songsAmong(const QStringList &names)
{
    static const QStringList extensions = SourceAudio::Extensions();
    QSet<QString> songs;
    for (const QString &name : names) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && extensions.contains(name.mid(dot + 1).toLower()) && songNameOf(name).isEmpty()
            && name != QLatin1String("Joined_Preview.mp3"))
            songs.insert(name.left(dot));
    }
    return songs;
}

QSet<QString> songsIn(const QString &folder)
{
    return songsAmong(QDir(folder).entryList(QDir::Files | QDir::Hidden));
}

} // namespace

std::optional<QString> Read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(HeaderBytes);
    if (head.size() < HeaderBytes || !head.startsWith("ID3"))
        return std::nullopt;
    const ID3v2::Header header(ByteVector(head.constData(), HeaderBytes));
    const unsigned version = header.majorVersion();
    // Lumbrisk writes 2.3 and 2.4 without unsynchronisation; others carry no mark.
    if ((version != 3 && version != 4) || header.unsynchronisation())
        return std::nullopt;
    qint64 position = HeaderBytes;
    if (header.extendedHeader()) {
        const QByteArray size = file.read(4);
        if (size.size() < 4)
            return std::nullopt;
        position += version == 4 ? bigEndian(size, 0, true) : 4 + bigEndian(size, 0, false);
    }
    const qint64 end = HeaderBytes + qint64(header.tagSize());
    while (position + HeaderBytes <= end && file.seek(position)) {
        const QByteArray frameHead = file.read(HeaderBytes);
        if (frameHead.size() < HeaderBytes || frameHead.at(0) == '\0') // the padding
            break;
        const quint32 size = bigEndian(frameHead, 4, version == 4);
        if (frameHead.startsWith("TXXX") && size <= LongestMark) {
            const QByteArray frame = frameHead + file.read(size);
            if (std::optional<QString> mark = markIn(ByteVector(frame.constData(), uint(frame.size())), header))
                return mark;
        }
        position += HeaderBytes + size;
    }
    return std::nullopt;
}

std::optional<QString> Of(const QString &sourcePath, const QString &settings)
{
    struct stat facts {};
    if (::stat(QFile::encodeName(sourcePath).constData(), &facts) != 0)
        return std::nullopt;
    // "1": the first form of the text; another would be read as not up to date.
    return QStringLiteral("1 size=%1 modified=%2.%3 %4")
        .arg(qint64(facts.st_size))
        .arg(qint64(facts.st_mtim.tv_sec))
        .arg(qint64(facts.st_mtim.tv_nsec), 9, 10, QLatin1Char('0'))
        .arg(settings);
}

QStringList WithoutPreviews(const QStringList &rows, qsizetype &leftOut)
{
    // An earlier run's output folder may lie in the scanned one, away from the songs.
    QStringList names;
    for (const QString &row : rows)
        names.append(Main::FileNameOf(row));
    const QSet<QString> scannedSongs = songsAmong(names);
    QHash<QString, QSet<QString>> songs; // per folder with a preview's name in it
    const auto ofASong = [&](const QString &row) {
        const QString name = Main::FileNameOf(row);
        const bool joined = name == QLatin1String("Joined_Preview.mp3");
        const QString song = songNameOf(name);
        if (!joined && song.isEmpty())
            return false;
        if (joined ? !scannedSongs.isEmpty() : scannedSongs.contains(song))
            return true;
        const QString folder = Main::FolderOf(row);
        if (!songs.contains(folder))
            songs.insert(folder, songsIn(folder));
        return joined ? !songs.value(folder).isEmpty() : songs.value(folder).contains(song);
    };
    QStringList kept;
    for (const QString &row : rows) {
        if ((isMp3(row) && Read(row)) || ofASong(row))
            ++leftOut;
        else
            kept.append(row);
    }
    return kept;
}

} // namespace PreviewMark
