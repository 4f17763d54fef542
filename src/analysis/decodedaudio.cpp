#include "analysis/decodedaudio.h"

#include "analysis/chorus.h"
#include "analysis/stretchloudness.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace DecodedAudio {

namespace {

// A part of the rate must keep the pitches the search looks at (up to 5 kHz, 8 at most), and
// treble that counts in a loudness.
constexpr long LowestQuarterRate = 11025;
constexpr long LowestHalfRate = 16000;
constexpr long LowestStretchHalfRate = 22050;

struct HandleCloser {
    void operator()(mpg123_handle *handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Handle = std::unique_ptr<mpg123_handle, HandleCloser>;

// mpg123's AVX decoder, its default on most PCs, runs at a fifth of its speed once the
// process has started a tool through QProcess (seen with libmpg123 1.31); its SSE decoder
// is as fast and stays so. Elsewhere the library's own choice.
const char *decoderName()
{
    for (const char **name = mpg123_supported_decoders(); *name; ++name) {
        if (std::strcmp(*name, "x86-64") == 0)
            return *name;
    }
    return nullptr;
}

// The library reads a frame's header and then its body, each with a system call of its own;
// through QFile's buffer one call reads a few dozen frames.
mpg123_ssize_t readFile(void *file, void *into, size_t bytes)
{
    return static_cast<QFile *>(file)->read(static_cast<char *>(into), qint64(bytes));
}

off_t seekFile(void *file, off_t offset, int whence)
{
    QFile &read = *static_cast<QFile *>(file);
    const qint64 from = whence == SEEK_CUR ? read.pos() : whence == SEEK_END ? read.size() : 0;
    return read.seek(from + offset) ? off_t(read.pos()) : off_t(-1);
}

// A decoder of floats that says nothing on the terminal, reading `file` from its beginning,
// at the file's rate divided by 2 to the power `downSampling` (0, 1 or 2).
Handle openDecoder(QFile &file, const Reading &reading, long downSampling)
{
    Handle handle(mpg123_new(decoderName(), nullptr));
    if (!handle)
        return handle;
    // Tags are TagLib's to read: the library's own reading of ID3v2 compares every frame with
    // those before it, hours for a tag of some hundred thousand frames; skipped by its size.
    const long flags = (reading.mono ? MPG123_MONO_MIX : MPG123_FORCE_STEREO) | MPG123_FORCE_FLOAT | MPG123_QUIET
                       | MPG123_GAPLESS | MPG123_SKIP_ID3V2;
    if (mpg123_param(handle.get(), MPG123_FLAGS, flags, 0) != MPG123_OK
        || mpg123_param(handle.get(), MPG123_VERBOSE, 0, 0) != MPG123_OK
        || mpg123_param(handle.get(), MPG123_DOWN_SAMPLE, downSampling, 0) != MPG123_OK
        || mpg123_replace_reader_handle(handle.get(), readFile, seekFile, nullptr) != MPG123_OK
        || !file.seek(0) || mpg123_open_handle(handle.get(), &file) != MPG123_OK)
        handle.reset();
    return handle;
}

// The library's quarter and half rates leave out the upper subbands unsynthesised: the less
// rate, the less work.
long downSamplingFor(const Reading &reading, long rate)
{
    if (reading.ownRate)
        return 0;
    if (reading.mono)
        return rate / 4 >= LowestQuarterRate ? 2 : rate / 2 >= LowestHalfRate ? 1 : 0;
    return reading.highestRate > 0 && rate > reading.highestRate && rate / 2 >= LowestStretchHalfRate ? 1 : 0;
}

// The decoder the reading asks for, at the sample it is to begin with; null when the file
// has no MPEG audio. It reads the open `file`, which must outlast it.
Handle decoderFor(QFile &file, const Reading &reading, long &rate, int &channels)
{
    Handle handle = openDecoder(file, reading, 0);
    int encoding = 0;
    // The file's own rate first: a half of 8000 Hz, which the library refuses (and tells the
    // terminal so), is never asked for.
    if (!handle || mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
        return Handle();
    if (const long downSampling = downSamplingFor(reading, rate)) {
        handle.reset();
        handle = openDecoder(file, reading, downSampling);
        if (!handle || mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
            return Handle();
    }
    if (encoding != MPG123_ENC_FLOAT_32 || channels != (reading.mono ? 1 : 2))
        return Handle();
    if (reading.from > 0 && mpg123_seek(handle.get(), off_t(std::llround(reading.from * rate)), SEEK_SET) < 0)
        return Handle();
    return handle;
}

// Keeps what it gets, for DecodeMono.
class Collector : public Analysis::Analyzer {
public:
    explicit Collector(Audio &audio) : m_audio(audio) {}
    void initialize(int rate, int) override
    {
        m_audio.rate = rate;
        // As the chorus search does: room for the longest song, only the pages written taken.
        m_audio.samples.reserve(size_t(Chorus::LongestSongSeconds * std::max(rate, 0)) + 1);
    }
    void processSamples(const float *samples, size_t frames) override
    {
        m_audio.samples.insert(m_audio.samples.end(), samples, samples + frames);
    }
    bool wantsMore() const override { return true; }
    void finalize() override {}

private:
    Audio &m_audio;
};

} // namespace

bool Decodes(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
}

bool Feed(const QString &path, const Reading &reading, Analysis::Pass &pass)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    long rate = 0;
    int channels = 0;
    const Handle handle = decoderFor(file, reading, rate, channels);
    if (!handle)
        return false;
    pass.begin(int(rate), channels);
    std::vector<float> block(16384);
    int status = MPG123_OK;
    bool wanted = true;
    while (wanted && (status == MPG123_OK || status == MPG123_NEW_FORMAT)) {
        size_t bytes = 0;
        status = mpg123_read(handle.get(), block.data(), block.size() * sizeof(float), &bytes);
        if (bytes > 0)
            wanted = pass.feed(block.data(), bytes / sizeof(float) / size_t(channels));
    }
    pass.end();
    return true;
}

std::optional<Audio> DecodeMono(const QString &path)
{
    Reading reading;
    reading.mono = true;
    return CollectMono([&](Analysis::Pass &pass) { return Feed(path, reading, pass); });
}

std::optional<Audio> CollectMono(const std::function<bool(Analysis::Pass &)> &decode)
{
    Audio audio;
    Collector collector(audio);
    Analysis::Pass pass({&collector}, Chorus::LongestSongSeconds);
    if (!decode(pass) || audio.samples.empty())
        return std::nullopt;
    return audio;
}

namespace {

// `decode` hands the audio to the pass, false when it failed.
std::optional<Loudness::Measurement> measureWhole(double seconds, Analysis::StretchLoudness::Measures measures,
                                                  const std::vector<Analysis::Analyzer *> &others,
                                                  const std::function<bool(Analysis::Pass &)> &decode)
{
    // A second more than it should last, so that none of it goes unmeasured.
    Analysis::StretchLoudness whole({0, seconds + 1, 0, 0}, measures);
    std::vector<Analysis::Analyzer *> analyzers{&whole};
    analyzers.insert(analyzers.end(), others.begin(), others.end());
    Analysis::Pass pass(analyzers, seconds + 1);
    if (!decode(pass))
        return std::nullopt;
    Loudness::Measurement measured = whole.measured();
    measured.truePeak = whole.truePeakAbove(-std::numeric_limits<double>::infinity()); // wherever it lies
    return measured;
}

std::function<bool(Analysis::Pass &)> fileFeed(const QString &path, const Decoder &decode)
{
    return [path, decode](Analysis::Pass &pass) {
        Reading reading;
        reading.ownRate = true;
        return decode(path, reading, pass);
    };
}

} // namespace

std::optional<double> MeasureTruePeak(const QString &path, double seconds, const Decoder &decode,
                                      const std::vector<Analysis::Analyzer *> &others)
{
    const std::optional<Loudness::Measurement> measured =
        measureWhole(seconds, Analysis::StretchLoudness::Measures::PeakOnly, others, fileFeed(path, decode));
    return measured ? std::optional(measured->truePeak) : std::nullopt;
}

std::optional<Loudness::Measurement> MeasureLoudness(const QString &path, double seconds,
                                                     const Decoder &decode)
{
    return measureWhole(seconds, Analysis::StretchLoudness::Measures::LoudnessAndPeak, {}, fileFeed(path, decode));
}

Loudness::Measurement MeasureStretch(const Stretch &stretch)
{
    const double seconds = stretch.rate > 0 ? double(stretch.frames()) / stretch.rate : 0;
    return *measureWhole(seconds, Analysis::StretchLoudness::Measures::LoudnessAndPeak, {}, [&](Analysis::Pass &pass) {
        pass.begin(stretch.rate, stretch.channels);
        // In blocks, as a decoding hands them on: a long stretch is measured as it comes, not copied whole.
        constexpr size_t BlockFrames = 8192;
        for (size_t frame = 0; frame < stretch.frames(); frame += BlockFrames)
            pass.feed(stretch.samples.data() + frame * size_t(stretch.channels),
                      std::min(BlockFrames, stretch.frames() - frame));
        pass.end();
        return true;
    });
}

std::optional<Stretch> DecodeStretch(const QString &path, double from, double seconds)
{
    Analysis::StretchLoudness kept({0, seconds, 0, 0}, Analysis::StretchLoudness::Measures::PeakOnly);
    Analysis::Pass pass({&kept}, seconds + 1);
    Reading reading;
    reading.from = from;
    if (!Feed(path, reading, pass))
        return std::nullopt;
    return Stretch{kept.rate(), 2, kept.takeFrames()};
}

namespace {

template <typename Value>
void append(QByteArray &bytes, Value value)
{
    bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

QByteArray WaveHeaderOf(const Stretch &stretch)
{
    constexpr quint16 IeeeFloat = 3;
    constexpr quint32 FormatBytes = 18; // with the length of its extension, none, which SoX asks for
    const auto frameBytes = quint16(size_t(stretch.channels) * sizeof(float));
    const auto dataBytes = quint32(stretch.samples.size() * sizeof(float));
    QByteArray header;
    // RIFX is the same with big-endian numbers, as the samples are on such a machine.
    header.append(Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "RIFF" : "RIFX", 4);
    append(header, quint32(4 + 8 + FormatBytes + 8 + dataBytes));
    header.append("WAVEfmt ", 8);
    append(header, FormatBytes);
    append(header, IeeeFloat);
    append(header, quint16(stretch.channels));
    append(header, quint32(stretch.rate));
    append(header, quint32(stretch.rate) * frameBytes);
    append(header, frameBytes);
    append(header, quint16(8 * sizeof(float)));
    append(header, quint16(0));
    header.append("data", 4);
    append(header, dataBytes);
    return header;
}

} // namespace DecodedAudio
