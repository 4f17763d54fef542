#include "preview/tagguard.h"

#include <QFile>

#include <id3v2synchdata.h>
#include <tbytevector.h>

#include <zlib.h>

namespace TagGuard {

namespace {

constexpr int HeaderBytes = 10;
// What TagLib gets of the audio after a stand-in tag: enough to find its first frames.
constexpr qint64 AudioBytes = 64 * 1024;
constexpr qint64 Id3v1Bytes = 128;

quint32 bigEndian(const QByteArray &bytes, qsizetype at)
{
    quint32 value = 0;
    for (qsizetype index = at; index < at + 4; ++index)
        value = (value << 8) | uchar(bytes.at(index));
    return value;
}

quint32 synchsafe(const QByteArray &bytes, qsizetype at)
{
    quint32 value = 0;
    for (qsizetype index = at; index < at + 4; ++index)
        value = (value << 7) | (uchar(bytes.at(index)) & 0x7f);
    return value;
}

QByteArray synchsafeBytes(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int index = 3; index >= 0; --index, value >>= 7)
        bytes[index] = char(value & 0x7f);
    return bytes;
}

QByteArray decodedUnsynchronisation(const QByteArray &bytes)
{
    const TagLib::ByteVector decoded = TagLib::ID3v2::SynchData::decode(TagLib::ByteVector(bytes.constData(), uint(bytes.size())));
    return QByteArray(decoded.data(), int(decoded.size()));
}

// How many bytes the zlib stream expands to, counted without keeping them; the counting
// stops once past capBytes.
qint64 expandedSize(const QByteArray &compressed, qint64 capBytes)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return 0;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    QByteArray scratch(64 * 1024, Qt::Uninitialized);
    qint64 expanded = 0;
    int status = Z_OK;
    while (status == Z_OK && expanded <= capBytes) {
        stream.next_out = reinterpret_cast<Bytef *>(scratch.data());
        stream.avail_out = uInt(scratch.size());
        status = inflate(&stream, Z_NO_FLUSH);
        expanded += scratch.size() - stream.avail_out;
        if (stream.avail_out == uInt(scratch.size()) && status == Z_OK)
            break; // no progress: the stream is cut off
    }
    inflateEnd(&stream);
    return expanded;
}

// One frame of the tag's data, as the walk finds it.
struct Frame {
    QByteArray id;
    qsizetype size = 0; // with its header
    bool compressed = false;
    bool encrypted = false;
    QByteArray payload; // compressed and readable: the zlib stream
};

Frame frameAt(const QByteArray &data, qsizetype at, int version, bool tagUnsynchronised)
{
    Frame frame;
    frame.id = data.mid(at, 4);
    const quint32 size = version >= 4 ? synchsafe(data, at + 4) : bigEndian(data, at + 4);
    if (frame.id.at(0) == '\0' || size == 0 || at + HeaderBytes + qsizetype(size) > data.size())
        return frame;
    frame.size = HeaderBytes + qsizetype(size);
    const uchar flags = uchar(data.at(at + 9));
    frame.compressed = version >= 4 ? flags & 0x08 : flags & 0x80;
    frame.encrypted = version >= 4 ? flags & 0x04 : flags & 0x40;
    if (!frame.compressed || frame.encrypted)
        return frame;
    // What comes before the zlib stream: v2.3 the expanded size, then a group byte; v2.4 a
    // group byte, then the expanded size.
    const qsizetype extra = version >= 4 ? ((flags & 0x40) ? 1 : 0) + ((flags & 0x01) ? 4 : 0)
                                         : 4 + ((flags & 0x20) ? 1 : 0);
    QByteArray payload = data.mid(at + HeaderBytes, frame.size - HeaderBytes);
    if (version >= 4 && (tagUnsynchronised || (flags & 0x02)))
        payload = decodedUnsynchronisation(payload);
    frame.payload = payload.mid(extra);
    return frame;
}

} // namespace

Guarded Look(const QString &path, qint64 capBytes)
{
    Guarded guarded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return guarded;
    const QByteArray header = file.read(HeaderBytes);
    if (header.size() < HeaderBytes || !header.startsWith("ID3"))
        return guarded;
    const int version = uchar(header.at(3));
    const uchar tagFlags = uchar(header.at(5));
    if (version < 3 || version > 4)
        return guarded; // v2.2 knows no compression
    const qint64 tagEnd = HeaderBytes + synchsafe(header, 6) + ((version >= 4 && (tagFlags & 0x10)) ? HeaderBytes : 0);
    QByteArray data = file.read(synchsafe(header, 6));
    const bool unsynchronised = tagFlags & 0x80;
    if (version == 3 && unsynchronised)
        data = decodedUnsynchronisation(data);
    qsizetype at = 0;
    if (tagFlags & 0x40 && data.size() >= 4) // an extended header
        at = version >= 4 ? synchsafe(data, 0) : 4 + bigEndian(data, 0);
    QByteArray kept;
    qint64 budget = capBytes;
    while (at >= 0 && at + HeaderBytes <= data.size()) {
        const Frame frame = frameAt(data, at, version, unsynchronised);
        if (frame.size == 0)
            break;
        // All compressed frames together may expand to the cap, no further.
        const qint64 expanded = frame.compressed && !frame.encrypted ? expandedSize(frame.payload, budget) : 0;
        if (frame.encrypted)
            guarded.refused.append(QString::fromLatin1(frame.id) + QStringLiteral(" (encrypted)"));
        else if (expanded > budget)
            guarded.refused.append(QStringLiteral("%1 (expanded, it would pass %2 MB)").arg(QString::fromLatin1(frame.id)).arg(capBytes >> 20));
        else
            kept += data.mid(at, frame.size);
        budget -= qMin(expanded, budget);
        at += frame.size;
    }
    if (guarded.refused.isEmpty())
        return guarded;
    // The stand-in tag: its frames as they were, less the refused ones; no extended header,
    // footer or tag-wide unsynchronisation of v2.3, which the copy no longer has.
    const uchar flags = tagFlags & ~0x50 & (version == 3 ? ~0x80 : 0xff);
    guarded.standIn = header.left(5) + char(flags) + synchsafeBytes(quint32(kept.size())) + kept;
    file.seek(tagEnd);
    guarded.standIn += file.read(AudioBytes);
    if (file.size() - Id3v1Bytes >= file.pos() && file.seek(file.size() - Id3v1Bytes))
        guarded.standIn += file.read(Id3v1Bytes);
    return guarded;
}

} // namespace TagGuard
