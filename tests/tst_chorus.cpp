// Finding a song's chorus, on audio and features made in the test: the pitch classes of
// tones, the fitness of repeated and unrepeated stretches, and where songs of verses,
// choruses and a bridge get their preview's start and their chorus sections.

#include "analysis/chorus.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr int Rate = 22050;
constexpr double BarSeconds = 2;

struct Chord {
    int root; // semitones above middle C
    bool minor;
};

struct Part {
    std::vector<Chord> chords;
    int bars;
    bool chorus;
};

struct Song {
    std::vector<float> samples;
    std::vector<std::pair<double, double>> choruses;
};

double hertz(int semitonesAboveMiddleC)
{
    return 261.63 * std::pow(2.0, semitonesAboveMiddleC / 12.0);
}

// A decaying note with a few overtones, added in; each sine by a turning phasor, which is
// much quicker than std::sin for every sample.
void addNote(std::vector<float> &samples, size_t from, size_t count, double hz, float level, int rate)
{
    const double decay = std::exp(-0.7 / rate);
    for (int overtone = 1; overtone <= 4 && hz * overtone < rate / 2.0; ++overtone) {
        const double step = 2 * M_PI * hz * overtone / rate;
        const double turnCos = std::cos(step) * decay;
        const double turnSin = std::sin(step) * decay;
        double real = level / overtone;
        double imaginary = 0;
        for (size_t index = 0; index < count && from + index < samples.size(); ++index) {
            samples[from + index] += float(imaginary);
            const double turned = real * turnCos - imaginary * turnSin;
            imaginary = real * turnSin + imaginary * turnCos;
            real = turned;
        }
    }
}

// Bars of chords (root below, triad above) over a noise beat, louder in the choruses.
Song makeSong(const std::vector<Part> &parts, float chorusGain = 1.4f, int rate = Rate)
{
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, 1);
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
            for (const int note : {chord.root - 12, chord.root, chord.root + (chord.minor ? 3 : 4), chord.root + 7})
                addNote(song.samples, at, barSamples, hertz(note), 0.07f * gain, rate);
            for (size_t beat = 0; beat < 4; ++beat) {
                const size_t hit = at + beat * barSamples / 4;
                for (size_t index = 0; index < size_t(rate / 10); ++index)
                    song.samples[hit + index] += (beat == 0 ? 0.3f : 0.12f) * gain * noise(random)
                                                 * float(std::exp(-double(index) / (rate * 0.02)));
            }
        }
        if (part.chorus)
            song.choruses.emplace_back(begins, double(at) / rate);
    }
    return song;
}

const std::vector<Chord> ChorusChords{{0, false}, {7, false}, {9, true}, {5, false}};
const std::vector<Chord> VerseChords{{9, true}, {4, true}, {2, true}, {4, false}};
const std::vector<Chord> OtherVerseChords{{2, true}, {10, false}, {5, false}, {0, false}};
const std::vector<Chord> BridgeChords{{10, false}, {3, false}};

std::vector<Part> popSong(const std::vector<Chord> &secondVerse, int chorusBars, bool lastChorusTwice = false)
{
    std::vector<Part> parts{{{{0, false}}, 4, false},      {VerseChords, 8, false},        {ChorusChords, chorusBars, true},
                            {secondVerse, 8, false},       {ChorusChords, chorusBars, true}, {BridgeChords, 4, false},
                            {ChorusChords, chorusBars, true}, {{{0, false}}, 2, false}};
    if (lastChorusTwice)
        parts.insert(parts.end() - 1, {ChorusChords, chorusBars, true});
    return parts;
}

// The same bar, quieter, before every chorus: the repetition begins there, the chorus a bar on.
std::vector<Part> withLeadIns(std::vector<Part> parts)
{
    for (auto part = parts.begin(); part != parts.end(); ++part) {
        if (part->chorus)
            part = parts.insert(part, {{{7, false}}, 1, false}) + 1;
    }
    return parts;
}

// The pitch classes of a frame, strongest first.
std::vector<int> strongest(const Chorus::Chroma &chroma, size_t count)
{
    std::vector<int> classes(12);
    for (int pitch = 0; pitch < 12; ++pitch)
        classes[size_t(pitch)] = pitch;
    std::sort(classes.begin(), classes.end(), [&](int one, int other) { return chroma[size_t(one)] > chroma[size_t(other)]; });
    classes.resize(count);
    std::sort(classes.begin(), classes.end());
    return classes;
}

