// What each preview records of how it was made (its mark), and the previews an --update run
// keeps: a preview is kept when its mark says it was made of this very source with these
// settings and it is still whole; what the report says of it then is what its mark records.
#include "batch/parallelwork.h"

#include "analysis/mp3audio.h"

#include <cmath>

namespace {

// A kept preview may differ from its mark's length by the last frame's worth.
constexpr double WholeSlackSeconds = 0.1;

const char *const OriginNames[] = {"chorus", "fallback", "list", "share", "seconds"};

QString originName(ParallelPreviews::StartOrigin origin)
{
    return QLatin1String(OriginNames[int(origin)]);
}

ParallelPreviews::StartOrigin originNamed(const QString &name)
{
    for (int origin = 0; origin < int(std::size(OriginNames)); ++origin) {
        if (name == QLatin1String(OriginNames[origin]))
            return ParallelPreviews::StartOrigin(origin);
    }
    return ParallelPreviews::StartOrigin::Seconds;
}

QString decibels(std::optional<double> value)
{
    return value ? ParallelWork::SecondsText(std::round(*value * 100) / 100) : QStringLiteral("none");
}

std::optional<double> decibelsFrom(const QString &text)
{
    bool read = false;
    const double value = text.toDouble(&read);
    return read ? std::optional(value) : std::nullopt;
}

} // namespace

void ParallelWork::RecordLoudness(PreviewMark::Record &record, const Loudness::Adjustment &loudness)
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

std::optional<Loudness::Adjustment> ParallelWork::RecordedLoudness(const PreviewMark::Record &record, double target)
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

namespace {

// "62.35/0/3/0.81,...": each candidate's start, section, repeats and score.
QString candidatesText(const std::vector<Chorus::Candidate> &candidates)
{
    QStringList texts;
    for (const Chorus::Candidate &candidate : candidates)
        texts.append(QStringLiteral("%1/%2/%3/%4")
                         .arg(ParallelWork::SecondsText(candidate.seconds))
                         .arg(candidate.section)
                         .arg(candidate.repeats)
                         .arg(ParallelWork::SecondsText(std::round(candidate.score * 100) / 100)));
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

} // namespace

bool ParallelWork::IsWhole(const QString &preview, const PreviewMark::Record &recorded)
{
    const std::optional<Mp3Audio::Length> length = Mp3Audio::Measure(preview);
    bool read = false;
    const double seconds = recorded.value(QStringLiteral("seconds")).toDouble(&read);
    return length && read && length->seconds >= seconds - WholeSlackSeconds;
}

// The start rule (not a start found in the audio, which is only known after the work), the
// length, the rate, the fades and the loudness: the same list with the same settings gives
// the same record.
std::optional<PreviewMark::Record> ParallelPreviews::wantedRecord(int index) const
{
    using ParallelWork::SecondsText;
    std::optional<PreviewMark::Record> record = PreviewMark::Record::OfSource(m_results[index].source);
    if (!record)
        return std::nullopt;
    const StartList::SourceCut *own = ownStart(index);
    const std::optional<double> share = startShareOf(index);
    QString start = SecondsText(own ? own->startSeconds.value_or(0) : m_settings.startSeconds);
    if (startsAtChorus(index))
        start = QStringLiteral("auto");
    else if (share)
        start = SecondsText(*share * 100) + QLatin1Char('%');
    record->set(QStringLiteral("start"), start);
    record->set(QStringLiteral("duration"), SecondsText(durationFor(index)));
    record->set(QStringLiteral("rate"), QString::number(m_settings.kbps));
    record->set(QStringLiteral("fades"), SecondsText(m_settings.fadeIn) + QLatin1Char(',') + SecondsText(m_settings.fadeOut));
    QString loudness = m_settings.loudness ? SecondsText(*m_settings.loudness) : QStringLiteral("none");
    // Only previews made with the limiter say so: those made before it stay up to date.
    if (m_settings.limit)
        loudness += QStringLiteral(",limit");
    record->set(QStringLiteral("loudness"), loudness);
    return record;
}

void ParallelPreviews::keepIfUpToDate(int index)
{
    Work &work = m_work[size_t(index)];
    Result &result = m_results[index];
    work.wanted = wantedRecord(index);
    const std::optional<QString> text = PreviewMark::Read(result.preview);
    if (!text || !work.wanted)
        return;
    const std::optional<PreviewMark::Record> recorded = PreviewMark::Record::Parse(*text);
    result.pinnedSongChanged = recorded && ownStart(index) && !recorded->sameSource(*work.wanted);
    if (!m_settings.update || m_settings.join)
        return;
    result.earlierForm = !recorded;
    if (!recorded || !recorded->meets(*work.wanted) || !ParallelWork::IsWhole(result.preview, *recorded))
        return;
    result.upToDate = true;
    takeRecorded(index, *recorded);
    settleKept(index, (m_settings.waveform && !Waveform::FileMatches(result.preview, *m_settings.waveform))
                          || m_settings.songPictures);
}

void ParallelPreviews::settleKept(int index, bool besides)
{
    m_work[size_t(index)].step = besides ? Step::Besides : Step::Done;
    if (!besides)
        ++m_finished;
}

void ParallelPreviews::takeRecorded(int index, const PreviewMark::Record &recorded)
{
    Result &result = m_results[index];
    result.start = recorded.value(QStringLiteral("at")).toDouble();
    result.duration = durationFor(index);
    const StartOrigin madeFrom = originNamed(recorded.value(QStringLiteral("from")));
    // A row of this run's list pins the start the preview was made from, whatever chose it
    // then: the report says so, and a review starts from it.
    result.startFrom = ownStart(index) ? StartOrigin::List : madeFrom;
    result.startIsShare = result.startFrom == StartOrigin::Share;
    if (m_settings.loudness)
        result.loudness = ParallelWork::RecordedLoudness(recorded, *m_settings.loudness);
    if (madeFrom == StartOrigin::Chorus || madeFrom == StartOrigin::Fallback) {
        Chorus::Start found;
        found.seconds = *result.start;
        found.fromChorus = madeFrom == StartOrigin::Chorus;
        found.candidates = candidatesFrom(recorded.value(QStringLiteral("candidates")));
        found.doubtful = recorded.value(QStringLiteral("doubtful")) == QLatin1String("1");
        found.reason = "kept: as its preview records";
        result.foundStart = found;
    }
}

QString ParallelPreviews::markText(int index, const QString &written) const
{
    const std::optional<PreviewMark::Record> &wanted = m_work[size_t(index)].wanted;
    if (!wanted)
        return QString();
    const Result &result = m_results[index];
    PreviewMark::Record record = *wanted;
    record.set(QStringLiteral("at"), ParallelWork::SecondsText(result.start.value_or(0)));
    record.set(QStringLiteral("from"), originName(result.startFrom));
    const std::optional<Mp3Audio::Length> length = Mp3Audio::Measure(written);
    record.set(QStringLiteral("seconds"), ParallelWork::SecondsText(length ? length->seconds : 0));
    if (result.loudness)
        ParallelWork::RecordLoudness(record, *result.loudness);
    if (result.foundStart) {
        record.set(QStringLiteral("candidates"), candidatesText(result.foundStart->candidates));
        record.set(QStringLiteral("doubtful"), result.foundStart->doubtful ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return record.text();
}
