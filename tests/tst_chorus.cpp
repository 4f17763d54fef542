// Finding a song's chorus, on audio and features made in the test: the pitch classes of
// tones, the fitness of repeated and unrepeated stretches, and where songs of verses,
// choruses and a bridge get their preview's start and their chorus sections.

#include "analysis/chorus.h"
#include "analysis/chorusevidence.h"
#include "analysis/chorusinside.h"
#include "analysis/chorussimilarity.h"
#include "chorussongs.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>

using namespace ChorusSongs;

namespace {

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
Q_DECLARE_METATYPE(Chorus::Sound)

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
    void closeCallIsDoubtful();
    void chorusInsideTheUnit_data();
    void chorusInsideTheUnit();
    void chorusSoundsLikeOne_data();
    void chorusSoundsLikeOne();
    void startIsNeverInTheFirstTenth_data();
    void startIsNeverInTheFirstTenth();
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
            samples[index] += 0.2f * float(std::sin(2 * M_PI * Hertz(note) * double(index) / rate));
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
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("chorusBars");
    QTest::addColumn<int>("rate");
    QTest::newRow("30 s, chorus louder") << 30.0 << 1.4f << "IVCWCBCO" << 12 << Rate;
    QTest::newRow("30 s, chorus as loud as the rest") << 30.0 << 1.0f << "IVCWCBCO" << 12 << Rate;
    QTest::newRow("30 s, longer chorus, verses alike") << 30.0 << 1.4f << "IVCVCBCO" << 16 << Rate;
    QTest::newRow("15 s, verses alike") << 15.0 << 1.4f << "IVCVCBCO" << 12 << Rate;
    QTest::newRow("4000 Hz, an 8 kHz MP3 at half rate") << 30.0 << 1.4f << "IVCWCBCO" << 12 << 4000;
    // Five verses, three choruses 2.3 dB louder; a passage never heard again between any two.
    QTest::newRow("the verse played more often, quieter") << 30.0 << 1.3f << "IVXCXVXVXCXVXVXCO" << 12 << Rate;
}

void TestChorus::startLandsInAChorus()
{
    QFETCH(double, preview);
    QFETCH(float, chorusGain);
    QFETCH(QString, form);
    QFETCH(int, chorusBars);
    QFETCH(int, rate);
    const Song song = MakeSong(SongOf(form, chorusBars), chorusGain, rate);
    const Chorus::Start start = Chorus::ChooseStart(song.samples, rate, preview);
    QVERIFY(start.fromChorus);
    // Never in the first tenth, which holds the intro, even where a chorus is played there.
    QVERIFY2(start.seconds >= 0.1 * double(song.samples.size()) / rate, qPrintable(QString::number(start.seconds)));
    const bool inChorus = std::any_of(song.choruses.begin(), song.choruses.end(), [&](const auto &chorus) {
        return start.seconds >= chorus.first - 0.1 && start.seconds < chorus.second;
    });
    QVERIFY2(inChorus, qPrintable(QString::number(start.seconds)));
}

void TestChorus::startIsTheChorusBeginning_data()
{
    QTest::addColumn<double>("preview");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("chorusBars");
    QTest::addColumn<int>("verseBars");
    QTest::addColumn<bool>("sung");
    QTest::addColumn<bool>("sectionsCompared");
    QTest::addColumn<bool>("leadIn");
    QTest::newRow("30 s preview, 24 s chorus") << 30.0 << Rate << "IVCWCBCO" << 12 << 8 << false << true << false;
    QTest::newRow("15 s preview, 24 s chorus") << 15.0 << Rate << "IVCWCBCO" << 12 << 8 << false << true << false;
    QTest::newRow("60 s preview, 24 s chorus") << 60.0 << Rate << "IVCWCBCO" << 12 << 8 << false << true << false;
    // Only the start: a 30 s window overlaps the second of the last two, whose path is cut short.
    QTest::newRow("30 s preview, 24 s chorus, the last twice") << 30.0 << Rate << "IVCWCBCCO" << 12 << 8 << false << false << false;
    QTest::newRow("30 s preview, 24 s chorus, a lead-in bar before each") << 30.0 << Rate << "IVCWCBCO" << 12 << 8 << false << true << true;
    // The verse comes back with the same music and other words: the chorus is sung alike.
    QTest::newRow("verse and chorus on the same chords, the chorus sung alike") << 30.0 << Rate << "ISCSCBSCO" << 8 << 8 << true << false << false;
    QTest::newRow("a verse and its chorus repeated as one") << 30.0 << Rate << "IVCVCBVCO" << 6 << 8 << true << false << false;
    QTest::newRow("a one-minute song of 8 s sections") << 30.0 << Rate << "IVCVCBCO" << 4 << 4 << false << false << false;
}

