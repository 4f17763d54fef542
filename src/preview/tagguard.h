#pragma once
// An MP3's ID3v2 tag looked at before TagLib reads it. TagLib expands a compressed frame
// whole, however large it says or turns out to be, so a frame of a few kilobytes can take
// hundreds of megabytes; and it keeps an encrypted frame's bytes, which read as garbage once
// copied without its flags. Each compressed frame is expanded here first, only up to a cap:
// a frame that goes past it, and every encrypted frame, is cut out of a copy of the tag,
// which TagLib then reads in its place; the source itself is never changed.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TagGuard {

struct Guarded {
    // The bytes TagLib should read in place of the file's beginning and end: empty when the
    // file can be read as it is. Else the tag without the refused frames, a stretch of the
    // audio after it and the file's last 128 bytes (where an ID3v1 tag lies).
    QByteArray standIn;
    QStringList refused; // "PRIV (expanded, it would pass 16 MB)", "TIT2 (encrypted)", in tag order
};

// The frames of the file's ID3v2 tag that are encrypted, or that expand past capBytes when
// added to the compressed frames before them.
Guarded Look(const QString &path, qint64 capBytes);

} // namespace TagGuard
