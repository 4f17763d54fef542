#include "preview/startlist.h"

#include "platform/main.h"
#include "preview/csvrecords.h"
#include "preview/previewfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
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

using CsvRecords::Record;
using CsvRecords::RecordReader;

// A list is read in pieces of this size, so its text never lies in memory whole.
constexpr qint64 ChunkBytes = 64 * 1024;

// The most bad rows told one by one; the rest are counted.
constexpr int ToldProblems = 20;

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

// A row's file (by its FileKey, however the row spells it) and its cut: two rows alike would
// make the same preview twice.
struct RowKey {
    QString file;
    SourceCut cut;
    bool operator==(const RowKey &other) const
    {
        return file == other.file && cut.startSeconds == other.cut.startSeconds && cut.startShare == other.cut.startShare
               && cut.startAtChorus == other.cut.startAtChorus && cut.durationSeconds == other.cut.durationSeconds;
    }
};

size_t qHash(const RowKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.file, key.cut.startSeconds.value_or(-1), key.cut.startShare.value_or(-1),
                      key.cut.startAtChorus, key.cut.durationSeconds.value_or(-1));
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
        row.line = record.line;
        bool gone = false;
        QString problem = readRow(record, m_files, row, gone);
        if (problem.isEmpty())
            problem = repeated(record, row);
        if (gone && m_gone == Gone::LeftOut)
            m_reading.gone.append(QStringLiteral("line %1: ").arg(record.line) + problem);
        else if (!problem.isEmpty())
            m_problems.append(QStringLiteral("line %1: ").arg(record.line) + problem);
        else if (m_problems.isEmpty())
            m_reading.rows.append(row);
    }
    // "" for the first row of its file and cut; else which line it repeats.
    QString repeated(const Record &record, const Row &row)
    {
        const auto first = m_lines.constFind(RowKey{m_keys.of(row.path), row.cut});
        if (first == m_lines.cend()) {
            m_lines.insert(RowKey{m_keys.of(row.path), row.cut}, record.line);
            return QString();
        }
        return QStringLiteral("%1 again, with the start and duration of line %2, which makes that preview already")
            .arg(record.fields.at(0).trimmed())
            .arg(*first);
    }

    Reading &m_reading;
    ListedFiles m_files;
    Gone m_gone;
    FileKeys m_keys;
    QHash<RowKey, int> m_lines; // the line of each file and cut's first row
    QStringList m_problems;
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

namespace {

// The indexes of the rows of each file, by its FileKey, in list order.
QHash<QString, QList<qsizetype>> rowsByFile(FileKeys &keys, const QList<Row> &rows)
{
    QHash<QString, QList<qsizetype>> rowsOf;
    for (qsizetype index = 0; index < rows.size(); ++index)
        rowsOf[keys.of(rows.at(index).path)].append(index);
    return rowsOf;
}

} // namespace

QList<SourceCut> CutsFor(const QStringList &sources, const QList<Row> &rows)
{
    FileKeys keys;
    const QHash<QString, QList<qsizetype>> rowsOf = rowsByFile(keys, rows);
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

QList<int> UnusedLines(const QStringList &sources, const QList<Row> &rows)
{
    FileKeys keys;
    const QHash<QString, QList<qsizetype>> rowsOf = rowsByFile(keys, rows);
    QHash<QString, qsizetype> mentions;
    for (const QString &source : sources)
        ++mentions[keys.of(source)];
    QList<int> unused;
    for (auto file = mentions.cbegin(); file != mentions.cend(); ++file) {
        for (const qsizetype index : rowsOf.value(file.key()).mid(*file))
            unused.append(rows.at(index).line);
    }
    std::sort(unused.begin(), unused.end());
    return unused;
}

} // namespace StartList
