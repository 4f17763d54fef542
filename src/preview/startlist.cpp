#include "preview/startlist.h"

#include "preview/previewfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace StartList {

namespace {

struct Record {
    int line = 0; // where it begins
    QStringList fields;
};

// The most bad rows told one by one; the rest are counted.
constexpr int ToldProblems = 20;

// The separator of a spreadsheet's CSV: comma, or semicolon or tab where the decimal mark is
// a comma (German, French). The one found most often outside quotes in the first line; on a
// tie the tab, then the semicolon, as a decimal comma may add a comma.
QChar separatorOf(const QString &csv)
{
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const QChar c : csv) {
        if (c == QLatin1Char('"'))
            quoted = !quoted; // a doubled quote toggles twice
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\n'))
            break;
        commas += c == QLatin1Char(',');
        semicolons += c == QLatin1Char(';');
        tabs += c == QLatin1Char('\t');
    }
    if (tabs > 0 && tabs >= qMax(commas, semicolons))
        return QLatin1Char('\t');
    return semicolons > 0 && semicolons >= commas ? QLatin1Char(';') : QLatin1Char(',');
}

// RFC 4180: fields split by the separator, records by CR LF or LF; a quoted field may hold
// separators, line breaks and doubled quotes. Records of one empty field (blank lines) are
// dropped.
QList<Record> records(const QString &csv, QChar separator)
{
    QList<Record> all;
    Record record{1, {QString()}};
    int line = 1;
    bool quoted = false;
    const auto close = [&] {
        if (record.fields.size() > 1 || !record.fields.constFirst().isEmpty())
            all.append(record);
        record = Record{line, {QString()}};
    };
    for (qsizetype at = 0; at < csv.size(); ++at) {
        const QChar c = csv.at(at);
        if (c == QLatin1Char('\n'))
            ++line;
        if (quoted) {
            if (c == QLatin1Char('"') && at + 1 < csv.size() && csv.at(at + 1) == QLatin1Char('"'))
                record.fields.last() += csv.at(++at);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                record.fields.last() += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == separator) {
            record.fields.append(QString());
        } else if (c == QLatin1Char('\n')) {
            close();
        } else if (c != QLatin1Char('\r')) {
            record.fields.last() += c;
        }
    }
    close();
    return all;
}

// Where the separator is not the comma, a comma in a time is its decimal point ("0,50").
Record withDecimalPoints(Record record, QChar separator)
{
    for (qsizetype time = 1; separator != QLatin1Char(',') && time < record.fields.size(); ++time)
        record.fields[time].replace(QLatin1Char(','), QLatin1Char('.'));
    return record;
}

// "" when the record is a good row; else why not.
QString readRow(const Record &record, const QDir &folder, Row &row)
{
    const QStringList &fields = record.fields;
    if (fields.size() < 2 || fields.size() > 3)
        return QStringLiteral("give file,start or file,start,duration");
    const QString file = fields.at(0).trimmed();
    if (file.isEmpty())
        return QStringLiteral("no file named");
    row.path = QDir::cleanPath(folder.absoluteFilePath(file));
    if (!QFileInfo(row.path).isFile())
        return QStringLiteral("no such file: %1").arg(file);
    const QString start = fields.at(1).trimmed();
    if (!start.isEmpty() && !ReadStart(start, row.cut))
        return QStringLiteral("start '%1': give seconds (65, 2.5), m:ss (1:05), a share of the track (40%) or auto")
            .arg(start);
    const QString duration = fields.size() > 2 ? fields.at(2).trimmed() : QString();
    if (duration.isEmpty())
        return QString();
    row.cut.durationSeconds = ReadTime(duration);
    if (!row.cut.durationSeconds || *row.cut.durationSeconds <= 0)
        return QStringLiteral("duration '%1': give seconds (65, 2.5) or m:ss (1:05), above 0").arg(duration);
    return QString();
}

} // namespace

std::optional<double> ReadTime(const QString &text)
{
    static const QRegularExpression time(
        QStringLiteral("^(?:(?:(\\d+):)?(\\d+):(?=\\d\\d(?:\\.\\d*)?$))?(\\d+(?:\\.\\d*)?|\\.\\d+)$"));
    const QRegularExpressionMatch match = time.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double hours = match.captured(1).toDouble();
    const double minutes = match.captured(2).toDouble();
    const double seconds = match.captured(3).toDouble();
    const bool clock = !match.captured(2).isEmpty();
    const bool hoursGiven = !match.captured(1).isEmpty();
    const double total = hours * 3600 + minutes * 60 + seconds;
    if ((clock && seconds >= 60) || (hoursGiven && minutes >= 60) || total > MaxSeconds)
        return std::nullopt;
    return total;
}

std::optional<double> ReadShare(const QString &text)
{
    if (!text.endsWith(QLatin1Char('%')) || text.contains(QLatin1Char(':')))
        return std::nullopt;
    const std::optional<double> percent = ReadTime(text.chopped(1));
    if (!percent || *percent >= 100)
        return std::nullopt;
    return *percent / 100;
}

bool ReadStart(const QString &text, SourceCut &cut)
{
    cut.startAtChorus = text == QLatin1String("auto");
    cut.startShare = cut.startAtChorus ? std::nullopt : ReadShare(text);
    cut.startSeconds = cut.startAtChorus || cut.startShare ? std::nullopt : ReadTime(text);
    return cut.startAtChorus || cut.startShare || cut.startSeconds;
}

Reading Read(const QString &csv, const QString &folder)
{
    Reading reading;
    const QDir base(folder);
    const QChar separator = separatorOf(csv);
    const QList<Record> all = records(csv, separator);
    QStringList problems;
    for (qsizetype index = 0; index < all.size(); ++index) {
        const Record record = withDecimalPoints(all.at(index), separator);
        SourceCut header;
        if (index == 0 && record.fields.size() > 1 && !ReadStart(record.fields.at(1).trimmed(), header)
            && !record.fields.at(1).trimmed().isEmpty())
            continue;
        Row row;
        if (const QString problem = readRow(record, base, row); !problem.isEmpty())
            problems.append(QStringLiteral("line %1: ").arg(record.line) + problem);
        else
            reading.rows.append(row);
    }
    if (problems.isEmpty())
        return reading;
    reading.rows.clear();
    reading.problem = problems.mid(0, ToldProblems).join(QLatin1Char('\n'));
    if (problems.size() > ToldProblems)
        reading.problem += QStringLiteral("\nand %1 more").arg(problems.size() - ToldProblems);
    return reading;
}

QList<SourceCut> CutsFor(const QStringList &sources, const QList<Row> &rows)
{
    QHash<QString, QList<qsizetype>> rowsOf;
    for (qsizetype index = 0; index < rows.size(); ++index)
        rowsOf[PreviewFiles::FileKey(rows.at(index).path)].append(index);
    QHash<QString, qsizetype> seen;
    QList<SourceCut> cuts;
    bool any = false;
    cuts.reserve(sources.size());
    for (const QString &source : sources) {
        const QString key = PreviewFiles::FileKey(source);
        const auto found = rowsOf.constFind(key);
        if (found == rowsOf.cend()) {
            cuts.append(SourceCut());
            continue;
        }
        any = true;
        const qsizetype occurrence = seen[key]++;
        cuts.append(rows.at(found->at(qMin(occurrence, found->size() - 1))).cut);
    }
    return any ? cuts : QList<SourceCut>();
}

} // namespace StartList
