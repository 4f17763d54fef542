#pragma once
// The tags a preview carries. SoX hands a source's text tags to LAME as bytes, which LAME
// writes as ISO-8859-1, and drops pictures, comments, lyrics and user frames; so once SoX
// has written a preview, its tag is replaced with the source's own, copied by TagLib.
//
// The preview's format holds them in its own tag (PreviewTags; an MP3's is ID3v2). A source
// with a tag of that kind gives it as it is (an MP3's ID3v2 frames, in the source's version,
// 2.2 as 2.3, and its ID3v1 tag); other sources (FLAC, Ogg, WAV, an MP3 with APEv2 or ID3v1
// only) give their tags and pictures through TagLib's property map.
// Left out, as they describe the whole track: its length (TLEN), its levels (ReplayGain,
// RVA2, RVAD, EQU2, EQUA), its chapters (CHAP, CTOC), frames timed on its timeline (SYLT,
// SYTC, ETCO, POSS) and the structure frames MLLT, SEEK, ASPI.
//
// A preview's tag carries at most TagBytes of frames and pictures: what does not fit is left
// out, largest first, and a compressed frame is never expanded past it. Encrypted frames
// are left out too.
//
// A preview may get a mark (PreviewMark), the only tag of Lumbrisk's own; a source's mark
// is never copied.
//
// Each returns "" when done, otherwise one line for the run's details, such as "tags not
// copied: <reason>" or "tags partly copied: left out APIC of 15.0 MB (...)". A tag problem
// never fails a preview: the audio is the product. The preview keeps no tag of SoX's unless
// the preview itself cannot be written.

#include <QString>
#include <QStringList>

namespace TagCopy {

// Players read a tag of up to 256 MB; a preview's stays far below.
constexpr qint64 TagBytes = 16 * 1024 * 1024;

// Gives the preview its source's tags, and the mark's text unless it is "".
QString CopyTags(const QString &sourcePath, const QString &previewPath, const QString &mark = QString());

// Gives a joined preview only what all its sources share: album, album artist, artist,
// genre, year, and the cover when all have the same one; never one song's title or track.
// Songs that agree on their album give it the album's name as its title and the album's
// cover: the first song's front cover (or first picture) when their covers differ.
QString CopyCommonTags(const QStringList &sourcePaths, const QString &previewPath, const QString &mark = QString());

// Leaves the preview with the mark alone (no tag at all when it is ""): no other tag of any kind.
QString MarkOnly(const QString &previewPath, const QString &mark = QString());

} // namespace TagCopy
