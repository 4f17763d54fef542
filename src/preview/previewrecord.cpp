#include "preview/previewrecord.h"

#include "platform/main.h"
#include "preview/outputformat.h"
#include "preview/previewcommands.h"

#include <QCryptographicHash>

#include <cmath>
#include <iterator>
#include <limits>

namespace PreviewRecord {

namespace {

using PreviewCommands::SecondsText;

// A kept preview may differ from its mark's length by the last frame's worth.
constexpr double WholeSlackSeconds = 0.1;

const char *const OriginNames[] = {"chorus", "fallback", "list", "share", "seconds"};

QString originName(StartOrigin origin)
{
    return QLatin1String(OriginNames[int(origin)]);
}

QString decibels(std::optional<double> value)
{
    return value ? SecondsText(std::round(*value * 100) / 100) : QStringLiteral("none");
}

std::optional<double> decibelsFrom(const QString &text)
{
    bool read = false;
    const double value = text.toDouble(&read);
    return read ? std::optional(value) : std::nullopt;
}

// "62.35/0/3/0.81,...": each candidate's start, section, repeats and score.
QString candidatesText(const std::vector<Chorus::Candidate> &candidates)
{
    QStringList texts;
    for (const Chorus::Candidate &candidate : candidates)
        texts.append(QStringLiteral("%1/%2/%3/%4")
                         .arg(SecondsText(candidate.seconds))
                         .arg(candidate.section)
                         .arg(candidate.repeats)
                         .arg(SecondsText(std::round(candidate.score * 100) / 100)));
    return texts.join(QLatin1Char(','));
}

std::vector<Chorus::Candidate> candidatesFrom(const QString &text)
{
    std::vector<Chorus::Candidate> candidates;
    for (const QString &entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char('/'));
        if (parts.size() == 4)
            candidates.push_back({parts[0].toDouble(), parts[1].toInt(), parts[2].toInt(), parts[3].toDouble()});
    }
    return candidates;
}

// "48.5-62.1,120-133.6": where the chorus was heard, each time, for the review page to shade.
QString sectionsText(const std::vector<Chorus::Section> &sections)
{
    QStringList texts;
    for (const Chorus::Section &section : sections)
        texts.append(SecondsText(section.begin) + QLatin1Char('-') + SecondsText(section.end));
    return texts.join(QLatin1Char(','));
}

std::vector<Chorus::Section> sectionsFrom(const QString &text)
{
    std::vector<Chorus::Section> sections;
    for (const QString &entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = entry.split(QLatin1Char('-'));
        if (ends.size() == 2)
            sections.push_back({ends[0].toDouble(), ends[1].toDouble()});
    }
    return sections;
}

// The length of the file written, as the mark records it.
QString lengthOf(const QString &written)
{
    const std::optional<AudioLength> length = OutputFormat::OfPreview(written).measure(written);
    return SecondsText(length ? length->seconds : 0);
}

// The folder the songs have in common: a joined file is an orphan once that is gone.
QString commonFolder(const QStringList &sources)
{
    QString common = Main::FolderOf(sources.value(0));
    for (const QString &source : sources) {
        while (!common.isEmpty() && !source.startsWith(common))
            common = Main::FolderOf(common.chopped(1));
    }
    return common.isEmpty() ? QStringLiteral("/") : common;
}

} // namespace

QString StartRule(bool atChorus, std::optional<double> share, double seconds)
{
    if (atChorus)
        return QStringLiteral("auto");
    if (share)
        return SecondsText(*share * 100) + QLatin1Char('%');
    return SecondsText(seconds);
}

std::optional<PreviewMark::Record> Wanted(const QString &source, const Recipe &recipe)
{
    std::optional<PreviewMark::Record> record = PreviewMark::Record::OfSource(source);
    if (!record)
        return std::nullopt;
    record->set(QStringLiteral("start"), recipe.start);
    record->set(QStringLiteral("duration"), SecondsText(recipe.duration));
    record->set(QStringLiteral("rate"), QString::number(recipe.kbps));
    record->set(QStringLiteral("fades"), SecondsText(recipe.fadeIn) + QLatin1Char(',') + SecondsText(recipe.fadeOut));
    QString loudness = recipe.loudness ? SecondsText(*recipe.loudness) : QStringLiteral("none");
    // Only previews made with the limiter say so: those made before it stay up to date.
    if (recipe.limit)
        loudness += QStringLiteral(",limit");
    record->set(QStringLiteral("loudness"), loudness);
    return record;
}

QString MarkText(const PreviewMark::Record &wanted, const Made &made, const QString &written)
{
    PreviewMark::Record record = wanted;
    record.set(QStringLiteral("at"), SecondsText(made.start));
    record.set(QStringLiteral("from"), originName(made.origin));
    record.set(QStringLiteral("seconds"), lengthOf(written));
    if (made.loudness)
        RecordLoudness(record, *made.loudness);
    if (made.found) {
        record.set(QStringLiteral("candidates"), candidatesText(made.found->candidates));
        record.set(QStringLiteral("doubtful"), made.found->doubtful ? QStringLiteral("1") : QStringLiteral("0"));
        if (made.found->fromChorus)
            record.set(QStringLiteral("sections"), sectionsText(made.found->sections));
    }
    return record.text();
}

StartOrigin RecordedOrigin(const PreviewMark::Record &recorded)
{
    const QString name = recorded.value(QStringLiteral("from"));
    for (int origin = 0; origin < int(std::size(OriginNames)); ++origin) {
        if (name == QLatin1String(OriginNames[origin]))
            return StartOrigin(origin);
    }
    return StartOrigin::Seconds;
}

