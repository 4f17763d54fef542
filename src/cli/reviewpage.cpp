#include "cli/reviewpage.h"

#include "cli/reviewpicture.h"
#include "platform/main.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <cmath>

namespace ReviewPage {

namespace {

// Rows off screen skip layout and painting (content-visibility), and keep their height
// guessed, so that the scroll bar stays still as they come into view.
const char Style[] = R"(
body{font:14px/1.35 "Liberation Sans",Arial,sans-serif;margin:0;background:#f4f4f2;color:#222}
header{position:sticky;top:0;z-index:1;background:#fff;border-bottom:1px solid #ccc;padding:8px 16px}
h1{font-size:18px;margin:0 0 4px}
#counts span{margin-right:14px}
#filters label{margin-right:14px;cursor:pointer}
main{padding:8px 16px}
.row{content-visibility:auto;contain-intrinsic-size:auto 132px;background:#fff;border:1px solid #ddd;
 border-radius:4px;margin:0 0 8px;padding:8px 10px;display:grid;grid-template-columns:minmax(0,1fr) 300px;gap:4px 16px}
.row.failed{border-color:#c33;background:#fff6f6}
.names{font-weight:bold}.artist{font-weight:normal;color:#555}
.path{color:#777;font-size:12px;overflow-wrap:anywhere}
svg.song{grid-column:1;width:100%;height:48px;background:#fafafa}
.wave{fill:#5a6f8c}.chorus{fill:#f0b400;opacity:.45}.window{fill:#2a8f5a;fill-opacity:.25;stroke:#1d6b42;stroke-width:1;vector-effect:non-scaling-stroke}
.facts{grid-column:2;grid-row:1/span 2;font-size:13px}.facts div{margin-bottom:2px}
.reason{color:#b00}.held{color:#a60}
audio{grid-column:1;width:100%;height:32px}
)";

// Filters show the rows of any kind ticked, or all when none is.
const char Script[] = R"(
const boxes=[...document.querySelectorAll('#filters input')];
const rows=[...document.querySelectorAll('.row')];
function filter(){
 const kinds=boxes.filter(b=>b.checked).map(b=>b.value);
 for(const row of rows)row.hidden=kinds.length>0&&!kinds.some(k=>row.classList.contains(k));
}
for(const box of boxes)box.addEventListener('change',filter);
)";

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// A path relative to the page's folder, as a URL path.
QString link(const QString &path, const QString &pageFolder)
{
    const QString relative = QDir(pageFolder).relativeFilePath(path);
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/"));
}

QString startFromText(StartFrom from)
{
    switch (from) {
    case StartFrom::Chorus:
        return QStringLiteral("chorus");
    case StartFrom::NothingRepeats:
        return QStringLiteral("25 %: nothing repeats");
    case StartFrom::List:
        return QStringLiteral("CSV");
    case StartFrom::Fixed:
        break;
    }
    return QStringLiteral("fixed");
}

QString decibels(double value, const char *unit)
{
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(unit));
}

QString loudnessFacts(const Loudness::Adjustment &loudness)
{
    const Loudness::Measurement &measured = loudness.measured;
    if (!measured.integrated)
        return QStringLiteral("<div>loudness: silence, left as it is</div>");
    QString facts = QStringLiteral("<div>loudness %1 → %2</div>")
                        .arg(decibels(*measured.integrated, "LUFS"),
                             loudness.result ? decibels(*loudness.result, "LUFS") : QStringLiteral("?"));
    // The encoded preview's own once made; the source's with the gain is only a plan's guess.
    const double truePeak = loudness.truePeak.value_or(measured.truePeak + loudness.gain);
    if (std::isfinite(truePeak))
        facts += QStringLiteral("<div>true peak %1</div>").arg(decibels(truePeak, "dBTP"));
    if (loudness.heldBack)
        facts += QStringLiteral("<div class=\"held\">held back by its peaks</div>");
    if (loudness.limited && *loudness.limited >= 0.05)
        facts += QStringLiteral("<div>peaks limited by up to %1</div>").arg(decibels(*loudness.limited, "dB"));
    return facts;
}

bool fallback(const Row &row)
{
    return row.startFrom == StartFrom::NothingRepeats;
}

bool heldBack(const Row &row)
{
    return row.loudness && row.loudness->heldBack;
}

QString rowClasses(const Row &row)
{
    QString classes = QStringLiteral("row");
    if (!row.made)
        classes += QStringLiteral(" failed");
    if (fallback(row))
        classes += QStringLiteral(" fallback");
    if (heldBack(row))
        classes += QStringLiteral(" heldback");
    return classes;
}

QString names(const Row &row)
{
    const QString title = row.names.title.isEmpty() ? Main::FileNameOf(row.source) : row.names.title;
    QString html = QStringLiteral("<div class=\"names\">") + escaped(title);
    if (!row.names.artist.isEmpty())
        html += QStringLiteral(" <span class=\"artist\">– %1</span>").arg(escaped(row.names.artist));
    return html + QStringLiteral("<div class=\"path\">%1</div></div>").arg(escaped(row.source));
}

QString facts(const Row &row)
{
    QString html = QStringLiteral("<div class=\"facts\">");
    if (row.start)
        html += QStringLiteral("<div>%1 for %2, from %3</div>")
                    .arg(Clock(*row.start), Clock(row.length), escaped(startFromText(row.startFrom)));
    if (!row.made)
        html += QStringLiteral("<div class=\"reason\">not made: %1</div>").arg(escaped(row.reason));
    if (row.loudness)
        html += loudnessFacts(*row.loudness);
    if (row.made && !row.tags.isEmpty())
        html += QStringLiteral("<div>%1</div>").arg(escaped(row.tags));
    return html + QStringLiteral("</div>");
}

QString player(const QString &preview, const QString &pageFolder)
{
    return QStringLiteral("<audio controls preload=\"none\" src=\"%1\"></audio>").arg(link(preview, pageFolder));
}

QString rowHtml(const Row &row, const QString &pageFolder)
{
    QString html = QStringLiteral("<section class=\"%1\">").arg(rowClasses(row));
    html += names(row) + facts(row) + ReviewPicture::Svg(row);
    if (row.made && !row.preview.isEmpty())
        html += player(row.preview, pageFolder);
    return html + QStringLiteral("</section>\n");
}

QString filter(const char *kind, const QString &label, int count)
{
    return QStringLiteral("<label><input type=\"checkbox\" value=\"%1\"> %2 (%3)</label>")
        .arg(QLatin1String(kind), label)
        .arg(count);
}

QString header(const QList<Row> &rows, const QString &pageFolder, const QString &joined)
{
    int made = 0;
    int fallbacks = 0;
    int held = 0;
    for (const Row &row : rows) {
        made += row.made ? 1 : 0;
        fallbacks += fallback(row) ? 1 : 0;
        held += heldBack(row) ? 1 : 0;
    }
    QString html = QStringLiteral("<header><h1>Previews: %1 sources</h1><div id=\"counts\">"
                                  "<span>%2 made</span><span>%3 failed</span></div>")
                       .arg(rows.size())
                       .arg(made)
                       .arg(rows.size() - made);
    html += QStringLiteral("<div id=\"filters\">Show only: ") + filter("fallback", QStringLiteral("fallback starts"), fallbacks)
            + filter("failed", QStringLiteral("failed"), int(rows.size()) - made)
            + filter("heldback", QStringLiteral("held back by peaks"), held) + QStringLiteral("</div>");
    if (!joined.isEmpty())
        html += QStringLiteral("<div id=\"joined\">joined: %1 %2</div>").arg(escaped(Main::FileNameOf(joined)), player(joined, pageFolder));
    return html + QStringLiteral("</header>\n");
}

} // namespace

QString Clock(double seconds)
{
    const long whole = long(std::floor(std::max(seconds, 0.0)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QByteArray Html(const QList<Row> &rows, const QString &pageFolder, const QString &joined)
{
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                  "<meta name=\"viewport\" content=\"width=device-width\">"
                                  "<title>Lumbrisk review</title><style>")
                   + QLatin1String(Style) + QStringLiteral("</style></head><body>\n");
    page += header(rows, pageFolder, joined) + QStringLiteral("<main>\n");
    for (const Row &row : rows)
        page += rowHtml(row, pageFolder);
    page += QStringLiteral("</main><script>") + QLatin1String(Script) + QStringLiteral("</script></body></html>\n");
    return page.toUtf8();
}

QString Write(const QString &path, const QList<Row> &rows, const QString &joined)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray page = Html(rows, QFileInfo(path).absolutePath(), joined);
    if (file.write(page) != page.size() || !file.commit())
        return file.errorString();
    return QString();
}

} // namespace ReviewPage
