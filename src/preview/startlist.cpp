#include "preview/startlist.h"

#include "platform/main.h"
#include "preview/previewfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StartList {

namespace {

// A list is read in pieces of this size, so its text never lies in memory whole.
constexpr qint64 ChunkBytes = 64 * 1024;

struct Record {
    int line = 0; // where it begins
    QStringList fields;
};

// The most bad rows told one by one; the rest are counted.
constexpr int ToldProblems = 20;

// The separator of a spreadsheet's CSV: comma, or semicolon or tab where the decimal mark is
// a comma (German, French). The one found most often outside quotes in the first line; on a
// tie the tab, then the semicolon, as a decimal comma may add a comma. None while the first
// line has not ended and more text may come.
std::optional<QChar> separatorOf(QStringView csv, bool complete)
{
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    bool ended = complete;
    for (const QChar c : csv) {
        if (c == QLatin1Char('"'))
            quoted = !quoted; // a doubled quote toggles twice
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\n'))
            ended = true;
        if (ended)
            break;
        commas += c == QLatin1Char(',');
        semicolons += c == QLatin1Char(';');
        tabs += c == QLatin1Char('\t');
    }
    if (!ended)
        return std::nullopt;
    if (tabs > 0 && tabs >= qMax(commas, semicolons))
        return QLatin1Char('\t');
    return semicolons > 0 && semicolons >= commas ? QLatin1Char(';') : QLatin1Char(',');
}

// Where the separator is not the comma, a comma in a time is its decimal point ("0,50").
Record withDecimalPoints(Record record, QChar separator)
{
    for (qsizetype time = 1; separator != QLatin1Char(',') && time < record.fields.size(); ++time)
        record.fields[time].replace(QLatin1Char(','), QLatin1Char('.'));
    return record;
}

// RFC 4180: fields split by the separator, records by CR LF or LF; a quoted field may hold
// separators, line breaks and doubled quotes. Records of one empty field (blank lines) are
// dropped. The text comes in pieces, so a list is read as it streams in; the separator is
// known once the first line is in, and each record is handed on once complete, its times
// with decimal points.
class RecordReader {
public:
    using Handler = std::function<void(const Record &)>;
    explicit RecordReader(Handler handler) : m_handler(std::move(handler)) {}

    void feed(QStringView text)
    {
        if (!m_separator) {
            m_head += text;
            // Only a line's end can settle the separator.
            if (text.contains(QLatin1Char('\n')))
                m_separator = separatorOf(m_head, false);
            if (m_separator)
                takeHead();
            return;
        }
        for (const QChar c : text)
            take(c);
    }
    void finish()
    {
        if (!m_separator) {
            m_separator = separatorOf(m_head, true);
            takeHead();
        }
        if (m_pendingQuote)
            m_quoted = false; // a quote that closed the field at the very end
        close();
    }

private:
    void takeHead()
    {
        const QString head = std::exchange(m_head, QString());
        feed(head);
    }
    void take(QChar c)
    {
        if (m_pendingQuote) {
            m_pendingQuote = false;
            if (c == QLatin1Char('"')) {
                m_record.fields.last() += c; // a doubled quote
                return;
            }
            m_quoted = false;
        }
        if (c == QLatin1Char('\n'))
            ++m_line;
        if (m_quoted) {
            if (c == QLatin1Char('"'))
                m_pendingQuote = true;
            else
                m_record.fields.last() += c;
        } else if (c == QLatin1Char('"')) {
            m_quoted = true;
        } else if (c == *m_separator) {
            m_record.fields.append(QString());
        } else if (c == QLatin1Char('\n')) {
            close();
        } else if (c != QLatin1Char('\r')) {
            m_record.fields.last() += c;
        }
    }
    void close()
    {
        if (m_record.fields.size() > 1 || !m_record.fields.constFirst().isEmpty())
            m_handler(withDecimalPoints(m_record, *m_separator));
        m_record = Record{m_line, {QString()}};
    }

    Handler m_handler;
    std::optional<QChar> m_separator;
    QString m_head; // the text before the first line has ended
    Record m_record{1, {QString()}};
    int m_line = 1;
    bool m_quoted = false;
    bool m_pendingQuote = false; // a quote inside a quoted field: its end, or the first of two
};

// The files the rows name, each looked up once however many rows name it: a list may name
// one file millions of times, and its rows then share one path.
class ListedFiles {
public:
    explicit ListedFiles(const QString &folder) : m_folder(folder) {}