// Frames of a made-up feature sequence: a run of `frames` alike frames per letter, each
// letter its own random pitch content; the same letter twice is the same content.
std::vector<Chorus::Chroma> sequence(const QString &letters, int frames, int shiftOfLast = 0)
{
    std::vector<Chorus::Chroma> chroma;
    for (int index = 0; index < letters.size(); ++index) {
        std::mt19937 random(letters.at(index).unicode());
        std::uniform_real_distribution<float> value(0, 1);
        for (int frame = 0; frame < frames; ++frame) {
            Chorus::Chroma one{};
            for (float &pitch : one)
                pitch = value(random);
            if (index == letters.size() - 1)
                std::rotate(one.begin(), one.begin() + shiftOfLast, one.end());
            float length = 0;
            for (const float pitch : one)
                length += pitch * pitch;
            for (float &pitch : one)
                pitch /= std::sqrt(length);
            chroma.push_back(one);
        }
    }
    return chroma;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<int>)

class TestChorus : public QObject {
    Q_OBJECT

private slots:
    void chromaNamesThePitchClasses_data();
    void chromaNamesThePitchClasses();
    void fitnessOfRepeatedStretches_data();
    void fitnessOfRepeatedStretches();
    void startLandsInAChorus_data();
    void startLandsInAChorus();
    void startIsTheChorusBeginning_data();
    void startIsTheChorusBeginning();
    void nothingRepeatsFallsBackToAQuarter();
};

void TestChorus::chromaNamesThePitchClasses_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<std::vector<int>>("notes"); // semitones above middle C
    QTest::addColumn<std::vector<int>>("classes");
    QTest::newRow("A4") << Rate << std::vector<int>{9} << std::vector<int>{9};
    QTest::newRow("C major, root below") << Rate << std::vector<int>{-12, 0, 4, 7} << std::vector<int>{0, 4, 7};
    QTest::newRow("F# minor at 48000 Hz") << 48000 << std::vector<int>{6, 9, 13} << std::vector<int>{1, 6, 9};
}

void TestChorus::chromaNamesThePitchClasses()
{
    QFETCH(int, rate);
    QFETCH(std::vector<int>, notes);
    QFETCH(std::vector<int>, classes);
    std::vector<float> samples(size_t(3 * rate));
    for (const int note : notes) {
        for (size_t index = 0; index < samples.size(); ++index)
            samples[index] += 0.2f * float(std::sin(2 * M_PI * hertz(note) * double(index) / rate));
    }
    const Chorus::Features features = Chorus::ChromaOf(samples, rate);
    QCOMPARE(features.framesPerSecond, 10.0);
    QCOMPARE(int(features.chroma.size()), 30);
    QCOMPARE(strongest(features.chroma[15], classes.size()), classes);
    const Chorus::Features reduced = Chorus::Reduced(features);
    QCOMPARE(int(reduced.chroma.size()), 6);
    QCOMPARE(strongest(reduced.chroma[3], classes.size()), classes);
}

void TestChorus::fitnessOfRepeatedStretches_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("shiftOfLast"); // semitones the last stretch is moved up
    QTest::addColumn<int>("stretch");     // whose fitness is looked at
    QTest::addColumn<bool>("repeated");
    QTest::newRow("repeated twice more") << QStringLiteral("ARBRCR") << 0 << 1 << true;
    QTest::newRow("its neighbour, never repeated") << QStringLiteral("ARBRCR") << 0 << 2 << false;
    QTest::newRow("repeated a tone higher at the end") << QStringLiteral("ARBCR") << 2 << 1 << true;
    QTest::newRow("nothing repeats") << QStringLiteral("ABCDEF") << 0 << 1 << false;
}

void TestChorus::fitnessOfRepeatedStretches()
{
    QFETCH(QString, letters);
    QFETCH(int, shiftOfLast);
    QFETCH(int, stretch);
    QFETCH(bool, repeated);
    constexpr int Frames = 20;
    const std::vector<double> fitness = Chorus::Fitness(Chorus::SelfSimilarity(sequence(letters, Frames, shiftOfLast)), Frames);
    QCOMPARE(int(fitness.size()), letters.size() * Frames - Frames + 1);
    const double found = fitness[size_t(stretch * Frames)];
    QVERIFY2(repeated ? found > 0.2 : found < 0.05, qPrintable(QString::number(found)));
}

