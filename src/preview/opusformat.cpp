#include "preview/opusformat.h"

#include "preview/previewmark.h"
#include "preview/previewtags.h"

#include <QFile>

#include <flacpicture.h>
#include <opusfile.h>
#include <xiphcomment.h>

namespace {

using namespace TagLib;

class OpusTags : public PreviewTags {
public:
    explicit OpusTags(const QString &path) : m_file(QFile::encodeName(path).constData(), false)
    {
        if (!isValid())
            return;
        comment().removeAllFields();
        comment().removeAllPictures();
    }

    bool isValid() const override { return m_file.isOpen() && m_file.isValid() && !m_file.readOnly() && m_file.tag(); }
    void setProperties(const PropertyMap &properties) override { comment().setProperties(properties); }
    void addPictures(const QList<TagPictures::Picture> &pictures) override
    {
        for (const TagPictures::Picture &picture : pictures) {
            auto *block = new FLAC::Picture;
            block->setData(picture.data);
            block->setMimeType(picture.mimeType);
            block->setType(FLAC::Picture::Type(int(picture.type)));
            block->setDescription(picture.description);
            comment().addPicture(block);
        }
    }
    void setMark(const QString &mark) override { comment().addField(PreviewMark::FrameDescription, QStringToTString(mark)); }
    bool save() override { return m_file.save(); }

private:
    Ogg::XiphComment &comment() { return *m_file.tag(); }

    Ogg::Opus::File m_file;
};

} // namespace

const QList<int> &OpusFormat::bitrates() const
{
    static const QList<int> kbps = EveryRate(256, 6);
    return kbps;
}

QString OpusFormat::ffmpegOptions(const QString &bitrate) const
{
    return QStringLiteral(" -c:a libopus -b:a %1k -f opus").arg(bitrate);
}

double OpusFormat::encodingLoss(int) const
{
    return 0;
}

double OpusFormat::peakMargin(int kbps) const
{
    return kbps >= 64 ? 0.8 : 1.2;
}

double OpusFormat::overshootAllowance(int kbps) const
{
    return kbps >= 64 ? 3 : 6;
}

std::optional<QString> OpusFormat::readMark(const QString &path) const
{
    Ogg::Opus::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid() || !file.tag())
        return std::nullopt;
    const Ogg::FieldListMap &fields = file.tag()->fieldListMap();
    const auto mark = fields.find(PreviewMark::FrameDescription);
    if (mark == fields.end() || mark->second.isEmpty())
        return std::nullopt;
    return TStringToQString(mark->second.front());
}

std::unique_ptr<PreviewTags> OpusFormat::openTags(const QString &path) const
{
    return std::make_unique<OpusTags>(path);
}
