#include "analysis/mp3decode.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <mpg123.h>

#include <cstring>
#include <memory>

namespace Mp3Decode {

namespace {

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

// A decoder that gives mono floats at half the rate; null when the library refuses.
Handle halfRateMonoDecoder()
{
    Handle handle(mpg123_new(decoderName(), nullptr));
    if (!handle)
        return handle;
    const long flags = MPG123_MONO_MIX | MPG123_FORCE_FLOAT | MPG123_QUIET | MPG123_GAPLESS;
    if (mpg123_param(handle.get(), MPG123_FLAGS, flags, 0) != MPG123_OK
        || mpg123_param(handle.get(), MPG123_DOWN_SAMPLE, 1, 0) != MPG123_OK)
        handle.reset();
    return handle;
}

// A decoder that gives stereo floats at the file's rate.
Handle stereoDecoder()
{
    Handle handle(mpg123_new(decoderName(), nullptr));
    const long flags = MPG123_FORCE_STEREO | MPG123_FORCE_FLOAT | MPG123_QUIET | MPG123_GAPLESS;
    if (handle && mpg123_param(handle.get(), MPG123_FLAGS, flags, 0) != MPG123_OK)
        handle.reset();
    return handle;
}

} // namespace

bool Decodes(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
}

std::optional<Audio> DecodeMono(const QString &path)
{
    const Handle handle = halfRateMonoDecoder();
    if (!handle || mpg123_open(handle.get(), QFile::encodeName(path).constData()) != MPG123_OK)
        return std::nullopt;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || channels != 1
        || encoding != MPG123_ENC_FLOAT_32)
        return std::nullopt;
    Audio audio;
    audio.rate = int(rate);
    const off_t length = mpg123_length(handle.get());
    if (length > 0)
        audio.samples.reserve(size_t(length));
    std::vector<float> block(16384);
    int status = MPG123_OK;
    // A damaged stretch ends the decoding; what came before it is still worth a look.
    while (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
        size_t bytes = 0;
        status = mpg123_read(handle.get(), block.data(), block.size() * sizeof(float), &bytes);
        audio.samples.insert(audio.samples.end(), block.begin(), block.begin() + long(bytes / sizeof(float)));
    }
    if (audio.samples.empty())
        return std::nullopt;
    return audio;
}

std::optional<Loudness::Measurement> MeasureLoudness(const QString &path)
{
    const Handle handle = stereoDecoder();
    if (!handle || mpg123_open(handle.get(), QFile::encodeName(path).constData()) != MPG123_OK)
        return std::nullopt;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || channels != 2
        || encoding != MPG123_ENC_FLOAT_32)
        return std::nullopt;
    Loudness::Meter meter(channels, int(rate));
    std::vector<float> block(16384);
    size_t frames = 0;
    int status = MPG123_OK;
    while (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
        size_t bytes = 0;
        status = mpg123_read(handle.get(), block.data(), block.size() * sizeof(float), &bytes);
        meter.add(block.data(), bytes / sizeof(float) / 2);
        frames += bytes / sizeof(float) / 2;
    }
    if (frames == 0)
        return std::nullopt;
    return meter.result();
}

Audio FromFloats(const QByteArray &bytes, int rate)
{
    Audio audio;
    audio.rate = rate;
    audio.samples.resize(size_t(bytes.size()) / sizeof(float));
    std::memcpy(audio.samples.data(), bytes.constData(), audio.samples.size() * sizeof(float));
    return audio;
}

} // namespace Mp3Decode
