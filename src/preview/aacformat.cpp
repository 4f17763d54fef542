#include "preview/aacformat.h"

#include "preview/previewmark.h"
#include "preview/previewtags.h"

#include <QFile>

#include <mp4file.h>
#include <mp4tag.h>

namespace {

using namespace TagLib;

// The mark as iTunes keeps a text of its own: TagLib reads it back as the property LUMBRISK,
// which a preview of a preview leaves out as any mark.
const String MarkAtom = String("----:com.apple.iTunes:") + PreviewMark::FrameDescription;

MP4::CoverArt::Format coverFormatOf(const String &mimeType)
{
    if (mimeType == "image/png")
        return MP4::CoverArt::PNG;
    if (mimeType == "image/gif")
        return MP4::CoverArt::GIF;
    if (mimeType == "image/bmp")
        return MP4::CoverArt::BMP;
    return mimeType == "image/jpeg" || mimeType == "image/jpg" ? MP4::CoverArt::JPEG : MP4::CoverArt::Unknown;
}

class Mp4Tags : public PreviewTags {
public:
    explicit Mp4Tags(const QString &path) : m_file(QFile::encodeName(path).constData(), false)
    {
        if (!isValid())
            return;
        const MP4::ItemMap items = m_file.tag()->itemMap();
        for (const auto &item : items)
            m_file.tag()->removeItem(item.first);
    }

    bool isValid() const override { return m_file.isOpen() && m_file.isValid() && !m_file.readOnly() && m_file.tag(); }
    void setProperties(const PropertyMap &properties) override { m_file.tag()->setProperties(properties); }
    // An MP4 file keeps every picture as a cover, without its kind or description.
    void addPictures(const QList<TagPictures::Picture> &pictures) override
    {
        MP4::CoverArtList covers;
        for (const TagPictures::Picture &picture : pictures)
            covers.append(MP4::CoverArt(coverFormatOf(picture.mimeType), picture.data));
        if (!covers.isEmpty())
            m_file.tag()->setItem("covr", MP4::Item(covers));
    }
    void setMark(const QString &mark) override
    {
        m_file.tag()->setItem(MarkAtom, MP4::Item(StringList(QStringToTString(mark))));
    }
    bool save() override { return m_file.save(); }

private:
    MP4::File m_file;
};

} // namespace

const QList<int> &AacFormat::bitrates() const
{
    static const QList<int> kbps = EveryRate(320, 32);
    return kbps;
}

// -f ipod: the M4A flavour of MPEG-4, which every player of AAC previews reads.
QString AacFormat::ffmpegOptions(const QString &bitrate) const
{
    return QStringLiteral(" -c:a aac -profile:a aac_low -b:a %1k -f ipod").arg(bitrate);
}

double AacFormat::encodingLoss(int kbps) const
{
    return kbps >= 128 ? 0 : 0.1;
}

double AacFormat::peakMargin(int kbps) const
{
    return kbps >= 192 ? 0.2 : 0.5;
}

double AacFormat::overshootAllowance(int kbps) const
{
    return kbps >= 128 ? 2 : 4;
}

std::optional<QString> AacFormat::readMark(const QString &path) const
{
    MP4::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid() || !file.tag() || !file.tag()->contains(MarkAtom))
        return std::nullopt;
    const StringList text = file.tag()->item(MarkAtom).toStringList();
    return text.isEmpty() ? std::nullopt : std::optional(TStringToQString(text.front()));
}

std::unique_ptr<PreviewTags> AacFormat::openTags(const QString &path) const
{
    return std::make_unique<Mp4Tags>(path);
}