// The start lies on the first beats of a chorus, and every chorus comes back as a section.
void TestChorus::startIsTheChorusBeginning()
{
    QFETCH(double, preview);
    QFETCH(int, rate);
    QFETCH(QString, form);
    QFETCH(int, chorusBars);
    QFETCH(int, verseBars);
    QFETCH(bool, sung);
    QFETCH(bool, sectionsCompared);
    QFETCH(bool, leadIn);
    const std::vector<Part> parts = sung ? Sung(SongOf(form, chorusBars, verseBars)) : SongOf(form, chorusBars, verseBars);
    // A band that comes in after a lead-in comes in loud.
    const Song song = leadIn ? MakeSong(WithLeadIns(parts), 2.0f, rate) : MakeSong(parts, 1.4f, rate);
    const Chorus::Start start = Chorus::ChooseStart(song.samples, rate, preview);
    QVERIFY(start.fromChorus);
    const auto near = [](double one, double other) { return std::abs(one - other) <= 2; };
    QVERIFY2(std::any_of(song.choruses.begin(), song.choruses.end(),
                         [&](const auto &chorus) { return near(start.seconds, chorus.first) && start.seconds >= chorus.first - 0.1; }),
             qPrintable(QString::number(start.seconds)));
    // On a bar line, as every start a person may take instead, in the order they are played.
    const auto onBar = [](double seconds) { return std::abs(std::remainder(seconds, BarSeconds)) <= 0.06; };
    QVERIFY2(onBar(start.seconds), qPrintable(QString::number(start.seconds)));
    QVERIFY2(start.reason.rfind("chorus, on the bar", 0) == 0, start.reason.c_str()); // perhaps a close call too
    QVERIFY(std::all_of(start.candidates.begin(), start.candidates.end(), [&](const auto &one) { return onBar(one.seconds); }));
    QVERIFY(std::is_sorted(start.candidates.begin(), start.candidates.end(),
                           [](const auto &one, const auto &other) { return one.seconds < other.seconds; }));
    if (!sectionsCompared)
        return;
    QCOMPARE(start.sections.size(), song.choruses.size());
    std::vector<double> chorusCandidates;
    for (const Chorus::Candidate &candidate : start.candidates) {
        if (candidate.section == 0)
            chorusCandidates.push_back(candidate.seconds);
    }
    QCOMPARE(chorusCandidates.size(), song.choruses.size());
    for (size_t index = 0; index < song.choruses.size(); ++index) {
        QVERIFY2(near(start.sections[index].begin, song.choruses[index].first), qPrintable(QString::number(start.sections[index].begin)));
        QCOMPARE(chorusCandidates[index], start.sections[index].begin);
    }
}

// A new chord every bar, never twice in a row of four: a through-composed piece.
void TestChorus::nothingRepeatsFallsBackToAQuarter()
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> root(0, 11);
    std::vector<Chord> chords;
    for (int bar = 0; bar < 60; ++bar)
        chords.push_back({root(random), bar % 3 == 0});
    const Song song = MakeSong({{chords, 60, false}});
    const Chorus::Start start = Chorus::ChooseStart(song.samples, Rate, 30);
    QVERIFY(!start.fromChorus);
    QCOMPARE(start.seconds, 30.0);
}

// The chorus sung alike each time but quieter than its verse: the cues disagree, so the start
// is doubtful and a person is offered a start in the verse and the chorus's beginning.
void TestChorus::closeCallIsDoubtful()
{
    const std::vector<Part> parts = Sung(SongOf("IVCVCBVCO", 6));
    const Song song = MakeSong(parts, 0.8f);
    std::vector<std::pair<double, double>> verses;
    double at = 0;
    for (const Part &part : parts) {
        if (part.words > 1)
            verses.emplace_back(at, at + part.bars * BarSeconds);
        at += part.bars * BarSeconds;
    }
    const Chorus::Start start = Chorus::ChooseStart(song.samples, Rate, 30);
    QVERIFY(start.doubtful);
    QVERIFY2(start.reason.find("a close call with its verse") != std::string::npos, start.reason.c_str());
    const auto offered = [&](const std::vector<std::pair<double, double>> &parts, double reach) {
        return std::any_of(start.candidates.begin(), start.candidates.end(), [&](const Chorus::Candidate &candidate) {
            return std::any_of(parts.begin(), parts.end(), [&](const auto &part) {
                return candidate.seconds >= part.first - 2 && candidate.seconds <= part.first + reach;
            });
        });
    };
    QVERIFY(offered(song.choruses, 2));
    QVERIFY(offered(verses, 7 * BarSeconds)); // before its last bar, where the chorus would be
}

void TestChorus::chorusInsideTheUnit_data()
{
    QTest::addColumn<QString>("unit"); // 4 s a letter: v a verse, other words each time; C the chorus, alike
    QTest::addColumn<float>("chorusDb");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("doubtful");
    QTest::newRow("a verse and its louder chorus") << "vvvvvvCCCC" << 3.0f << 24.0 << false;
    QTest::newRow("a verse and its chorus as loud") << "vvvvvvCCCC" << 0.0f << 24.0 << false;
    QTest::newRow("the chorus alike but quieter") << "vvvvvvCCCC" << -3.0f << 24.0 << true;
    QTest::newRow("the unit begins with its chorus") << "CCCCvvvvvv" << 3.0f << 0.0 << false;
    QTest::newRow("nothing sung alike") << "vvvvvvvvvv" << 3.0f << 0.0 << false;
}

