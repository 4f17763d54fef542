#pragma once
// Waveform data for web players: the lowest and highest sample of every run of samples (a
// "pixel"), in the data format of BBC's audiowaveform, version 2, which its waveform-data.js
// and peaks.js read. Samples are rounded to 16 bits before they are compared, and two
// channels are mixed into one by the integer mean of their 16-bit values, as audiowaveform
// does, so that the files it would make and ours agree.

#include "analysis/analyzer.h"
#include "analysis/decodedaudio.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Waveform {

// audiowaveform's default zoom.
constexpr int DefaultSamplesPerPixel = 256;

struct Data {
    int channels = 1;
    int sampleRate = 0;
    int samplesPerPixel = DefaultSamplesPerPixel;
    // Per pixel, per channel: the lowest, then the highest sample, at 16 bits.
    std::vector<int16_t> values;

    int length() const { return channels > 0 ? int(values.size() / size_t(2 * channels)) : 0; }
    int16_t min(int pixel, int channel = 0) const { return values[size_t((pixel * channels + channel) * 2)]; }
    int16_t max(int pixel, int channel = 0) const { return values[size_t((pixel * channels + channel) * 2 + 1)]; }
};

// Takes interleaved float samples (full scale at +-1) as they come. A stereo input gives one
// channel of both mixed unless two are asked for; a mono input always gives one.
class Builder {
public:
    Builder(int inputChannels, int sampleRate, int outputChannels = 1,
            int samplesPerPixel = DefaultSamplesPerPixel);

    void add(const float *samples, size_t frames);
    // The data so far, the last pixel included even when it has fewer samples.
    Data finish();

private:
    void startPixel();
    void closePixel();
    // Takes the next `frames` frames into the pixel being filled, for one output channel.
    void take(int channel, const float *samples, size_t frames);

    int m_inputChannels;
    Data m_data;
    int16_t m_lowest[2];
    int16_t m_highest[2];
    int m_count = 0; // samples in the pixel being filled
};

// A whole song in a few hundred pixels, for a picture of it.
struct Overview {
    Data picture;       // one channel
    double seconds = 0; // how long the song plays
};
// Mono samples in; about `points` pixels out.
Overview OverviewOf(const std::vector<float> &mono, int rate, int points = 300);

// The value a 16-bit one has at the given resolution: 8 bits keeps the integer quotient by
// 256, as audiowaveform writes it.
int AtBits(int16_t value, int bits);

enum class Format { Json, Binary };
// What a waveform file beside a preview holds: audiowaveform's defaults, but 8 bits, the
// only resolution peaks.js 4 reads (waveform-data.js reads both).
struct FileSettings {
    Format format = Format::Json;
    int bits = 8;     // 8 or 16
    int channels = 1; // 1: both mixed, or 2
};
// The file extension of each format, without its dot: "json", "dat".
QString Extension(Format format);
// The JSON form: version, channels, sample_rate, samples_per_pixel, bits, length, data.
QByteArray Json(const Data &data, int bits);
// The .dat form: a 24-byte little-endian header, then the values as int8 or int16.
QByteArray Binary(const Data &data, int bits);
// Writes the file whole or not at all, in place of whatever holds the name: a link there is
// replaced, never written through. "" when done, else why not.
QString Write(const QString &path, const Data &data, Format format, int bits);

// The file beside a preview: its name with the format's extension in place of its own.
QString PathBeside(const QString &preview, Format format);
// Builds the waveform from the blocks of a decoding pass, once their rate is known.
class PassBuilder : public Analysis::Analyzer {
public:
    explicit PassBuilder(int outputChannels) : m_outputChannels(outputChannels) {}
    void initialize(int rate, int channels) override;
    void processSamples(const float *samples, size_t frames) override;
    bool wantsMore() const override { return true; }
    void finalize() override {}
    Data finish() { return m_builder ? m_builder->finish() : Data(); }

private:
    int m_outputChannels;
    std::unique_ptr<Builder> m_builder;
};

// True when the waveform file beside the preview is there, not older than the preview, and
// of these settings: a kept preview's need not be written again.
bool FileMatches(const QString &preview, const FileSettings &settings);
// Writes the waveform file of the preview beside it; "" when done, else why not.
QString WriteBeside(const QString &preview, const Data &data, const FileSettings &settings);
// Decodes the preview once, as it plays, and writes its waveform file beside it.
QString WriteBeside(const QString &preview, const FileSettings &settings,
                    const DecodedAudio::Decoder &decode);

} // namespace Waveform
