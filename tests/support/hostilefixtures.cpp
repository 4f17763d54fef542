#include "hostilefixtures.h"

#include "audiofixtures.h"

#include <QFile>
#include <QProcess>

#include <random>

namespace Fixtures {

namespace {

// An ID3v2 size: four bytes of seven bits each.
QByteArray syncSafe(quint32 value)
{
    QByteArray bytes;
    for (int shift = 21; shift >= 0; shift -= 7)
        bytes.append(char((value >> shift) & 0x7f));
    return bytes;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xff));
    return bytes;
}

// A stereo sine tone in AAC, by FFmpeg's encoder, in the container the options choose.
bool encodeAacTone(const QString &path, double seconds, const QStringList &container)
{
    const QStringList tone{"-v", "error", "-y", "-f", "lavfi", "-i", QStringLiteral("sine=f=440:d=%1").arg(seconds),
                           "-ac", "2", "-c:a", "aac"};
    return QProcess::execute(QStringLiteral("ffmpeg"), tone + container + QStringList{path}) == 0;
}

} // namespace

bool MakeDamagedAac(const QString &path, double seconds, int every)
{
    if (!encodeAacTone(path, seconds, {"-f", "adts"}))
        return false;
    QByteArray bytes = Contents(path);
    std::minstd_rand noise(7);
    int frame = 0;
    // Each frame begins with its 12-bit sync word and MPEG-4, no CRC: FF F1. Its head and the
    // first bytes of its audio stay, so that every frame is still found.
    for (qsizetype at = bytes.indexOf("\xff\xf1"); at >= 0; at = bytes.indexOf("\xff\xf1", at + 2)) {
        if (++frame % every != 0)
            continue;
        for (qsizetype byte = at + 12; byte < at + 40 && byte < bytes.size(); ++byte)
            bytes[byte] = char(noise() & 0xff);
    }
    return frame > 0 && WriteFile(path, bytes);
}

bool MakeCutOffM4a(const QString &path, double seconds, double kept)
{
    if (!encodeAacTone(path, seconds, {"-movflags", "+faststart"}))
        return false;
    const QByteArray bytes = Contents(path);
    const qsizetype audio = bytes.indexOf("mdat");
    return audio > 0 && WriteFile(path, bytes.first(audio + qsizetype(double(bytes.size() - audio) * kept)));
}

bool WriteWithTextFrames(const QString &mp3, const QString &path, int frames)
{
    QByteArray body;
    for (int frame = 0; frame < frames; ++frame) {
        const QByteArray text = '\0' + QByteArray("d") + QByteArray::number(frame) + '\0' + "v";
        body += "TXXX" + bigEndian(quint32(text.size())) + QByteArray(2, '\0') + text;
    }
    const QByteArray tag = QByteArray("ID3\x03\x00\x00", 6) + syncSafe(quint32(body.size())) + body;
    const QByteArray audio = Contents(mp3);
    return !audio.isEmpty() && WriteFile(path, tag + audio);
}

} // namespace Fixtures
