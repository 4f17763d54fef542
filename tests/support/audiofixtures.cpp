#include "audiofixtures.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace Fixtures {

namespace {

QString runForOutput(const QString &program, const QStringList &arguments, bool errorOutput = false)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(errorOutput ? process.readAllStandardError() : process.readAllStandardOutput());
}

} // namespace

bool MakeTone(const QString &path, double seconds, int frequency, int kbps, const QString &comment)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                          QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-C"), QString::number(kbps)};
    if (!comment.isEmpty())
        arguments << QStringLiteral("--comment") << comment;
    // SoX would read "[ab].mp3" as a pattern, and write "a.mp3" when there is one.
    arguments << QStringLiteral("--no-glob") << path << QStringLiteral("synth") << QString::number(seconds) << QStringLiteral("sine")
              << QString::number(frequency);
    return QProcess::execute(QStringLiteral("sox"), arguments) == 0;
}

QString Chord(int root, bool minor)
{
    const int third = minor ? 3 : 4;
    QStringList notes;
    // SoX reads "%N" as N semitones above A4; middle C is 9 below it.
    for (const int note : {root - 12, root, root + third, root + 7})
        notes.append(QStringLiteral("%%1").arg(note - 9));
    return notes.join(QLatin1Char(' '));
}

QList<Span> MakeSong(const QString &path, const QList<SongPart> &parts)
{
    QTemporaryDir bars;
    const QString beat = bars.filePath(QStringLiteral("beat.wav"));
    const auto sox = [](const QStringList &arguments) { return QProcess::execute(QStringLiteral("sox"), arguments) == 0; };
    if (!sox({QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
              QStringLiteral("1"), beat, QStringLiteral("synth"), QStringLiteral("0.5"), QStringLiteral("whitenoise"),
              QStringLiteral("fade"), QStringLiteral("l"), QStringLiteral("0"), QStringLiteral("0.5"),
              QStringLiteral("0.45"), QStringLiteral("vol"), QStringLiteral("0.25"), QStringLiteral("repeat"),
              QStringLiteral("3")}))
        return {};
    QHash<QString, QString> made; // chord and loudness -> its bar
    QStringList song;
    QList<Span> choruses;
    double seconds = 0;
    for (const SongPart &part : parts) {
        for (int bar = 0; bar < part.bars; ++bar) {
            const QString chord = part.chords.at(bar % part.chords.size());
            const QString key = chord + (part.chorus ? QStringLiteral(" loud") : QString());
            if (!made.contains(key)) {
                const QString file = bars.filePath(QStringLiteral("bar%1.wav").arg(made.size()));
                QStringList arguments{beat, file};
                for (const QString &note : chord.split(QLatin1Char(' ')))
                    arguments << QStringLiteral("synth") << QStringLiteral("2") << QStringLiteral("pluck")
                              << QStringLiteral("mix") << note;
                arguments << QStringLiteral("vol") << (part.chorus ? QStringLiteral("0.7") : QStringLiteral("0.5"));
                if (!sox(arguments))
                    return {};
                made.insert(key, file);
            }
            song.append(made.value(key));
        }
        if (part.chorus)
            choruses.append(Span{seconds, seconds + 2.0 * part.bars});
        seconds += 2.0 * part.bars;
    }
    if (!sox(song + QStringList{QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-C"), QStringLiteral("192"), path}))
        return {};
    return choruses;
}

QList<SongPart> PopSong()
{
    const QStringList chorus{Chord(0), Chord(7), Chord(9, true), Chord(5)};
    return {{{Chord(0)}, 4, false},
            {{Chord(9, true), Chord(4, true), Chord(2, true), Chord(4)}, 8, false},
            {chorus, 12, true},
            {{Chord(2, true), Chord(10), Chord(5), Chord(0)}, 8, false},
            {chorus, 12, true},
            {{Chord(10), Chord(3)}, 4, false},
            {chorus, 12, true},
            {{Chord(0)}, 2, false}};
}

bool MakeSound(const QString &path, const QStringList &effects, bool repeatable)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                          QStringLiteral("2"), QStringLiteral("-C"), QStringLiteral("192"), path};
    if (repeatable)
        arguments.prepend(QStringLiteral("-R"));
    return QProcess::execute(QStringLiteral("sox"), arguments + effects) == 0;
}

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray AudioContents(const QString &path)
{
    if (!path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                                QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-")});
        return ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0 ? ffmpeg.readAllStandardOutput() : QByteArray();
    }
    const QByteArray bytes = Contents(path);
    if (bytes.size() < 10 || !bytes.startsWith("ID3"))
        return bytes;
    qsizetype size = 0;
    for (int index = 6; index < 10; ++index)
        size = size * 128 + (quint8(bytes.at(index)) & 0x7f);
    return bytes.mid(10 + size);
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
           && file.flush();
}

QString WriteScript(const QString &folder, const QString &name, const QString &body)
{
    const QString path = QDir(folder).filePath(name);
    WriteFile(path, QStringLiteral("#!/bin/sh\n%1\n").arg(body).toUtf8());
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return path;
}

QStringList FilesBelow(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(folder).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

AudioFacts Describe(const QString &path)
{
    const QString text = runForOutput(QStringLiteral("ffprobe"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                       QStringLiteral("a:0"), QStringLiteral("-show_entries"),
                                       QStringLiteral("stream=codec_name,channels,sample_rate,bit_rate:format=duration"),
                                       QStringLiteral("-of"), QStringLiteral("default=nw=1"), path});
    AudioFacts facts;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("codec_name"))
            facts.codec = value;
        else if (key == QLatin1String("channels"))
            facts.channels = value.toInt();
        else if (key == QLatin1String("sample_rate"))
            facts.sampleRate = value.toInt();
        else if (key == QLatin1String("bit_rate"))
            facts.bitRate = value.toInt();
        else if (key == QLatin1String("duration"))
            facts.seconds = value.toDouble();
    }
    return facts;
}