Chorus::Start RecordedStart(const PreviewMark::Record &recorded)
{
    Chorus::Start found;
    found.seconds = recorded.value(QStringLiteral("at")).toDouble();
    found.fromChorus = RecordedOrigin(recorded) == StartOrigin::Chorus;
    found.candidates = candidatesFrom(recorded.value(QStringLiteral("candidates")));
    found.sections = sectionsFrom(recorded.value(QStringLiteral("sections")));
    found.doubtful = recorded.value(QStringLiteral("doubtful")) == QLatin1String("1");
    found.reason = "kept: as its preview records";
    return found;
}

void RecordLoudness(PreviewMark::Record &record, const Loudness::Adjustment &loudness)
{
    record.set(QStringLiteral("measured"), decibels(loudness.measured.integrated));
    const double peak = loudness.measured.truePeak;
    record.set(QStringLiteral("peak"), decibels(std::isfinite(peak) ? std::optional(peak) : std::nullopt));
    record.set(QStringLiteral("gain"), decibels(loudness.gain));
    record.set(QStringLiteral("result"), decibels(loudness.result));
    record.set(QStringLiteral("held"), loudness.heldBack ? QStringLiteral("1") : QStringLiteral("0"));
    record.set(QStringLiteral("capped"), loudness.capped ? QStringLiteral("1") : QStringLiteral("0"));
    if (loudness.limited)
        record.set(QStringLiteral("limited"), decibels(loudness.limited));
    // Measured once encoded, when it was.
    if (loudness.truePeak)
        record.set(QStringLiteral("truepeak"), decibels(loudness.truePeak));
}

std::optional<Loudness::Adjustment> RecordedLoudness(const PreviewMark::Record &record, double target)
{
    if (!record.has(QStringLiteral("gain")))
        return std::nullopt;
    Loudness::Adjustment loudness;
    loudness.measured.integrated = decibelsFrom(record.value(QStringLiteral("measured")));
    loudness.measured.truePeak =
        decibelsFrom(record.value(QStringLiteral("peak"))).value_or(-std::numeric_limits<double>::infinity());
    loudness.gain = decibelsFrom(record.value(QStringLiteral("gain"))).value_or(0);
    loudness.result = decibelsFrom(record.value(QStringLiteral("result")));
    loudness.heldBack = record.value(QStringLiteral("held")) == QLatin1String("1");
    loudness.capped = record.value(QStringLiteral("capped")) == QLatin1String("1");
    loudness.limited = decibelsFrom(record.value(QStringLiteral("limited")));
    loudness.truePeak = decibelsFrom(record.value(QStringLiteral("truepeak")));
    loudness.target = target;
    return loudness;
}

bool IsWhole(const QString &path, const PreviewMark::Record &recorded)
{
    const std::optional<AudioLength> length = OutputFormat::OfPreview(path).measure(path);
    bool read = false;
    const double seconds = recorded.value(QStringLiteral("seconds")).toDouble(&read);
    return length && read && length->seconds >= seconds - WholeSlackSeconds;
}

namespace {

QString digestOf(const QList<PreviewMark::Record> &songs)
{
    QCryptographicHash digest(QCryptographicHash::Sha1);
    for (const PreviewMark::Record &song : songs)
        digest.addData((song.text() + QLatin1Char('\n')).toUtf8());
    return QString::fromLatin1(digest.result().toHex());
}

PreviewMark::Record joinRecord(const QString &digestKey, const QString &digest, const QStringList &sources,
                               qsizetype songs, double crossfade, std::optional<double> loudness)
{
    PreviewMark::Record record = PreviewMark::Record::OfPath(commonFolder(sources));
    record.set(QStringLiteral("joined"), QString::number(songs));
    record.set(QStringLiteral("crossfade"), SecondsText(crossfade));
    record.set(QStringLiteral("loudness"), loudness ? SecondsText(*loudness) : QStringLiteral("none"));
    record.set(digestKey, digest);
    return record;
}

} // namespace

PreviewMark::Record WantedJoin(const QList<PreviewMark::Record> &songs, const QStringList &sources, double crossfade,
                               std::optional<double> loudness)
{
    return joinRecord(QStringLiteral("pieces"), digestOf(songs), sources, songs.size(), crossfade, loudness);
}

QString CutDigest(QList<PreviewMark::Record> songs, const QList<double> &starts)
{
    for (qsizetype song = 0; song < songs.size(); ++song)
        songs[song].set(QStringLiteral("start"), SecondsText(starts.value(song)));
    return digestOf(songs);
}

PreviewMark::Record WantedCutJoin(const QList<PreviewMark::Record> &songs, const QList<double> &starts,
                                  const QStringList &sources, double crossfade, std::optional<double> loudness)
{
    return joinRecord(QStringLiteral("cut"), CutDigest(songs, starts), sources, songs.size(), crossfade, loudness);
}

QString JoinedMarkText(const QList<std::optional<PreviewMark::Record>> &known, const QStringList &sources,
                       const QList<double> &starts, double crossfade, std::optional<double> target,
                       const std::optional<Loudness::Adjustment> &loudness, const QString &written)
{
    QList<PreviewMark::Record> songs;
    for (const std::optional<PreviewMark::Record> &song : known) {
        if (!song)
            return QString();
        songs.append(*song);
    }
    PreviewMark::Record record = WantedJoin(songs, sources, crossfade, target);
    record.set(QStringLiteral("cut"), CutDigest(songs, starts));
    record.set(QStringLiteral("seconds"), lengthOf(written));
    if (loudness)
        RecordLoudness(record, *loudness);
    return record.text();
}

} // namespace PreviewRecord