void TestChorus::startLandsInAChorus_data()
{
    QTest::addColumn<double>("preview");
    QTest::addColumn<float>("chorusGain");
    QTest::addColumn<bool>("versesAlike");
    QTest::addColumn<int>("chorusBars");
    QTest::addColumn<int>("rate");
    QTest::newRow("30 s, chorus louder") << 30.0 << 1.4f << false << 12 << Rate;
    QTest::newRow("30 s, chorus as loud as the rest") << 30.0 << 1.0f << false << 12 << Rate;
    QTest::newRow("30 s, longer chorus, verses alike") << 30.0 << 1.4f << true << 16 << Rate;
    QTest::newRow("15 s, verses alike") << 15.0 << 1.4f << true << 12 << Rate;
    QTest::newRow("4000 Hz, an 8 kHz MP3 at half rate") << 30.0 << 1.4f << false << 12 << 4000;
}

void TestChorus::startLandsInAChorus()
{
    QFETCH(double, preview);
    QFETCH(float, chorusGain);
    QFETCH(bool, versesAlike);
    QFETCH(int, chorusBars);
    QFETCH(int, rate);
    const Song song = makeSong(popSong(versesAlike ? VerseChords : OtherVerseChords, chorusBars), chorusGain, rate);
    const Chorus::Start start = Chorus::ChooseStart(song.samples, rate, preview);
    QVERIFY(start.fromChorus);
    const bool inChorus = std::any_of(song.choruses.begin(), song.choruses.end(), [&](const auto &chorus) {
        return start.seconds >= chorus.first - 0.1 && start.seconds < chorus.second;
    });
    QVERIFY2(inChorus, qPrintable(QString::number(start.seconds)));
}

void TestChorus::startIsTheChorusBeginning_data()
{
    QTest::addColumn<double>("preview");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("chorusBars");
    QTest::addColumn<bool>("lastChorusTwice");
    QTest::addColumn<bool>("sectionsCompared");
    QTest::addColumn<bool>("leadIn");
    QTest::newRow("30 s preview, 24 s chorus") << 30.0 << Rate << 12 << false << true << false;
    QTest::newRow("15 s preview, 24 s chorus") << 15.0 << Rate << 12 << false << true << false;
    QTest::newRow("60 s preview, 24 s chorus") << 60.0 << Rate << 12 << false << true << false;
    // Only the start: a 30 s window overlaps the second of the last two, whose path is cut short.
    QTest::newRow("30 s preview, 24 s chorus, the last twice") << 30.0 << Rate << 12 << true << false << false;
    QTest::newRow("30 s preview, 24 s chorus, a lead-in bar before each") << 30.0 << Rate << 12 << false << true << true;
}

// The start lies on the first beats of a chorus, and every chorus comes back as a section.
void TestChorus::startIsTheChorusBeginning()
{
    QFETCH(double, preview);
    QFETCH(int, rate);
    QFETCH(int, chorusBars);
    QFETCH(bool, lastChorusTwice);
    QFETCH(bool, sectionsCompared);
    QFETCH(bool, leadIn);
    const std::vector<Part> parts = popSong(OtherVerseChords, chorusBars, lastChorusTwice);
    // A band that comes in after a lead-in comes in loud.
    const Song song = leadIn ? makeSong(withLeadIns(parts), 2.0f, rate) : makeSong(parts, 1.4f, rate);
    const Chorus::Start start = Chorus::ChooseStart(song.samples, rate, preview);
    QVERIFY(start.fromChorus);
    const auto near = [](double one, double other) { return std::abs(one - other) <= 2; };
    QVERIFY2(std::any_of(song.choruses.begin(), song.choruses.end(),
                         [&](const auto &chorus) { return near(start.seconds, chorus.first) && start.seconds >= chorus.first - 0.1; }),
             qPrintable(QString::number(start.seconds)));
    if (!sectionsCompared)
        return;
    QCOMPARE(start.sections.size(), song.choruses.size());
    for (size_t index = 0; index < song.choruses.size(); ++index)
        QVERIFY2(near(start.sections[index].begin, song.choruses[index].first), qPrintable(QString::number(start.sections[index].begin)));
}

// A new chord every bar, never twice in a row of four: a through-composed piece.
void TestChorus::nothingRepeatsFallsBackToAQuarter()
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> root(0, 11);
    std::vector<Chord> chords;
    for (int bar = 0; bar < 60; ++bar)
        chords.push_back({root(random), bar % 3 == 0});
    const Song song = makeSong({{chords, 60, false}});
    const Chorus::Start start = Chorus::ChooseStart(song.samples, Rate, 30);
    QVERIFY(!start.fromChorus);
    QCOMPARE(start.seconds, 30.0);
}

QTEST_GUILESS_MAIN(TestChorus)
#include "tst_chorus.moc"
