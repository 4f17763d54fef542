#include "analysis/waveform.h"

#include "analysis/decodedaudio.h"
#include "platform/safefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <memory>
#include <optional>
#include <utility>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Waveform {

namespace {

constexpr int Version = 2;
constexpr uint32_t EightBitFlag = 1;

int16_t toSixteenBits(float sample)
{
    const double scaled = std::round(double(sample) * 32768.0);
    return int16_t(std::clamp(scaled, -32768.0, 32767.0));
}

void appendLittleEndian(QByteArray &bytes, uint32_t value, int size)
{
    for (int byte = 0; byte < size; ++byte)
        bytes.append(char((value >> (8 * byte)) & 0xff));
}

} // namespace

Builder::Builder(int inputChannels, int sampleRate, int outputChannels, int samplesPerPixel)
    : m_inputChannels(std::clamp(inputChannels, 1, 2))
{
    m_data.channels = std::min(std::clamp(outputChannels, 1, 2), m_inputChannels);
    m_data.sampleRate = sampleRate;
    m_data.samplesPerPixel = std::max(samplesPerPixel, 1);
    startPixel();
}

void Builder::add(const float *samples, size_t frames)
{
    while (frames > 0) {
        const size_t run = std::min(frames, size_t(m_data.samplesPerPixel - m_count));
        for (int channel = 0; channel < m_data.channels; ++channel)
            take(channel, samples, run);
        samples += run * size_t(m_inputChannels);
        frames -= run;
        m_count += int(run);
        if (m_count == m_data.samplesPerPixel)
            closePixel();
    }
}

