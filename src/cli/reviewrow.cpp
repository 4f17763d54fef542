#include "cli/reviewrow.h"

#include "cli/reviewbeats.h"
#include "cli/reviewpicture.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "preview/previewcommands.h"

#include <algorithm>
#include <cmath>

namespace ReviewRow {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// Seconds as a start is given: to the millisecond, the shortest text.
QString seconds(double value)
{
    return QString::number(std::round(value * 1000) / 1000, 'g', 12);
}

QString attribute(const char *name, const QString &value)
{
    return QStringLiteral(" %1=\"%2\"").arg(QLatin1String(name), escaped(value));
}

QString startFromText(const ReviewPage::Row &row)
{
    switch (row.startFrom) {
    case ReviewPage::StartFrom::Chorus:
        return QStringLiteral("chorus");
    case ReviewPage::StartFrom::QuarterIn:
        return QStringLiteral("25 %"); // the search says why beside it
    case ReviewPage::StartFrom::List:
        return QStringLiteral("the list of starts (pinned)");
    case ReviewPage::StartFrom::Share:
        return QStringLiteral("a share of the song");
    case ReviewPage::StartFrom::Seconds:
        break;
    }
    return QStringLiteral("fixed");
}

QString decibels(double value, const char *unit)
{
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(unit));
}

QString loudnessFacts(const Loudness::Adjustment &loudness, bool kept)
{
    const Loudness::Measurement &measured = loudness.measured;
    if (!measured.integrated)
        return QStringLiteral("<div>loudness: silence, left as it is</div>");
    QString facts = QStringLiteral("<div>loudness %1 → %2</div>")
                        .arg(decibels(*measured.integrated, "LUFS"),
                             loudness.result ? decibels(*loudness.result, "LUFS") : QStringLiteral("?"));
    // The encoded preview's own once made; the source's with the gain is only a plan's guess,
    // and none at all once a limiter took the peaks down, or of a kept preview: its mark
    // records the peak measured, or none.
    std::optional<double> truePeak = loudness.truePeak;
    if (!truePeak && !kept && !loudness.limited)
        truePeak = measured.truePeak + loudness.gain;
    if (truePeak && std::isfinite(*truePeak))
        facts += QStringLiteral("<div>true peak %1</div>").arg(decibels(*truePeak, "dBTP"));
    if (loudness.heldBack)
        facts += QStringLiteral("<div class=\"held\">held back by its peaks</div>");
    if (loudness.limited && *loudness.limited >= 0.05)
        facts += QStringLiteral("<div>peaks limited by up to %1</div>").arg(decibels(*loudness.limited, "dB"));
    return facts;
}

bool heldBack(const ReviewPage::Row &row)
{
    return row.loudness && row.loudness->heldBack;
}

bool failed(const ReviewPage::Row &row)
{
    return !row.made && !row.planned && !row.kept;
}

QString names(const ReviewPage::Row &row)
{
    const QString title = row.names.title.isEmpty() ? Main::FileNameOf(row.source) : row.names.title;
    QString html = QStringLiteral("<div class=\"names\">") + Shown(title);
    if (!row.names.artist.isEmpty())
        html += QStringLiteral(" <span class=\"artist\">– %1</span>").arg(Shown(row.names.artist));
    return html + QStringLiteral("<div class=\"path\">%1</div></div>").arg(Shown(row.source));
}

// The start as the script redraws it; "—" while there is none. A row without its song's
// length has no start to move, and says none where there is none.
QString startLine(const ReviewPage::Row &row)
{
    if (!row.start && row.song.seconds <= 0)
        return QString();
    const QString start = row.start ? QStringLiteral("<span data-role=\"start\" data-start=\"%1\">%2</span>")
                                          .arg(seconds(*row.start), PreviewCommands::MinutesText(*row.start))
                                    : QStringLiteral("<span data-role=\"start\">—</span>");
    // The script says where a start changed on the page comes from.
    return QStringLiteral("<div>%1 for %2, from <span data-role=\"origin\">%3</span></div>")
        .arg(start, PreviewCommands::MinutesText(row.length), escaped(startFromText(row)));
}

QString state(const ReviewPage::Row &row)
{
    if (row.kept)
        return QStringLiteral("<div class=\"kept-note\">kept: up to date</div>");
    if (row.planned)
        return QStringLiteral("<div>planned: not made yet</div>");
    if (failed(row))
        return QStringLiteral("<div class=\"reason\">not made: %1</div>").arg(Shown(row.reason));
    return QString();
}

QString facts(const ReviewPage::Row &row)
{
    QString html = QStringLiteral("<div class=\"facts\">") + startLine(row);
    if (row.doubtful)
        html += QStringLiteral("<div class=\"doubt\">doubtful: %1</div>").arg(Shown(row.why));
    if (row.songChanged)
        html += QStringLiteral("<div class=\"reason\">its song has changed since this start was pinned</div>");
    // The script's words on this row: a start moved back to fit, a song it cannot play.
    html += QStringLiteral("<div class=\"note\" role=\"status\"></div>") + state(row);
    if (row.loudness)
        html += loudnessFacts(*row.loudness, row.kept);
    if ((row.made || row.kept) && !row.tags.isEmpty())
        html += QStringLiteral("<div>%1</div>").arg(Shown(row.tags));
    return html + QStringLiteral("</div>");
}