LoudnessFacts MeasureLoudness(const QString &path, double start, double length)
{
    QStringList arguments{QStringLiteral("-nostats"), QStringLiteral("-ss"), QString::number(start)};
    if (length > 0)
        arguments << QStringLiteral("-t") << QString::number(length);
    arguments << QStringLiteral("-i") << path << QStringLiteral("-af") << QStringLiteral("ebur128=peak=true")
              << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
    const QString text = runForOutput(QStringLiteral("ffmpeg"), arguments, true);
    // The summary at the end repeats the figures last.
    const auto last = [&text](const QString &pattern) {
        QString value;
        for (const QRegularExpressionMatch &match : QRegularExpression(pattern).globalMatch(text))
            value = match.captured(1);
        return value.isEmpty() ? qQNaN() : value.toDouble();
    };
    return {last(QStringLiteral("\\bI:\\s+(-?[\\d.]+) LUFS")), last(QStringLiteral("\\bPeak:\\s+(-?[\\d.]+) dBFS"))};
}

double RoughFrequency(const QString &path, double start, double length)
{
    const QString text = runForOutput(QStringLiteral("sox"),
                                      {path, QStringLiteral("-n"), QStringLiteral("trim"), QString::number(start),
                                       QString::number(length), QStringLiteral("stat")},
                                      true);
    static const QRegularExpression rough(QStringLiteral("Rough\\s+frequency:\\s+(\\d+)"));
    return rough.match(text).captured(1).toDouble();
}

} // namespace Fixtures

void RecordingProgress::setText(const QString &text)
{
    m_text = text;
    record(true);
}

void RecordingProgress::setValue(double value)
{
    m_value = value;
    record(false);
}

void RecordingProgress::reset(const QString &text, double value)
{
    m_text = text;
    m_value = value;
    changes.clear();
    m_started = QDateTime::currentMSecsSinceEpoch();
}

void RecordingProgress::record(bool textChanged)
{
    changes.append({QDateTime::currentMSecsSinceEpoch() - m_started, m_text, m_value, textChanged});
    if (onChange)
        onChange(changes.last());
}
