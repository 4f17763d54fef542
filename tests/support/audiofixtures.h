#pragma once
// Real MP3 files made by SoX at test time, facts about them read by ffprobe, tiny fake
// tools for the runs that are about a tool misbehaving, and the plain files around them.

#include "platform/shell32.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Fixtures {

// A stereo 44100 Hz sine tone of the given length, encoded by SoX at a constant bit rate;
// with a comment, the file carries ID3 tags as most music files do.
bool MakeTone(const QString &path, double seconds, int frequency = 440, int kbps = 192,
              const QString &comment = QString());
// A chord as MakeSong plays it: the root an octave below, then the triad, from `root`
// semitones above middle C.
QString Chord(int root, bool minor = false);
// One part of a song made by MakeSong: each bar plays the next of its chords, plucked, over
// a beat of noise; a chorus is 3 dB louder than the rest, as on records.
struct SongPart {
    QStringList chords;
    int bars = 0;
    bool chorus = false;
};
struct Span {
    double from = 0;
    double to = 0;
};
// The parts one after another, two seconds a bar, as a 192 kbps stereo MP3 made by SoX.
// Returns where the choruses lie, in seconds; nothing when SoX failed.
QList<Span> MakeSong(const QString &path, const QList<SongPart> &parts);
// The parts of a pop song: intro, verse, chorus, verse, chorus, bridge, chorus, outro; the
// chorus with the same chords each time, the verses and the bridge with chords of their own.
QList<SongPart> PopSong();
// A stereo 44100 Hz file of 192 kbps made by SoX from nothing with the effects given, which
// begin with synth ("synth", "5", "brownnoise", "gain", "-20"). repeatable: its noise is
// the same at every run, for a test whose outcome a rare peak of the noise may change.
bool MakeSound(const QString &path, const QStringList &effects, bool repeatable = false);
// The file's bytes, to prove a source was never changed.
QByteArray Contents(const QString &path);
// The bytes of an MP3 file after its ID3v2 tag: its audio, whatever its tags say; of an
// AAC or Opus file, the samples FFmpeg decodes (an Ogg stream's serial number is random).
QByteArray AudioContents(const QString &path);
// Creates or replaces the file with the bytes (none: an empty file); false when it cannot
// be written whole.
bool WriteFile(const QString &path, const QByteArray &bytes = QByteArray());
// An executable "#!/bin/sh" script with the given body; returns its path.
QString WriteScript(const QString &folder, const QString &name, const QString &body);
// Every entry below the folder, relative to it, sorted.
QStringList FilesBelow(const QString &folder);

struct AudioFacts {
    QString codec; // FFmpeg's name: mp3, aac, opus, ...
    int channels = 0;
    int sampleRate = 0;
    int bitRate = 0; // bit/s
    double seconds = 0;
};
// What ffprobe says about the first audio stream.
AudioFacts Describe(const QString &path);
struct LoudnessFacts {
    double integrated = 0; // LUFS
    double truePeak = 0;   // dBTP
};
// The loudness of a stretch of the file (length 0: to its end) as FFmpeg's ebur128 filter
// reads it, to a tenth: a meter independent of the one the previews are made with.
LoudnessFacts MeasureLoudness(const QString &path, double start = 0, double length = 0);
// A rough pitch of a stretch of the file (SoX's "stat"), to tell two tones apart.
double RoughFrequency(const QString &path, double start, double length);

// LAME pads a cut to whole frames and adds its encoder delay, so a preview lasts up to two
// frames (1152 samples at 48000 Hz each) longer than asked.
constexpr double FrameSeconds = 1152.0 / 48000.0;

} // namespace Fixtures

// A progress bar stand-in that remembers every change and when it happened.
class RecordingProgress : public Shell32::Progress {
public:
    struct Change {
        qint64 milliseconds; // since the recording started
        QString text;        // the text after the change
        double value;        // the value after the change
        bool textChanged;
    };

    QString Text() const override { return m_text; }
    void setText(const QString &text) override;
    double Value() const override { return m_value; }
    void setValue(double value) override;

    void reset(const QString &text, double value);
    QList<Change> changes;
    std::function<void(const Change &)> onChange; // runs after each change is recorded

private:
    void record(bool textChanged);

    QString m_text;
    double m_value = 0;
    qint64 m_started = 0;
};