    // The file's absolute path; "" when no such file exists.
    QString pathOf(const QString &file)
    {
        auto found = m_paths.constFind(file);
        if (found == m_paths.cend()) {
            const QString path = QDir::cleanPath(m_folder.absoluteFilePath(file));
            found = m_paths.insert(file, QFileInfo(path).isFile() ? path : QString());
        }
        return *found;
    }
    const QDir &folder() const { return m_folder; }

private:
    QDir m_folder;
    QHash<QString, QString> m_paths; // by the name as the rows give it
};

// "" when the record is a good row; else why not. Gone: it names a file that is not there.
QString readRow(const Record &record, ListedFiles &files, Row &row, bool &gone)
{
    const QStringList &fields = record.fields;
    if (fields.size() < 2 || fields.size() > 3)
        return QStringLiteral("give file,start or file,start,duration");
    // The name as written first, as a quoted one may end in a blank; then without the
    // blanks a spreadsheet leaves around a field.
    const QString written = fields.at(0);
    const QString file = written.trimmed();
    if (file.isEmpty())
        return QStringLiteral("no file named");
    row.path = files.pathOf(written);
    if (row.path.isEmpty() && written != file)
        row.path = files.pathOf(file);
    gone = row.path.isEmpty();
    if (gone)
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

// A first record is a header when none of its fields is a file that exists or a start: a
// first row with a bad time is a row, reported by its line.
bool isHeader(const Record &record, const QDir &folder)
{
    if (record.fields.size() < 2)
        return false;
    for (const QString &field : record.fields) {
        SourceCut cut;
        const QString text = field.trimmed();
        if (!text.isEmpty() && (ReadStart(text, cut) || QFileInfo(folder.absoluteFilePath(text)).isFile()))
            return false;
    }
    return true;
}

// The rows of the records as they come, and every bad one's line and why; once a row is
// bad, none is made, so only the problems are kept.
class RowCollector {
public:
    RowCollector(Reading &reading, const QString &folder, Gone gone)
        : m_reading(reading), m_files(folder), m_gone(gone)
    {
    }

    RecordReader::Handler handler()
    {
        return [this](const Record &record) { take(record); };
    }
    // The first ToldProblems bad rows, a line each, then how many more.
    void finish()
    {
        if (m_problems.isEmpty())
            return;
        m_reading.rows.clear();
        m_reading.rowProblem = true;
        m_reading.problem = m_problems.mid(0, ToldProblems).join(QLatin1Char('\n'));
        if (m_problems.size() > ToldProblems)
            m_reading.problem += QStringLiteral("\nand %1 more").arg(m_problems.size() - ToldProblems);
    }

private:
    void take(const Record &record)
    {
        if (record.line == 1 && m_reading.rows.isEmpty() && isHeader(record, m_files.folder()))
            return;
        Row row;
        bool gone = false;
        const QString problem = readRow(record, m_files, row, gone);
        if (gone && m_gone == Gone::LeftOut)
            m_reading.gone.append(QStringLiteral("line %1: ").arg(record.line) + problem);
        else if (!problem.isEmpty())
            m_problems.append(QStringLiteral("line %1: ").arg(record.line) + problem);
        else if (m_problems.isEmpty())
            m_reading.rows.append(row);
    }

    Reading &m_reading;
    ListedFiles m_files;
    Gone m_gone;
    QStringList m_problems;
};

// PreviewFiles::FileKey of many paths, each path and each folder resolved once: a list of a
// million rows costs a look at each distinct file, not a walk of every folder of every row.
class FileKeys {
public:
    QString of(const QString &path)
    {
        auto known = m_keys.constFind(path);
        if (known == m_keys.cend()) {
            const QString folder = Main::FolderOf(path);
            auto folderKey = m_folderKeys.constFind(folder);
            if (folderKey == m_folderKeys.cend()) {
                const QString key = PreviewFiles::FileKey(folder);
                folderKey = m_folderKeys.insert(folder, key.endsWith(QLatin1Char('/')) ? key : key + QLatin1Char('/'));
            }
            known = m_keys.insert(path, PreviewFiles::FileKeyIn(*folderKey, path));
        }
        return *known;
    }

private:
    QHash<QString, QString> m_keys;       // by path
    QHash<QString, QString> m_folderKeys; // by folder, each ending in "/"
};

} // namespace

Reading Read(const QString &csv, const QString &folder, Gone gone)
{
    Reading reading;
    RowCollector rows(reading, folder, gone);
    RecordReader reader(rows.handler());
    reader.feed(csv);
    reader.finish();
    rows.finish();
    return reading;
}

Reading ReadFile(const QString &path, Gone gone)
{
    Reading reading;
    // Opened without waiting, so that a pipe cannot hold the reading up; only a regular
    // file of a sane size is read.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0) {
        reading.problem = QString::fromLocal8Bit(std::strerror(errno));
        if (descriptor >= 0)
            ::close(descriptor);
        return reading;
    }
    QFile file;
    file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (!S_ISREG(status.st_mode))
        reading.problem = QStringLiteral("it is not a regular file (a pipe, device or folder), so it was not read");
    else if (status.st_size > MaxListBytes)
        reading.problem = QStringLiteral("it is larger than %1 MB, the most a list of starts may be").arg(MaxListBytes >> 20);
    if (!reading.problem.isEmpty())
        return reading;
    RowCollector rows(reading, QFileInfo(path).absolutePath(), gone);
    RecordReader reader(rows.handler());
    QStringDecoder utf8(QStringDecoder::Utf8);
    while (!file.atEnd()) {
        const QByteArray piece = file.read(ChunkBytes);
        if (piece.isEmpty())
            break;
        reader.feed(QString(utf8.decode(piece)));
    }
    reader.finish();
    rows.finish();
    return reading;
}

QList<SourceCut> CutsFor(const QStringList &sources, const QList<Row> &rows)
{
    FileKeys keys;
    QHash<QString, QList<qsizetype>> rowsOf;
    for (qsizetype index = 0; index < rows.size(); ++index)
        rowsOf[keys.of(rows.at(index).path)].append(index);
    QHash<QString, qsizetype> seen;
    QList<SourceCut> cuts;
    bool any = false;
    cuts.reserve(sources.size());
    for (const QString &source : sources) {
        const QString key = keys.of(source);
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