void Builder::take(int channel, const float *samples, size_t frames)
{
    int lowest = m_lowest[channel];
    int highest = m_highest[channel];
    if (m_data.channels < m_inputChannels) {
        for (size_t frame = 0; frame < frames; ++frame) {
            const int value = (toSixteenBits(samples[2 * frame]) + toSixteenBits(samples[2 * frame + 1])) / 2;
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
    } else {
        // Rounding keeps the order of samples, so only the extremes of the floats need it.
        const size_t stride = size_t(m_inputChannels);
        float low = samples[size_t(channel)];
        float high = low;
        for (size_t frame = 1; frame < frames; ++frame) {
            const float value = samples[frame * stride + size_t(channel)];
            low = std::min(low, value);
            high = std::max(high, value);
        }
        lowest = std::min<int>(lowest, toSixteenBits(low));
        highest = std::max<int>(highest, toSixteenBits(high));
    }
    m_lowest[channel] = int16_t(lowest);
    m_highest[channel] = int16_t(highest);
}

Data Builder::finish()
{
    if (m_count > 0)
        closePixel();
    return m_data;
}

void Builder::closePixel()
{
    for (int channel = 0; channel < m_data.channels; ++channel) {
        m_data.values.push_back(m_lowest[channel]);
        m_data.values.push_back(m_highest[channel]);
    }
    startPixel();
}

void Builder::startPixel()
{
    for (int channel = 0; channel < 2; ++channel) {
        m_lowest[channel] = std::numeric_limits<int16_t>::max();
        m_highest[channel] = std::numeric_limits<int16_t>::min();
    }
    m_count = 0;
}

Overview OverviewOf(const std::vector<float> &mono, int rate, int points)
{
    const size_t pixels = size_t(std::max(points, 1));
    const size_t perPixel = std::max<size_t>(1, (mono.size() + pixels - 1) / pixels);
    Builder builder(1, rate, 1, int(perPixel));
    builder.add(mono.data(), mono.size());
    return {builder.finish(), rate > 0 ? double(mono.size()) / rate : 0};
}

int AtBits(int16_t value, int bits)
{
    return bits == 8 ? value / 256 : value;
}

QString Extension(Format format)
{
    return format == Format::Json ? QStringLiteral("json") : QStringLiteral("dat");
}

QByteArray Json(const Data &data, int bits)
{
    QByteArray json = QByteArrayLiteral("{\"version\":") + QByteArray::number(Version)
                      + ",\"channels\":" + QByteArray::number(data.channels)
                      + ",\"sample_rate\":" + QByteArray::number(data.sampleRate)
                      + ",\"samples_per_pixel\":" + QByteArray::number(data.samplesPerPixel)
                      + ",\"bits\":" + QByteArray::number(bits)
                      + ",\"length\":" + QByteArray::number(data.length()) + ",\"data\":[";
    json.reserve(json.size() + qsizetype(data.values.size()) * 6 + 3);
    for (size_t index = 0; index < data.values.size(); ++index) {
        if (index > 0)
            json.append(',');
        json.append(QByteArray::number(AtBits(data.values[index], bits)));
    }
    return json + "]}\n";
}

QByteArray Binary(const Data &data, int bits)
{
    QByteArray bytes;
    const int size = bits == 8 ? 1 : 2;
    bytes.reserve(24 + qsizetype(data.values.size()) * size);
    appendLittleEndian(bytes, uint32_t(Version), 4);
    appendLittleEndian(bytes, bits == 8 ? EightBitFlag : 0, 4);
    appendLittleEndian(bytes, uint32_t(data.sampleRate), 4);
    appendLittleEndian(bytes, uint32_t(data.samplesPerPixel), 4);
    appendLittleEndian(bytes, uint32_t(data.length()), 4);
    appendLittleEndian(bytes, uint32_t(data.channels), 4);
    for (const int16_t value : data.values)
        appendLittleEndian(bytes, uint32_t(AtBits(value, bits)), size);
    return bytes;
}

QString Write(const QString &path, const Data &data, Format format, int bits)
{
    return SafeFiles::WriteReplacing(path, format == Format::Json ? Json(data, bits) : Binary(data, bits));
}

QString PathBeside(const QString &preview, Format format)
{
    const QFileInfo info(preview);
    const QString stem = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return info.dir().filePath(stem + QLatin1Char('.') + Extension(format));
}

void PassBuilder::initialize(int rate, int channels)
{
    m_builder = std::make_unique<Builder>(channels, rate, m_outputChannels);
}

void PassBuilder::processSamples(const float *samples, size_t frames)
{
    m_builder->add(samples, frames);
}

namespace {

// No preview comes near it; it only keeps a damaged file from being read without end.
constexpr double LongestPreviewSeconds = 24 * 3600;

} // namespace

namespace {

// The bits and channels a waveform file says it holds; none when it cannot be read.
std::optional<std::pair<int, int>> bitsAndChannelsOf(const QString &path, Format format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (format == Format::Binary) {
        const QByteArray header = file.read(24);
        if (header.size() < 24)
            return std::nullopt;
        const auto word = [&header](int at) { return qFromLittleEndian<quint32>(header.constData() + at); };
        return std::pair(word(4) & EightBitFlag ? 8 : 16, int(word(20)));
    }
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    if (!json.contains(QStringLiteral("bits")))
        return std::nullopt;
    return std::pair(json.value(QStringLiteral("bits")).toInt(), json.value(QStringLiteral("channels")).toInt(1));
}

} // namespace

bool FileMatches(const QString &preview, const FileSettings &settings)
{
    const QString path = PathBeside(preview, settings.format);
    const QFileInfo beside(path);
    if (!beside.isFile() || beside.isSymLink() || beside.lastModified() < QFileInfo(preview).lastModified())
        return false;
    return bitsAndChannelsOf(path, settings.format) == std::pair(settings.bits, settings.channels);
}

QString WriteBeside(const QString &preview, const Data &data, const FileSettings &settings)
{
    const QString path = PathBeside(preview, settings.format);
    const QString problem = Write(path, data, settings.format, settings.bits);
    return problem.isEmpty() ? QString() : QStringLiteral("%1 cannot be written: %2").arg(path, problem);
}

QString WriteBeside(const QString &preview, const FileSettings &settings, const DecodedAudio::Decoder &decode)
{
    PassBuilder builder(settings.channels);
    Analysis::Pass pass({&builder}, LongestPreviewSeconds);
    DecodedAudio::Reading reading;
    reading.mono = settings.channels == 1; // the decoder mixes both, with half the work
    reading.ownRate = true;
    if (!decode(preview, reading, pass))
        return QStringLiteral("no audio could be decoded from it");
    return WriteBeside(preview, builder.finish(), settings);
}

} // namespace Waveform
