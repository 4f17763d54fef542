#pragma once
// What the format of a preview decides, in one place: its file name's ending, how SoX is told
// to encode it, how its tags, pictures and Lumbrisk's mark are written and read, and how the
// made preview is decoded for its check, its waveform and its true peak. Every preview,
// joined file and scan asks its format; nothing else assumes one. A format is added as one
// more Id, its class (a file of its own) and its row in All().

#include "analysis/audiolength.h"
#include "analysis/decodedaudio.h"
#include "platform/commandline.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class PreviewTags; // preview/previewtags.h: TagLib's, for the few files that write tags

class OutputFormat {
public:
    enum class Id { Mp3, Aac, Opus, JoinPiece };

    virtual ~OutputFormat() = default;
    OutputFormat(const OutputFormat &) = delete;
    OutputFormat &operator=(const OutputFormat &) = delete;

    static const OutputFormat &Of(Id id);
    // MP3: every preview of the window's, and lumbrisk-cli's by default (PreviewSettings::format).
    static const OutputFormat &Mp3() { return Of(Id::Mp3); }
    // The formats of previews; not the pieces of a join.
    static const QList<const OutputFormat *> &All();
    // The pieces of the joins in formats SoX cannot read back (JoinPieceFormat).
    static const OutputFormat &JoinPieces();
    // The format a file's name ends in (case ignored); none for any other name.
    static const OutputFormat *Named(const QString &path);
    // The format of a file Lumbrisk named (a preview, its temporary file, a join's piece:
    // a .wav one is a JoinPieceFormat).
    static const OutputFormat &OfPreview(const QString &path);
    // Name patterns of every format's files ("*.mp3", "*.MP3", ...), for looking in folders.
    static QStringList AllPatterns();

    Id id() const { return m_id; }
    QString name() const { return m_name; }           // "MP3", as people call it
    QString extension() const { return m_extension; } // "mp3", without the dot
    QStringList patterns() const;
    bool names(const QString &path) const;

    // The bit rates it can have, in kbit/s, highest first.
    virtual const QList<int> &bitrates() const = 0;
    // The format of the pieces a join in this format is made of: its own when SoX reads it back.
    virtual const OutputFormat &joinPieces() const { return *this; }
    // What lumbrisk-cli writes without -b.
    virtual int defaultBitrate() const = 0;
    // The bit rates as a user reads them: "6 to 256" for every whole number between, else
    // the list ("320, 256, ...").
    QString bitrateText() const;
    // The sample rate a preview at the bit rate (kbit/s, as SoX gets it) is written at.
    virtual int sampleRateFor(const QString &bitrate) const = 0;
    // SoX's options for the encoder before the output's name, each followed by a blank: "-C 128 ".
    virtual QString encoderOptions(const QString &bitrate) const = 0;
    // FFmpeg's encoder that writes the file from the raw floats SoX writes on its standard
    // output ("libopus"); "" when SoX writes the file itself.
    virtual QString ffmpegEncoder() const { return QString(); }
    // FFmpeg's options after its input for that encoder: " -c:a libopus -b:a 96k -f opus".
    virtual QString ffmpegOptions(const QString &) const { return QString(); }
    // What the encoder does to loudness and peaks at a bit rate (Loudness::GainFor's terms).
    virtual double encodingLoss(int kbps) const = 0;
    virtual double peakMargin(int kbps) const = 0;
    virtual double overshootAllowance(int kbps) const = 0;
    // Hz below which the limiter takes out what its stretch holds (0: nothing), where the
    // encoder's own filter there would move the peaks of a low sound by dBs.
    virtual double subsonicCutoff() const { return 0; }

    // Lumbrisk's mark in the file, read without reading its pictures; none without one.
    virtual std::optional<QString> readMark(const QString &path) const = 0;
    // The preview's tags as written: emptied when opened, saved by PreviewTags::save.
    virtual std::unique_ptr<PreviewTags> openTags(const QString &path) const = 0;

    // True when the file holds more audio than the encoder writes of nothing.
    virtual bool holdsAudio(const QString &path) const = 0;
    // How long the file plays; none when it holds no audio or cannot be read.
    virtual std::optional<AudioLength> measure(const QString &path) const = 0;
    // How long SoX reads it as playing: what a splice position in a join counts.
    virtual std::optional<double> soxSeconds(const QString &path) const = 0;
    // Hands the file's samples to the pass, as DecodedAudio::Feed does an MP3's.
    virtual bool feed(const QString &path, const DecodedAudio::Reading &reading, Analysis::Pass &pass) const = 0;
    // feed as a function, for the measures that take one.
    DecodedAudio::Decoder decoder() const;

protected:
    OutputFormat(Id id, const QString &name, const QString &extension) : m_id(id), m_name(name), m_extension(extension) {}

private:
    Id m_id;
    QString m_name;
    QString m_extension;
};
