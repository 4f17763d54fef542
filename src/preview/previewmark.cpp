#include "preview/previewmark.h"

#include "preview/outputformat.h"

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace PreviewMark {

const char FrameDescription[] = "LUMBRISK";

namespace {

const QString Form = QStringLiteral("2");

// Shares of a second, to the millisecond: what a start in a list is written with.
bool sameSeconds(const QString &one, const QString &other)
{
    bool readOne = false;
    bool readOther = false;
    const double first = one.toDouble(&readOne);
    const double second = other.toDouble(&readOther);
    return readOne && readOther && std::abs(first - second) < 0.0005;
}

// "auto" and "25%" name a way to find the start; a plain number is the start itself.
bool isSeconds(const QString &start)
{
    bool number = false;
    start.toDouble(&number);
    return number;
}

} // namespace

std::optional<QString> Read(const QString &path)
{
    const OutputFormat *format = OutputFormat::Named(path);
    return format ? format->readMark(path) : std::nullopt;
}

std::optional<Record> Record::OfSource(const QString &sourcePath)
{
    struct stat facts {};
    if (::stat(QFile::encodeName(sourcePath).constData(), &facts) != 0)
        return std::nullopt;
    Record record = OfPath(sourcePath);
    record.set(QStringLiteral("size"), QString::number(qint64(facts.st_size)));
    record.set(QStringLiteral("modified"), QStringLiteral("%1.%2")
                                               .arg(qint64(facts.st_mtim.tv_sec))
                                               .arg(qint64(facts.st_mtim.tv_nsec), 9, 10, QLatin1Char('0')));
    return record;
}

Record Record::OfPath(const QString &path)
{
    Record record;
    record.set(QStringLiteral("source"), QString::fromLatin1(QUrl::toPercentEncoding(path, "/")));
    return record;
}

std::optional<Record> Record::Parse(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first() != Form)
        return std::nullopt;
    Record record;
    for (qsizetype index = 1; index < words.size(); ++index) {
        const qsizetype equals = words.at(index).indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        record.set(words.at(index).left(equals), words.at(index).mid(equals + 1));
    }
    return record;
}

QString Record::text() const
{
    QStringList words{Form};
    for (const auto &field : m_fields)
        words.append(field.first + QLatin1Char('=') + field.second);
    return words.join(QLatin1Char(' '));
}

QString Record::value(const QString &key) const
{
    for (const auto &field : m_fields) {
        if (field.first == key)
            return field.second;
    }
    return QString();
}

bool Record::has(const QString &key) const
{
    return std::any_of(m_fields.cbegin(), m_fields.cend(), [&](const auto &field) { return field.first == key; });
}

void Record::set(const QString &key, const QString &value)
{
    for (auto &field : m_fields) {
        if (field.first == key) {
            field.second = value;
            return;
        }
    }
    m_fields.append({key, value});
}

QString Record::source() const
{
    return QUrl::fromPercentEncoding(value(QStringLiteral("source")).toLatin1());
}

bool Record::meets(const Record &wanted) const
{
    const QString start = QStringLiteral("start");
    for (const auto &field : wanted.m_fields) {
        if (value(field.first) == field.second && has(field.first))
            continue;
        if (field.first == start && isSeconds(field.second) && sameSeconds(value(QStringLiteral("at")), field.second))
            continue;
        return false;
    }
    return true;
}

bool Record::sameSource(const Record &other) const
{
    for (const char *key : {"source", "size", "modified"}) {
        if (value(QLatin1String(key)) != other.value(QLatin1String(key)))
            return false;
    }
    return true;
}

bool IsEarlierForm(const QString &text)
{
    return !Record::Parse(text).has_value();
}

bool IsUnmarkedFile(const QString &path)
{
    struct stat facts {};
    return ::lstat(QFile::encodeName(path).constData(), &facts) == 0 && S_ISREG(facts.st_mode) && !Read(path);
}

QStringList WithoutPreviews(const QStringList &rows, qsizetype &leftOut)
{
    QStringList kept;
    for (const QString &row : rows) {
        if (Read(row))
            ++leftOut;
        else
            kept.append(row);
    }
    return kept;
}

} // namespace PreviewMark
