#include "analysis/mp3audio.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace Mp3Audio {

namespace {

constexpr qint64 Id3v1Size = 128;
// Bytes read at a time: a frame is at most 2881 bytes, and the walk looks one frame ahead.
constexpr qint64 ChunkBytes = 256 * 1024;

// A file's bytes, read piece by piece with pread. A map of a file that another program
// truncates meanwhile faults on the lost pages; a read there merely comes back short, and
// the file is then taken as changed.
class FileBytes {
public:
    explicit FileBytes(const QString &path)
        : m_descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
        if (m_descriptor >= 0)
            m_size = qMax<qint64>(0, ::lseek(m_descriptor, 0, SEEK_END));
    }
    ~FileBytes()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    // The size when the file was opened.
    qint64 size() const { return m_size; }
    bool shrank() const { return m_shrank; }
    // count bytes from position on, which must lie within size(); null when the file no
    // longer holds them. Valid until the next call.
    const uchar *at(qint64 position, qint64 count)
    {
        if (position < m_start || position + count > m_start + m_buffer.size())
            fill(position, count);
        if (position + count > m_start + m_buffer.size())
            return nullptr;
        return reinterpret_cast<const uchar *>(m_buffer.constData()) + (position - m_start);
    }

private:
    void fill(qint64 position, qint64 count)
    {
        m_start = position;
        m_buffer.resize(qMin(qMax(ChunkBytes, count), m_size - position));
        qint64 got = 0;
        while (got < m_buffer.size()) {
            const ssize_t read = ::pread(m_descriptor, m_buffer.data() + got, size_t(m_buffer.size() - got), position + got);
            if (read <= 0)
                break;
            got += read;
        }
        m_shrank = m_shrank || got < m_buffer.size();
        m_buffer.resize(got);
    }

    int m_descriptor;
    qint64 m_size = 0;
    qint64 m_start = 0;
    QByteArray m_buffer;
    bool m_shrank = false;
};

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

AudioBytes audioBytes(FileBytes &bytes)
{
    const qint64 size = bytes.size();
    const uchar *head = size >= 10 ? bytes.at(0, 10) : nullptr;
    AudioBytes audio{head ? id3v2Size(head, size) : 0, size};
    const uchar *tail = audio.end - audio.start >= Id3v1Size ? bytes.at(size - Id3v1Size, 3) : nullptr;
    if (tail && QByteArray::fromRawData(reinterpret_cast<const char *>(tail), 3) == "TAG")
        audio.end -= Id3v1Size;
    return audio;
}

} // namespace

bool HoldsAudio(const QString &path)
{
    FileBytes bytes(path);
    if (bytes.size() == 0)
        return false;
    const AudioBytes audio = audioBytes(bytes);
    const uchar *header = audio.end - audio.start >= 4 ? bytes.at(audio.start, 4) : nullptr;
    const Frame frame = header ? frameAt(header) : Frame();
    return !bytes.shrank() && audio.end - audio.start > 2 * frame.length;
}

std::optional<AudioLength> Measure(const QString &path)
{
    FileBytes bytes(path);
    if (bytes.size() == 0)
        return std::nullopt;
    const AudioBytes audio = audioBytes(bytes);
    // Walk from frame to frame; bytes that are no frame of the stream (junk, a cut-off last
    // frame, a trailing tag) are stepped over one at a time.
    qint64 frames = 0;
    Frame first;
    for (qint64 position = audio.start; position + 4 <= audio.end && !bytes.shrank();) {
        const uchar *header = bytes.at(position, 4);
        if (!header)
            break;
        const Frame frame = frameAt(header);
        const qint64 next = position + frame.length;
        const bool fits = frame.length > 0 && next <= audio.end;
        const uchar *following = fits && first.length == 0 && next + 4 <= audio.end ? bytes.at(next, 4) : nullptr;
        const bool ofStream = first.length > 0 ? frame.kind == first.kind
                                               : next + 4 > audio.end || (following && frameAt(following).kind == frame.kind);
        if (!fits || !ofStream) {
            ++position;
            continue;
        }
        if (first.length == 0) {
            first = frame;
            const uchar *whole = bytes.at(position, qMin<qint64>(frame.length, 48));
            if (whole && isInfoFrame(whole, frame.length)) {
                position = next;
                continue;
            }
        }
        ++frames;
        position = next;
    }
    // A file cut short while it was read has no length to trust.
    if (frames == 0 || bytes.shrank())
        return std::nullopt;
    const double frameSeconds = double(first.samples) / first.rate;
    return AudioLength{frames * frameSeconds, frameSeconds, first.rate};
}

std::optional<double> SoxSeconds(const QString &path)
{
    const std::optional<AudioLength> length = Measure(path);
    if (!length)
        return std::nullopt;
    return qMax(0.0, length->seconds - length->frameSeconds);
}

} // namespace Mp3Audio
