#include "preview/mp3audio.h"

#include <QFile>

namespace Mp3Audio {

namespace {

constexpr qint64 Id3v1Size = 128;

// Bytes taken by an ID3v2 tag at the start: a ten-byte head and a 7-bit-per-byte size.
qint64 id3v2Size(const QByteArray &head)
{
    if (head.size() < 10 || !head.startsWith("ID3"))
        return 0;
    qint64 size = 0;
    for (int index = 6; index < 10; ++index)
        size = (size << 7) | (uchar(head.at(index)) & 0x7f);
    return 10 + size;
}

// Length in bytes of the Layer III frame whose header this is; 0 when it is no such header.
qint64 frameLength(const QByteArray &header)
{
    if (header.size() < 4 || uchar(header.at(0)) != 0xff || (uchar(header.at(1)) & 0xe0) != 0xe0)
        return 0;
    const int version = (uchar(header.at(1)) >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = (uchar(header.at(1)) >> 1) & 3;   // 1: Layer III
    const int bitrateIndex = uchar(header.at(2)) >> 4;
    const int rateIndex = (uchar(header.at(2)) >> 2) & 3;
    const int padding = (uchar(header.at(2)) >> 1) & 1;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static const int mpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int mpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int mpeg1Rates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int kbps = mpeg1 ? mpeg1Kbps[bitrateIndex] : mpeg2Kbps[bitrateIndex];
    const int rate = mpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    return (mpeg1 ? 144 : 72) * kbps * 1000 / rate + padding;
}

} // namespace

bool HoldsAudio(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 start = id3v2Size(file.peek(10));
    qint64 end = file.size();
    if (end - start >= Id3v1Size && file.seek(end - Id3v1Size) && file.read(3) == "TAG")
        end -= Id3v1Size;
    if (!file.seek(start))
        return false;
    const qint64 frame = frameLength(file.read(4));
    return end - start > 2 * frame;
}

} // namespace Mp3Audio
