#include "chorussongs.h"

#include <cmath>
#include <random>

namespace ChorusSongs {

namespace {

const std::vector<Chord> ChorusChords{{0, false}, {7, false}, {9, true}, {5, false}};
const std::vector<Chord> VerseChords{{9, true}, {4, true}, {2, true}, {4, false}};
const std::vector<Chord> OtherVerseChords{{2, true}, {10, false}, {5, false}, {0, false}};
const std::vector<Chord> BridgeChords{{10, false}, {3, false}};

// A decaying sine, added in by a turning phasor, which is much quicker than std::sin for every
// sample; `decay` a second, as a factor of e.
void addSine(std::vector<float> &samples, size_t from, size_t count, double hz, double level, double decay, int rate)
{
    const double step = 2 * M_PI * hz / rate;
    const double turnCos = std::cos(step) * std::exp(-decay / rate);
    const double turnSin = std::sin(step) * std::exp(-decay / rate);
    double real = level;
    double imaginary = 0;
    for (size_t index = 0; index < count && from + index < samples.size(); ++index) {
        samples[from + index] += float(imaginary);
        const double turned = real * turnCos - imaginary * turnSin;
        imaginary = real * turnSin + imaginary * turnCos;
        real = turned;
    }
}

// A decaying note with a few overtones, added in.
void addNote(std::vector<float> &samples, size_t from, size_t count, double hz, float level, int rate)
{
    for (int overtone = 1; overtone <= 4 && hz * overtone < rate / 2.0; ++overtone)
        addSine(samples, from, count, hz * overtone, level / overtone, 0.7, rate);
}

// A sung syllable: the note's overtones shaped by the two formants of a vowel.
void addSyllable(std::vector<float> &samples, size_t from, size_t count, double hz, float level, int vowel, int rate)
{
    static const double Formants[][2] = {{730, 1090}, {270, 2290}, {300, 870}, {530, 1840}, {570, 840}, {440, 1020}};
    for (int overtone = 1; overtone <= 16 && hz * overtone < rate / 2.0; ++overtone) {
        double gain = 0;
        for (const double formant : Formants[vowel % 6])
            gain += 1 / (1 + std::pow((hz * overtone - formant) / 150, 2));
        addSine(samples, from, count, hz * overtone, level * gain, 2, rate);
    }
}

// The chord's notes: its triad, and below it its root as the bass.
std::vector<int> notesOf(const Chord &chord, bool withBass)
{
    std::vector<int> notes{chord.root, chord.root + (chord.minor ? 3 : 4), chord.root + 7};
    if (withBass)
        notes.push_back(chord.root - 12);
    return notes;
}

// A drum's noise hit at sample `at`, added in.
void addHit(std::vector<float> &samples, size_t at, float level, std::mt19937 &random, int rate)
{
    std::normal_distribution<float> noise(0, 1);
    for (size_t index = 0; index < size_t(rate / 10) && at + index < samples.size(); ++index)
        samples[at + index] += level * noise(random) * float(std::exp(-double(index) / (rate * 0.02)));
}

} // namespace

double Hertz(int semitonesAboveMiddleC)
{
    return 261.63 * std::pow(2.0, semitonesAboveMiddleC / 12.0);
}

// Bars of chords (root below, triad above) over a noise beat, louder in the choruses.
Song MakeSong(const std::vector<Part> &parts, float chorusGain, int rate)
{
    std::mt19937 random(7);
    Song song;
    const auto barSamples = size_t(BarSeconds * rate);
    size_t bars = 0;
    for (const Part &part : parts)
        bars += size_t(part.bars);
    song.samples.assign(bars * barSamples, 0);
    size_t at = 0;
    for (const Part &part : parts) {
        const double begins = double(at) / rate;
        const float gain = part.chorus ? chorusGain : 1;
        for (int bar = 0; bar < part.bars; ++bar, at += barSamples) {
            const Chord chord = part.chords[size_t(bar) % part.chords.size()];
            for (const int note : notesOf(chord, true))
                addNote(song.samples, at, barSamples, Hertz(note), 0.07f * gain, rate);
            for (size_t beat = 0; beat < 4; ++beat)
                addHit(song.samples, at + beat * barSamples / 4, (beat == 0 ? 0.3f : 0.12f) * gain, random, rate);
            // Other words, another tune: each syllable's vowel and note of the chord from the words.
            std::mt19937 words(unsigned(part.words * 1000 + bar));
            const std::vector<int> tune = notesOf(chord, false);
            for (size_t beat = 0; beat < 4 && part.words != 0; ++beat)
                addSyllable(song.samples, at + beat * barSamples / 4, barSamples / 4, Hertz(tune[words() % tune.size()]),
                            0.2f * gain, int(words() % 6), rate);
        }
        if (part.chorus)
            song.choruses.emplace_back(begins, double(at) / rate);
    }
    return song;
}

// A song's parts by letter: I intro, V verse, W a verse on other chords, S a verse on the
// chorus's chords, C chorus, B bridge, X four bars of chords never heard again, O outro.
std::vector<Part> SongOf(const QString &form, int chorusBars, int verseBars)
{
    std::vector<Part> parts;
    std::mt19937 random(11);
    std::uniform_int_distribution<int> root(0, 11);
    for (const QChar letter : form) {
        switch (letter.unicode()) {
        case 'X': parts.push_back({{{root(random), false}, {root(random), true}, {root(random), false}, {root(random), true}}, 4, false}); break;
        case 'I': parts.push_back({{{0, false}}, 4, false}); break;
        case 'V': parts.push_back({VerseChords, verseBars, false}); break;
        case 'W': parts.push_back({OtherVerseChords, verseBars, false}); break;
        case 'S': parts.push_back({ChorusChords, verseBars, false}); break;
        case 'C': parts.push_back({ChorusChords, chorusBars, true}); break;
        case 'B': parts.push_back({BridgeChords, 4, false}); break;
        default: parts.push_back({{{0, false}}, 2, false}); break;
        }
    }
    return parts;
}

// The same bar, quieter, before every chorus: the repetition begins there, the chorus a bar on.
std::vector<Part> WithLeadIns(std::vector<Part> parts)
{
    for (auto part = parts.begin(); part != parts.end(); ++part) {
        if (part->chorus)
            part = parts.insert(part, {{{7, false}}, 1, false}) + 1;
    }
    return parts;
}

std::vector<Part> Sung(std::vector<Part> parts)
{
    int verses = 1;
    for (Part &part : parts) {
        part.words = part.chorus ? 1 : part.chords.size() >= 4 ? ++verses : 0;
    }
    return parts;
}

// 40 bars with the same noise hit on every beat.
std::vector<float> PlayBars(const Playing &playing)
{
    constexpr int Bars = 40;
    std::mt19937 random(5);
    const auto beatSamples = size_t(playing.beatSeconds * Rate);
    std::vector<float> samples(size_t(Bars * playing.beatsPerBar) * beatSamples);
    for (int bar = 0; bar < Bars; ++bar) {
        const Chord chord = ChorusChords[playing.barsMarked ? size_t(bar) % ChorusChords.size() : 0];
        for (int beat = 0; beat < playing.beatsPerBar; ++beat) {
            const size_t at = size_t(bar * playing.beatsPerBar + beat) * beatSamples;
            for (const int note : notesOf(chord, beat == 0 || !playing.barsMarked))
                addNote(samples, at, beatSamples, Hertz(note), 0.07f, Rate);
            addHit(samples, at, 0.12f, random, Rate);
        }
    }
    return samples;
}


} // namespace ChorusSongs
