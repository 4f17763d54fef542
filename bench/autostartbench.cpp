// What --start auto costs and how often it finds the chorus, on songs made with SoX at the
// start of the run (intro, verse, chorus, verse, chorus, bridge, chorus, outro with chords
// drawn at random; verses alike in some songs; choruses 16 to 32 s). For each song: the
// start found, whether it lies in a chorus, how much of the preview is chorus (and how much
// a start at 25 % of the length would give), and the processor time of decoding and
// analysis. Against it, in the same run, SoX decoding the same file to mono floats.
//
//   autostart_bench [songs (12)] [preview seconds (30)]

#include "audiofixtures.h"
#include "analysis/chorus.h"
#include "analysis/decodedaudio.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>

#include <sys/resource.h>

namespace {

double threadSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) + time.tv_nsec / 1e9;
}

double childrenSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QList<Fixtures::SongPart> randomSong(std::mt19937 &random)
{
    std::uniform_int_distribution<int> root(0, 11);
    std::uniform_int_distribution<int> coin(0, 1);
    const auto progression = [&] {
        QStringList chords;
        for (int chord = 0; chord < 4; ++chord)
            chords.append(Fixtures::Chord(root(random), coin(random) == 1));
        return chords;
    };
    const QStringList chorus = progression();
    const QStringList verse = progression();
    const QStringList secondVerse = coin(random) == 1 ? verse : progression();
    const int chorusBars = 8 + 4 * std::uniform_int_distribution<int>(0, 2)(random);
    const int verseBars = 8 + 4 * coin(random);
    return {{{chorus.first()}, 2 + 2 * coin(random), false},
            {verse, verseBars, false},
            {chorus, chorusBars, true},
            {secondVerse, verseBars, false},
            {chorus, chorusBars, true},
            {progression(), 4 + 4 * coin(random), false},
            {chorus, chorusBars * (1 + coin(random)), true},
            {{chorus.first()}, 2, false}};
}

// The share of the preview from `start` that lies in a chorus.
double chorusShare(const QList<Fixtures::Span> &choruses, double start, double preview)
{
    double inside = 0;
    for (const Fixtures::Span &chorus : choruses)
        inside += std::max(0.0, std::min(chorus.to, start + preview) - std::max(chorus.from, start));
    return inside / preview;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int songs = argc > 1 ? std::atoi(argv[1]) : 12;
    const double preview = argc > 2 ? std::atof(argv[2]) : 30;
    QTemporaryDir folder;
    std::mt19937 random(2024);
    int hits = 0;
    double share = 0;
    double quarterShare = 0;
    double audioSeconds = 0;
    double ownSeconds = 0;
    double decodeSeconds = 0;
    double soxSeconds = 0;
    std::printf("song  length   start  in chorus  chorus share (25 %%)  cpu ms (decoding)  choruses\n");
    for (int song = 1; song <= songs; ++song) {
        const QString path = folder.filePath(QStringLiteral("song%1.mp3").arg(song));
        const QList<Fixtures::Span> choruses = Fixtures::MakeSong(path, randomSong(random));
        if (choruses.isEmpty()) {
            std::fprintf(stderr, "SoX could not make %s\n", qPrintable(path));
            return 1;
        }
        double before = threadSeconds();
        const std::optional<DecodedAudio::Audio> audio = DecodedAudio::DecodeMono(path);
        const double decoding = threadSeconds() - before;
        if (!audio) {
            std::fprintf(stderr, "%s could not be decoded\n", qPrintable(path));
            return 1;
        }
        const Chorus::Start start = Chorus::ChooseStart(audio->samples, audio->rate, preview);
        const double own = threadSeconds() - before;
        before = childrenSeconds();
        QProcess::execute(QStringLiteral("sox"), {path, QStringLiteral("-t"), QStringLiteral("f32"), QStringLiteral("-c"),
                                                  QStringLiteral("1"), QStringLiteral("-r"), QStringLiteral("22050"),
                                                  QStringLiteral("/dev/null")});
        soxSeconds += childrenSeconds() - before;
        const double seconds = double(audio->samples.size()) / audio->rate;
        const bool hit = std::any_of(choruses.begin(), choruses.end(), [&](const Fixtures::Span &chorus) {
            return start.seconds >= chorus.from - 0.1 && start.seconds < chorus.to;
        });
        const double inside = chorusShare(choruses, start.seconds, preview);
        const double quarter = chorusShare(choruses, 0.25 * seconds, preview);
        QStringList spans;
        for (const Fixtures::Span &chorus : choruses)
            spans.append(QStringLiteral("%1-%2").arg(chorus.from).arg(chorus.to));
        std::printf("%4d  %5.1f s  %6.2f  %-9s  %5.0f %%  (%3.0f %%)     %5.0f (%3.0f)        %s\n", song, seconds,
                    start.seconds, hit ? "yes" : start.fromChorus ? "no" : "fallback", 100 * inside, 100 * quarter,
                    1000 * own, 1000 * decoding, qPrintable(spans.join(QLatin1Char(' '))));
        hits += hit ? 1 : 0;
        share += inside;
        quarterShare += quarter;
        audioSeconds += seconds;
        ownSeconds += own;
        decodeSeconds += decoding;
    }
    const double perMinute = 60 / audioSeconds;
    std::printf("starts in a chorus: %d of %d; preview in a chorus: %.0f %% on average (from 25 %%: %.0f %%)\n", hits,
                songs, 100 * share / songs, 100 * quarterShare / songs);
    std::printf("processor time per minute of audio: %.3f s (decoding %.3f s; SoX decoding alone %.3f s)\n",
                ownSeconds * perMinute, decodeSeconds * perMinute, soxSeconds * perMinute);
    std::printf("per 4-minute song: %.2f s (target at most 0.2 s); SoX decoding / ours: %.2f\n",
                4 * ownSeconds * perMinute, soxSeconds / ownSeconds);
    return 0;
}
