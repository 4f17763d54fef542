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

// A decoder that gives floats; null when the library refuses.
Handle floatDecoder(long flags)
{
    Handle handle(mpg123_new(decoderName(), nullptr));
    if (handle && mpg123_param(handle.get(), MPG123_FLAGS, flags | MPG123_FORCE_FLOAT | MPG123_QUIET | MPG123_GAPLESS, 0) != MPG123_OK)
        handle.reset();
    return handle;
}

// A decoder that gives mono floats at half the rate; null when the library refuses.
Handle halfRateMonoDecoder()
{
    Handle handle = floatDecoder(MPG123_MONO_MIX);
    if (handle && mpg123_param(handle.get(), MPG123_DOWN_SAMPLE, 1, 0) != MPG123_OK)
        handle.reset();
    return handle;
}

// Hands every decoded block to `block`, as floats. A damaged stretch ends the decoding;
// what came before it is still worth a look.
void readAll(mpg123_handle *handle, const std::function<void(const float *, size_t)> &block)
{
    std::vector<float> buffer(16384);
    int status = MPG123_OK;
    while (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
        size_t bytes = 0;
        status = mpg123_read(handle, buffer.data(), buffer.size() * sizeof(float), &bytes);
        if (bytes > 0)
            block(buffer.data(), bytes / sizeof(float));
    }
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
    readAll(handle.get(), [&audio](const float *samples, size_t count) {
        audio.samples.insert(audio.samples.end(), samples, samples + count);
    });
    if (audio.samples.empty())
        return std::nullopt;
    return audio;
}

bool DecodeFull(const QString &path, int channels, const std::function<void(int rate, int channels)> &opened,
                const std::function<void(const float *samples, size_t frames)> &block)
{
    const Handle handle = floatDecoder(channels == 1 ? MPG123_MONO_MIX : 0);
    if (!handle || mpg123_open(handle.get(), QFile::encodeName(path).constData()) != MPG123_OK)
        return false;
    long rate = 0;
    int decoded = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &decoded, &encoding) != MPG123_OK || decoded < 1 || decoded > 2
        || encoding != MPG123_ENC_FLOAT_32)
        return false;
    // No format change is allowed midway: a new one would be read with the first's channels.
    mpg123_format_none(handle.get());
    mpg123_format(handle.get(), rate, decoded, MPG123_ENC_FLOAT_32);
    opened(int(rate), decoded);
    readAll(handle.get(), [&block, decoded](const float *samples, size_t count) {
        block(samples, count / size_t(decoded));
    });
    return true;
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
