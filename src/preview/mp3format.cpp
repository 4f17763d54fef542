#include "preview/mp3format.h"

#include "analysis/loudness.h"
#include "analysis/mp3audio.h"
#include "preview/mp3tags.h"
#include "preview/previewmark.h"

#include <QFile>
#include <QLocale>

#include <id3v2framefactory.h>
#include <id3v2header.h>
#include <textidentificationframe.h>

namespace {

using namespace TagLib;

constexpr int HeaderBytes = 10;
// A mark is a line with a path in it; a larger user frame is something else and is not read.
constexpr quint32 LongestMark = 16 * 1024;

quint32 bigEndian(const QByteArray &bytes, int at, bool syncSafe)
{
    quint32 value = 0;
    for (int index = at; index < at + 4; ++index)
        value = syncSafe ? (value << 7) | (quint8(bytes.at(index)) & 0x7f) : (value << 8) | quint8(bytes.at(index));
    return value;
}

std::optional<QString> markIn(const ByteVector &frameBytes, const ID3v2::Header &header)
{
    const std::unique_ptr<ID3v2::Frame> frame(ID3v2::FrameFactory::instance()->createFrame(frameBytes, &header));
    const auto *user = dynamic_cast<const ID3v2::UserTextIdentificationFrame *>(frame.get());
    if (!user || user->description() != PreviewMark::FrameDescription || user->fieldList().size() < 2)
        return std::nullopt;
    return TStringToQString(user->fieldList()[1]);
}

} // namespace

const QList<int> &Mp3Format::bitrates() const
{
    static const QList<int> kbps{320, 256, 224, 192, 160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8};
    return kbps;
}

int Mp3Format::sampleRateFor(const QString &bitrate) const
{
    bool ok = false;
    const double kbps = QLocale::c().toDouble(bitrate, &ok);
    return ok && (kbps < 32 || kbps == 144) ? 24000 : 48000;
}

QString Mp3Format::encoderOptions(const QString &bitrate) const
{
    return QStringLiteral("-C ") + bitrate + QLatin1Char(' ');
}

double Mp3Format::encodingLoss(int kbps) const
{
    return Loudness::EncodingLoss(kbps);
}

double Mp3Format::peakMargin(int kbps) const
{
    return Loudness::PeakMargin(kbps);
}

double Mp3Format::overshootAllowance(int kbps) const
{
    return Loudness::OvershootAllowance(kbps);
}

std::optional<QString> Mp3Format::readMark(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(HeaderBytes);
    if (head.size() < HeaderBytes || !head.startsWith("ID3"))
        return std::nullopt;
    const ID3v2::Header header(ByteVector(head.constData(), HeaderBytes));
    const unsigned version = header.majorVersion();
    // Lumbrisk writes 2.3 and 2.4 without unsynchronisation; others carry no mark.
    if ((version != 3 && version != 4) || header.unsynchronisation())
        return std::nullopt;
    qint64 position = HeaderBytes;
    if (header.extendedHeader()) {
        const QByteArray size = file.read(4);
        if (size.size() < 4)
            return std::nullopt;
        position += version == 4 ? bigEndian(size, 0, true) : 4 + bigEndian(size, 0, false);
    }
    const qint64 end = HeaderBytes + qint64(header.tagSize());
    while (position + HeaderBytes <= end && file.seek(position)) {
        const QByteArray frameHead = file.read(HeaderBytes);
        if (frameHead.size() < HeaderBytes || frameHead.at(0) == '\0') // the padding
            break;
        const quint32 size = bigEndian(frameHead, 4, version == 4);
        if (frameHead.startsWith("TXXX") && size <= LongestMark) {
            const QByteArray frame = frameHead + file.read(size);
            if (std::optional<QString> mark = markIn(ByteVector(frame.constData(), uint(frame.size())), header))
                return mark;
        }
        position += HeaderBytes + size;
    }
    return std::nullopt;
}

std::unique_ptr<PreviewTags> Mp3Format::openTags(const QString &path) const
{
    return std::make_unique<Mp3Tags>(path);
}

bool Mp3Format::holdsAudio(const QString &path) const
{
    return Mp3Audio::HoldsAudio(path);
}

std::optional<AudioLength> Mp3Format::measure(const QString &path) const
{
    return Mp3Audio::Measure(path);
}

std::optional<double> Mp3Format::soxSeconds(const QString &path) const
{
    return Mp3Audio::SoxSeconds(path);
}

bool Mp3Format::feed(const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) const
{
    return DecodedAudio::Feed(path, reading, pass);
}
