#include "analysis/mp3audio.h"

#include <QFile>

namespace Mp3Audio {

namespace {

constexpr qint64 Id3v1Size = 128;

// Bytes taken by an ID3v2 tag at the start: a ten-byte head and a 7-bit-per-byte size.
qint64 id3v2Size(const uchar *head, qint64 size)
{
    if (size < 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3')
        return 0;
    qint64 tag = 0;
    for (int index = 6; index < 10; ++index)
        tag = (tag << 7) | (head[index] & 0x7f);
    return 10 + tag;
}

struct Frame {
    qint64 length = 0; // bytes; 0 when the bytes are no Layer III frame header
    int samples = 0;   // per channel
    int rate = 0;      // Hz
    uchar kind = 0;    // version, layer and rate bits: frames of one stream share them
};

Frame frameAt(const uchar *header)
{
    Frame frame;
    if (header[0] != 0xff || (header[1] & 0xe0) != 0xe0)
        return frame;
    const int version = (header[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = (header[1] >> 1) & 3;   // 1: Layer III
    const int bitrateIndex = header[2] >> 4;
    const int rateIndex = (header[2] >> 2) & 3;
    const int padding = (header[2] >> 1) & 1;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return frame;
    static const int mpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int mpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int mpeg1Rates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int kbps = mpeg1 ? mpeg1Kbps[bitrateIndex] : mpeg2Kbps[bitrateIndex];
    frame.rate = mpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    frame.samples = mpeg1 ? 1152 : 576;
    frame.length = qint64(mpeg1 ? 144 : 72) * kbps * 1000 / frame.rate + padding;
    frame.kind = uchar((header[1] & 0x1e) << 2 | rateIndex);
    return frame;
}

// The encoder's own first frame ("Xing", "Info" or "VBRI" after the side information)
// describes the stream and holds no audio.
bool isInfoFrame(const uchar *frame, qint64 length)
{
    const QByteArray start = QByteArray::fromRawData(reinterpret_cast<const char *>(frame), int(qMin<qint64>(length, 48)));
    return start.indexOf("Xing") >= 0 || start.indexOf("Info") >= 0 || start.indexOf("VBRI") >= 0;
}

// The audio part of a file's bytes: tags at either end left out.
struct AudioBytes {
    qint64 start = 0;
    qint64 end = 0;
};

AudioBytes audioBytes(const uchar *bytes, qint64 size)
{
    AudioBytes audio{id3v2Size(bytes, size), size};
    if (audio.end - audio.start >= Id3v1Size && QByteArray::fromRawData(reinterpret_cast<const char *>(bytes) + size - Id3v1Size, 3) == "TAG")
        audio.end -= Id3v1Size;
    return audio;
}

} // namespace

bool HoldsAudio(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    const uchar *bytes = file.map(0, file.size());
    if (!bytes)
        return false;
    const AudioBytes audio = audioBytes(bytes, file.size());
    const Frame frame = audio.end - audio.start >= 4 ? frameAt(bytes + audio.start) : Frame();
    return audio.end - audio.start > 2 * frame.length;
}

std::optional<Length> Measure(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return std::nullopt;
    const uchar *bytes = file.map(0, file.size());
    if (!bytes)
        return std::nullopt;
    const AudioBytes audio = audioBytes(bytes, file.size());
    // Walk from frame to frame; bytes that are no frame of the stream (junk, a cut-off last
    // frame, a trailing tag) are stepped over one at a time.
    qint64 frames = 0;
    Frame first;
    for (qint64 position = audio.start; position + 4 <= audio.end;) {
        const Frame frame = frameAt(bytes + position);
        const qint64 next = position + frame.length;
        const bool fits = frame.length > 0 && next <= audio.end;
        const bool ofStream = first.length > 0 ? frame.kind == first.kind
                                               : next + 4 > audio.end || frameAt(bytes + next).kind == frame.kind;
        if (!fits || !ofStream) {
            ++position;
            continue;
        }
        if (first.length == 0) {
            first = frame;
            if (isInfoFrame(bytes + position, frame.length)) {
                position = next;
                continue;
            }
        }
        ++frames;
        position = next;
    }
    if (frames == 0)
        return std::nullopt;
    const double frameSeconds = double(first.samples) / first.rate;
    return Length{frames * frameSeconds, frameSeconds, first.rate};
}

std::optional<double> SoxSeconds(const QString &path)
{
    const std::optional<Length> length = Measure(path);
    if (!length)
        return std::nullopt;
    return qMax(0.0, length->seconds - length->frameSeconds);
}

} // namespace Mp3Audio