// Three times a unit of made-up timbre and level: the chorus is the part alike each time.
void TestChorus::chorusInsideTheUnit()
{
    QFETCH(QString, unit);
    QFETCH(float, chorusDb);
    QFETCH(double, offset);
    QFETCH(bool, doubtful);
    constexpr int LetterFrames = 40;
    Chorus::Features features;
    features.framesPerSecond = 10;
    Chorus::Repeated repeated;
    for (int time = 0; time < 3; ++time) {
        const double begins = double(features.power.size()) / features.framesPerSecond;
        repeated.occurrences.push_back({begins, begins + unit.size() * LetterFrames / features.framesPerSecond});
        for (int letter = 0; letter < unit.size(); ++letter) {
            const bool chorus = unit.at(letter) == 'C';
            std::mt19937 random(unsigned(letter + (chorus ? 0 : 100 * (time + 1))));
            std::normal_distribution<float> value(0, 1);
            for (int frame = 0; frame < LetterFrames; ++frame) {
                Chorus::Timbre timbre;
                std::generate(timbre.begin(), timbre.end(), [&] { return value(random); });
                features.timbre.push_back(timbre);
                features.power.push_back(float(std::pow(10, (chorus ? chorusDb : 0) / 10) * 1e-3));
            }
        }
    }
    const Chorus::Inside inside = Chorus::ChorusInside(repeated, features);
    QVERIFY2(std::abs(inside.offset - offset) <= 1, qPrintable(QString::number(inside.offset)));
    QCOMPARE(inside.otherOffset.has_value(), doubtful);
    if (doubtful)
        QCOMPARE(*inside.otherOffset, 0.0);
}

void TestChorus::chorusSoundsLikeOne_data()
{
    QTest::addColumn<Chorus::Sound>("one");
    QTest::addColumn<Chorus::Sound>("other");
    QTest::addColumn<bool>("otherWins");
    QTest::addColumn<bool>("clearly"); // by at least one cue of the song's structure
    // fitness, repeats, level dB, treble dB, notes a second, melody's pitch, first heard
    const Chorus::Sound verse{0.4, 4, -24, -12, 4, 64, 20};
    QTest::newRow("repeated more against louder and later: the louder, later one")
        << verse << Chorus::Sound{0.4, 3, -21, -12, 4, 64, 50} << true << true;
    QTest::newRow("alike but for its sound: the brighter, denser, higher one")
        << verse << Chorus::Sound{0.4, 4, -24, -10, 5, 67, 20} << true << false;
    QTest::newRow("its sound against one cue of the structure: the structure's")
        << Chorus::Sound{0.4, 4, -24, -12, 4, 64, 50} << Chorus::Sound{0.4, 4, -24, -10, 5, 67, 20} << false << false;
}

// Of two sections the chorus is the one that wins more of the cues; their sound (the
// arrangement's) decides only where the song's structure cannot.
void TestChorus::chorusSoundsLikeOne()
{
    QFETCH(Chorus::Sound, one);
    QFETCH(Chorus::Sound, other);
    QFETCH(bool, otherWins);
    QFETCH(bool, clearly);
    const std::vector<double> likeness = Chorus::ChorusLikeness({one, other});
    QCOMPARE(likeness[1] > likeness[0], otherWins);
    QCOMPARE(std::abs(Chorus::Comparison(other, one)) >= 1, clearly);
    QCOMPARE(Chorus::ChorusLikeness({other}), std::vector<double>{1});
}

void TestChorus::startIsNeverInTheFirstTenth_data()
{
    QTest::addColumn<QString>("form");
    QTest::newRow("a verse before every chorus, the first in the first tenth") << "IVCWVCBVCWVCO";
    QTest::newRow("no intro") << "VCWVCBVCO";
}

// The first tenth holds the intro: where the walk back to where the section begins leads
// there, the start is the next time the section is played.
void TestChorus::startIsNeverInTheFirstTenth()
{
    QFETCH(QString, form);
    const Song song = MakeSong(SongOf(form, 12), 1.4f, Rate);
    const Chorus::Start start = Chorus::ChooseStart(song.samples, Rate, 30);
    const double tenth = 0.1 * double(song.samples.size()) / Rate;
    QVERIFY(start.fromChorus);
    QVERIFY2(start.sections.front().begin < tenth, "the walk back does not lead into the first tenth");
    const auto next = std::find_if(start.sections.begin(), start.sections.end(),
                                   [&](const Chorus::Section &section) { return section.begin >= tenth; });
    QVERIFY(next != start.sections.end());
    QCOMPARE(start.seconds, next->begin);
}

QTEST_GUILESS_MAIN(TestChorus)
#include "tst_chorus.moc"
