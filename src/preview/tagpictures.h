#pragma once
// The pictures of a source's tags, whatever kind of tag holds them, and how a preview's
// ID3v2 tag gets them.

#include <QList>

#include <attachedpictureframe.h>
#include <id3v2tag.h>
#include <tfile.h>

namespace TagPictures {

struct Picture {
    TagLib::ByteVector data;
    TagLib::String mimeType;
    TagLib::ID3v2::AttachedPictureFrame::Type type = TagLib::ID3v2::AttachedPictureFrame::Type::FrontCover;
    TagLib::String description;
};

// The ID3v2 tag a source keeps its tags in: an MP3's, or the ID3v2 chunk of a WAV or AIFF.
TagLib::ID3v2::Tag *Id3v2Of(TagLib::File &source);
// Its pictures, from its ID3v2, APEv2, FLAC, Xiph or MP4 tag.
QList<Picture> PicturesOf(TagLib::File &source);
// Each as an APIC frame.
void AddPictures(TagLib::ID3v2::Tag &tag, const QList<Picture> &pictures);

} // namespace TagPictures
