#pragma once
// Tags of test files, written and read back by TagLib: a song's text as TagLib's property
// map ("TITLE", "ARTIST", ...), and its pictures.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <tpropertymap.h>

namespace TagFixtures {

using Text = QMap<QString, QStringList>;

// The text as TagLib's own property map.
TagLib::PropertyMap Properties(const Text &text);

// A few bytes that read as a PNG image.
QByteArray Cover(char colour = 'r');

// Writes the text, and the picture as front cover when given, into the file's own kind of
// tag: ID3v2 (2.4, or 2.3 when asked) for MP3 and WAV, Vorbis comments for FLAC and Ogg.
bool Write(const QString &path, const Text &text, const QByteArray &cover = QByteArray(), int id3v2Version = 4);

// The songs of one album share artist, album and cover; Album() is what they share, and a
// song gets a title of its own.
Text Album();
bool WriteAlbumSong(const QString &path, const QString &title);

struct Tags {
    Text text;                  // as TagLib reads the file
    QStringList frames;         // its ID3v2 frames, in order
    QList<QByteArray> pictures; // their pictures' bytes (APIC, an MP4's covers, a Vorbis comment's), in order
    int id3v2Version = 0;       // 0: no ID3v2 tag
    Text id3v1;                 // empty: no ID3v1 tag
};
Tags Read(const QString &path);

} // namespace TagFixtures