QString percent(double part, double whole)
{
    return QString::number(std::clamp(part / whole * 100, 0.0, 100.0), 'f', 2) + QLatin1Char('%');
}

// "chorus ×3, score 0.82": which section, how often it is played, how much like a chorus.
QString candidateTitle(const ReviewCandidates::Shown &candidate)
{
    const QString section = candidate.section == 0 ? QStringLiteral("chorus") : QStringLiteral("section %1").arg(candidate.section + 1);
    return QStringLiteral("%1 ×%2, score %3").arg(section).arg(candidate.repeats).arg(candidate.score, 0, 'f', 2);
}

QString candidates(const ReviewPage::Row &row)
{
    QString html;
    for (const ReviewCandidates::Shown &candidate : row.candidates)
        html += QStringLiteral("<button type=\"button\" class=\"candidate s%1\" data-role=\"candidate\" data-start=\"%2\" "
                               "style=\"left:%3\" title=\"%4\">%5</button>")
                    .arg(candidate.section)
                    .arg(seconds(candidate.seconds), percent(candidate.seconds, row.song.seconds),
                         escaped(candidateTitle(candidate)), candidate.clock);
    return html;
}

// The song's picture, the preview's window over it and the candidates below: where a click
// places the start. None without the song's length.
QString wave(const ReviewPage::Row &row)
{
    if (row.song.seconds <= 0)
        return QString();
    QString html = QStringLiteral("<div class=\"wave\" data-role=\"song-wave\" data-seconds=\"%1\">")
                       .arg(seconds(row.song.seconds))
                   + ReviewPicture::Svg(row);
    const QString window = row.start ? QStringLiteral("left:%1;width:%2")
                                           .arg(percent(*row.start, row.song.seconds),
                                                percent(std::min(row.length, row.song.seconds - *row.start), row.song.seconds))
                                     : QStringLiteral("display:none");
    html += QStringLiteral("<div class=\"window\" style=\"%1\"></div>").arg(window);
    return html + candidates(row) + QStringLiteral("</div>");
}

QString controls(const ReviewPage::Row &row, const QString &pageFolder)
{
    QString html = QStringLiteral("<div class=\"controls\">");
    if (row.song.seconds > 0)
        html += QStringLiteral("<button type=\"button\" data-role=\"listen\">▶ Song from the start</button>");
    html += QStringLiteral("<button type=\"button\" data-role=\"approve\" aria-pressed=\"false\">✓ Approve</button>");
    if ((row.made || row.kept) && !row.preview.isEmpty())
        html += QStringLiteral("<audio controls preload=\"none\" src=\"%1\"></audio>").arg(ReviewPage::Link(row.preview, pageFolder));
    return html + QStringLiteral("</div>");
}

QString dataAttributes(const ReviewPage::Row &row, const QString &pageFolder)
{
    QString html = attribute("data-source", row.source) + attribute("data-start-from", StartFromWord(row.startFrom))
                   + attribute("data-song", ReviewPage::Link(row.source, pageFolder))
                   + attribute("data-length", seconds(row.length));
    if (row.start)
        html += attribute("data-run-start", seconds(*row.start));
    if (!row.beats.empty())
        html += attribute("data-beats", ReviewBeats::Text(row.beats));
    if (!row.downbeats.empty())
        html += attribute("data-downbeats", ReviewBeats::Text(row.downbeats));
    return html;
}

} // namespace

QString Shown(const QString &text)
{
    return FileNames::TerminalText(text).toHtmlEscaped();
}

QString StartFromWord(ReviewPage::StartFrom from)
{
    switch (from) {
    case ReviewPage::StartFrom::Chorus:
    case ReviewPage::StartFrom::QuarterIn:
        return QStringLiteral("chorus");
    case ReviewPage::StartFrom::List:
        return QStringLiteral("list");
    case ReviewPage::StartFrom::Share:
        return QStringLiteral("share");
    case ReviewPage::StartFrom::Seconds:
        break;
    }
    return QStringLiteral("fixed");
}

QString Classes(const ReviewPage::Row &row)
{
    QStringList classes{QStringLiteral("row")};
    const std::pair<bool, const char *> kinds[] = {{failed(row), "failed"},
                                                   {row.planned, "planned"},
                                                   {row.kept, "kept"},
                                                   {row.doubtful, "doubtful"},
                                                   {row.startFrom == ReviewPage::StartFrom::QuarterIn, "fallback"},
                                                   {heldBack(row), "held-back"},
                                                   {row.startFrom == ReviewPage::StartFrom::List, "pinned"},
                                                   {row.songChanged, "song-changed"},
                                                   {row.made, "made"}};
    for (const auto &[applies, name] : kinds) {
        if (applies)
            classes.append(QLatin1String(name));
    }
    return classes.join(QLatin1Char(' '));
}

QString Html(const ReviewPage::Row &row, const QString &pageFolder)
{
    return QStringLiteral("<section class=\"%1\" tabindex=\"0\"%2>").arg(Classes(row), dataAttributes(row, pageFolder))
           + names(row) + facts(row) + wave(row) + controls(row, pageFolder) + QStringLiteral("</section>\n");
}

} // namespace ReviewRow
