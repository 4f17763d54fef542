#include "analysis/chorusevidence.h"

#include <algorithm>
#include <cmath>

namespace Chorus {

namespace {

constexpr double FitterShare = 1.1;
constexpr double BrighterDb = 0.5;
constexpr double DenserShare = 1.05;
// A note begins where the level rises 2 dB within 20 ms, more than anywhere within 50 ms.
constexpr float NoteDb = 2;
constexpr size_t NoteFrames = 5;
constexpr double HigherSemitones = 0.5;
constexpr double SoundWeight = 0.25;
constexpr int StructureCues = 4;
constexpr int SoundCues = 3;

// 1 when the first holds, -1 when the second does, else 0.
int vote(bool one, bool other)
{
    return int(one) - int(other);
}

// The frames of `fps` a second that `occurrence` covers, within `frames`.
std::pair<size_t, size_t> framesOf(const Section &occurrence, double fps, size_t frames)
{
    const auto begin = std::min(frames, size_t(std::max(0L, std::lround(occurrence.begin * fps))));
    const auto end = std::min(frames, size_t(std::max(0L, std::lround(occurrence.end * fps))));
    return {begin, std::max(begin, end)};
}

// How many notes begin in frames `first` to `last` - 1: rises of the whole band of NoteDb
// and more, each the strongest within NoteFrames either way.
int notesBegun(const Onsets &onsets, size_t first, size_t last)
{
    const std::vector<float> &rise = onsets.whole;
    int notes = 0;
    for (size_t frame = first; frame < last; ++frame) {
        const size_t from = frame > NoteFrames ? frame - NoteFrames : 0;
        const size_t to = std::min(rise.size(), frame + NoteFrames + 1);
        notes += rise[frame] >= NoteDb && *std::max_element(rise.begin() + long(from), rise.begin() + long(to)) == rise[frame];
    }
    return notes;
}

} // namespace

Sound SoundOf(const Repeated &section, const Features &detailed, const Onsets &onsets)
{
    Sound sound;
    sound.fitness = section.fitness;
    sound.repeats = int(section.occurrences.size());
    sound.firstHeard = section.occurrences.empty() ? 0 : section.occurrences.front().begin;
    double power = 0;
    double treble = 0;
    double melody = 0;
    double melodyPower = 0;
    double notes = 0;
    double seconds = 0;
    for (const Section &occurrence : section.occurrences) {
        const auto [begin, end] = framesOf(occurrence, detailed.framesPerSecond, detailed.power.size());
        for (size_t frame = begin; frame < end; ++frame) {
            power += detailed.power[frame];
            treble += detailed.power[frame] * detailed.treble[frame];
            if (detailed.height[frame] > 0) {
                melody += detailed.power[frame] * detailed.height[frame];
                melodyPower += detailed.power[frame];
            }
        }
        const auto [first, last] = framesOf(occurrence, onsets.framesPerSecond, onsets.whole.size());
        notes += notesBegun(onsets, first, last);
        seconds += double(end - begin) / detailed.framesPerSecond;
    }
    sound.levelDb = 10 * std::log10(std::max(1e-12, power / std::max(1.0, seconds * detailed.framesPerSecond)));
    sound.trebleDb = LevelRatioDb(treble, power);
    sound.notesPerSecond = notes / std::max(seconds, 1e-3);
    sound.height = melodyPower > 0 ? melody / melodyPower : 0;
    return sound;
}

double Comparison(const Sound &one, const Sound &other)
{
    const int structure = vote(one.fitness > FitterShare * other.fitness, other.fitness > FitterShare * one.fitness)
                          + vote(one.repeats > other.repeats, other.repeats > one.repeats)
                          + vote(one.levelDb >= other.levelDb + LouderDb, other.levelDb >= one.levelDb + LouderDb)
                          + vote(one.firstHeard > other.firstHeard, other.firstHeard > one.firstHeard);
    const int sound = vote(one.trebleDb >= other.trebleDb + BrighterDb, other.trebleDb >= one.trebleDb + BrighterDb)
                      + vote(one.notesPerSecond >= DenserShare * other.notesPerSecond,
                             other.notesPerSecond >= DenserShare * one.notesPerSecond)
                      + vote(one.height >= other.height + HigherSemitones, other.height >= one.height + HigherSemitones);
    return structure + SoundWeight * sound;
}

std::vector<double> ChorusLikeness(const std::vector<Sound> &sounds)
{
    constexpr double Most = StructureCues + SoundWeight * SoundCues;
    std::vector<double> likeness(sounds.size(), 1);
    if (sounds.size() < 2)
        return likeness;
    for (size_t one = 0; one < sounds.size(); ++one) {
        double sum = 0;
        for (size_t other = 0; other < sounds.size(); ++other)
            sum += other == one ? 0 : Comparison(sounds[one], sounds[other]);
        likeness[one] = (sum / double(sounds.size() - 1) + Most) / (2 * Most);
    }
    return likeness;
}

} // namespace Chorus
