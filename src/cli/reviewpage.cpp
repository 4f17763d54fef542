#include "cli/reviewpage.h"

#include "cli/reviewrow.h"
#include "platform/main.h"
#include "platform/safefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <cmath>

namespace ReviewPage {

namespace {

// The page's style and script, compiled in from src/cli/review/ (review.qrc).
QString resource(const char *name)
{
    QFile file(QStringLiteral(":/review/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString player(const QString &preview, const QString &pageFolder)
{
    return QStringLiteral("<audio controls preload=\"none\" src=\"%1\"></audio>").arg(Link(preview, pageFolder));
}

QString filter(const char *kind, const QString &label, int count)
{
    return QStringLiteral("<label><input type=\"checkbox\" data-filter=\"%1\"> %2 (%3)</label>")
        .arg(QLatin1String(kind), label)
        .arg(count);
}

// How many rows are of each kind (failed, kept, doubtful, ...), by their classes.
QHash<QString, int> kindCounts(const QList<Row> &rows)
{
    QHash<QString, int> counts;
    for (const Row &row : rows) {
        for (const QString &kind : ReviewRow::Classes(row).split(QLatin1Char(' ')))
            ++counts[kind];
    }
    return counts;
}

QString counts(const Page &page, const QHash<QString, int> &kinds)
{
    const int failed = kinds.value(QStringLiteral("failed"));
    const int kept = kinds.value(QStringLiteral("kept"));
    QString html = QStringLiteral("<div id=\"counts\">");
    if (page.dryRun)
        html += QStringLiteral("<span>%1 planned</span>").arg(kinds.value(QStringLiteral("planned")));
    else
        html += QStringLiteral("<span>%1 made</span>").arg(page.rows.size() - failed - kept);
    html += QStringLiteral("<span>%1 kept</span>").arg(kept);
    html += QStringLiteral("<span>%1 failed</span>").arg(failed);
    // The script counts these as starts are changed and approved.
    html += QStringLiteral("<span class=\"review-counts\"><b data-count=\"reviewed\">0</b> reviewed, "
                           "<b data-count=\"changed\">0</b> changed, <b data-count=\"left\">%1</b> left</span>")
                .arg(page.rows.size());
    return html + QStringLiteral("</div>");
}

QString filters(const QHash<QString, int> &kinds)
{
    return QStringLiteral("<div id=\"filters\">Show only: ")
           + filter("doubtful", QStringLiteral("doubtful starts"), kinds.value(QStringLiteral("doubtful")))
           + filter("failed", QStringLiteral("failed"), kinds.value(QStringLiteral("failed")))
           + filter("held-back", QStringLiteral("held back by peaks"), kinds.value(QStringLiteral("held-back")))
           + filter("kept", QStringLiteral("kept"), kinds.value(QStringLiteral("kept")))
           // With --update, what the night made: songs new or changed, starts changed.
           + filter("made", QStringLiteral("new or changed since the last run"), kinds.value(QStringLiteral("made")))
           + filter("song-changed", QStringLiteral("changed since pinned"), kinds.value(QStringLiteral("song-changed")))
           + QStringLiteral("<label><input type=\"checkbox\" data-filter=\"unreviewed\"> not yet reviewed</label></div>");
}

QString saving(const Page &page, const QString &pageFolder)
{
    return QStringLiteral("<div id=\"save\"><button type=\"button\" data-role=\"save-starts\">Save starts</button> "
                          "<span>Save it as <b>starts.csv</b> in %1, beside this page; then this remakes exactly the "
                          "previews whose start changed:</span> <code data-role=\"command\">%2</code>"
                          "<div class=\"note\" data-role=\"save-note\" role=\"status\"></div></div>")
        .arg(ReviewRow::Shown(QDir::toNativeSeparators(pageFolder)), escaped(page.command));
}

QString header(const Page &page, const QString &pageFolder)
{
    QString html = QStringLiteral("<header><h1>%1: %2 songs</h1>")
                       .arg(page.dryRun ? QStringLiteral("Plan of previews") : QStringLiteral("Previews"))
                       .arg(page.rows.size());
    const QHash<QString, int> kinds = kindCounts(page.rows);
    html += counts(page, kinds) + filters(kinds) + saving(page, pageFolder);
    html += QStringLiteral("<div id=\"keys\">A click on a song's waveform or on a candidate moves its start; with a "
                           "row chosen, ← → move it a beat, with Shift a bar, Home puts back the run's, Enter "
                           "approves it; J and K go to the next and previous row.</div>");
    if (!page.joined.isEmpty())
        html += QStringLiteral("<div id=\"joined\">joined: %1 %2</div>")
                    .arg(ReviewRow::Shown(Main::FileNameOf(page.joined)), player(page.joined, pageFolder));
    return html + QStringLiteral("</header>\n");
}

QString orphans(const QList<Orphan> &orphans)
{
    if (orphans.isEmpty())
        return QString();
    QString html = QStringLiteral("<footer id=\"orphans\"><h2>Previews whose song is gone (%1)</h2>"
                                  "<p>Lumbrisk removes them only with --prune, and nothing it did not make.</p><ul>")
                       .arg(orphans.size());
    for (const Orphan &orphan : orphans)
        html += QStringLiteral("<li data-role=\"orphan\"><span class=\"path\">%1</span>, made of "
                               "<span class=\"path\">%2</span>%3</li>")
                    .arg(ReviewRow::Shown(orphan.preview), ReviewRow::Shown(orphan.source),
                         orphan.removed ? QStringLiteral(": removed") : QString());
    return html + QStringLiteral("</ul></footer>\n");
}

QString mainAttributes(const Page &page, const QString &pageFolder)
{
    return QStringLiteral(" data-run=\"%1\" data-folder=\"%2\"%3")
        .arg(escaped(page.run), escaped(pageFolder), page.wholeList ? QStringLiteral(" data-whole-list") : QString());
}

} // namespace

QString Link(const QString &path, const QString &pageFolder)
{
    const QString relative = QDir(pageFolder).relativeFilePath(path);
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/"));
}

QByteArray Html(const Page &page, const QString &pageFolder)
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                  "<meta name=\"viewport\" content=\"width=device-width\">"
                                  "<title>Lumbrisk review</title><style>")
                   + resource("review.css") + QStringLiteral("</style></head><body>\n");
    html += header(page, pageFolder) + QStringLiteral("<main%1>\n").arg(mainAttributes(page, pageFolder));
    for (const Row &row : page.rows)
        html += ReviewRow::Html(row, pageFolder);
    html += QStringLiteral("</main>\n") + orphans(page.orphans);
    for (const char *script : {"startscsv.js", "beats.js", "review.js"})
        html += QStringLiteral("<script>") + resource(script) + QStringLiteral("</script>");
    html += QStringLiteral("</body></html>\n");
    return html.toUtf8();
}

QString Write(const QString &path, const Page &page)
{
    // Checked before the run too; the name may hold a pipe or a device by now.
    if (const QString kind = SafeFiles::OtherThanRegularFile(path); !kind.isEmpty())
        return QStringLiteral("it is %1, not a regular file").arg(kind);
    // A dry run makes no folder, but its page may go into one the run would make.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("its folder %1 cannot be made").arg(folder);
    return SafeFiles::WriteReplacing(path, Html(page, folder));
}

} // namespace ReviewPage
