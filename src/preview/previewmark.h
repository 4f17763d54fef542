#pragma once
// The mark every preview and joined file of Lumbrisk carries: a text "LUMBRISK" in its tags
// as its format holds one (OutputFormat; an MP3's is an ID3v2 user text frame), written with
// them (alone with --no-tags). It holds what the preview was made of (its source's path, size
// and modification time, the settings) and what it got (its start and where that came from,
// its length, its loudness), so that a later --update run keeps a preview that is up to date
// and reports it as made; and it alone tells a preview from a song wherever the preview lies.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace PreviewMark {

// The mark's name in the tags.
extern const char FrameDescription[];

// The text of the mark, when the file is named as a preview format's and has one. Its
// format reads the mark alone, not the pictures, so a scan of thousands of songs stays quick.
std::optional<QString> Read(const QString &path);

// What a preview records of how it was made, as fields "key=value" after the form's number
// ("2 source=/music/Song.mp3 size=... start=auto at=62.35 ..."). Values never hold a space:
// a path is percent-encoded.
class Record {
public:
    // The source's path, size and modification time; none when the source cannot be looked at.
    static std::optional<Record> OfSource(const QString &sourcePath);
    // The path alone: the folder a joined file's songs have in common.
    static Record OfPath(const QString &path);
    // None for any other text, the first form of 1.2's marks among them.
    static std::optional<Record> Parse(const QString &text);

    QString text() const;
    QString value(const QString &key) const;
    bool has(const QString &key) const;
    void set(const QString &key, const QString &value);
    QString source() const; // the path, decoded

    // True when this record, read from a preview, says it was made of the very source and
    // with the settings that `wanted` records: every field of `wanted` alike, but that a start
    // asked in seconds is also met by the start the preview was made from (`at`), whatever
    // chose it then (a start approved as the chorus gave it changes nothing).
    bool meets(const Record &wanted) const;
    // The same source (path, size and modification time).
    bool sameSource(const Record &other) const;

private:
    QList<QPair<QString, QString>> m_fields;
};

// The form of a mark written by a version before this one, or by another program: "1 size=..."
bool IsEarlierForm(const QString &text);

// True for a regular file (not a link) at the path that carries no mark: a song, or a
// preview made before every preview was marked. A preview never takes its name.
bool IsUnmarkedFile(const QString &path);

// The rows of a folder scan, in order, without the previews among them: the files that carry
// a mark. A name alone makes no preview: "Live_Preview.mp3" beside "Live.mp3" may be a song.
// leftOut counts what was left out.
QStringList WithoutPreviews(const QStringList &rows, qsizetype &leftOut);

} // namespace PreviewMark
