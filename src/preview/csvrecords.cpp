#include "preview/csvrecords.h"

#include <utility>

namespace CsvRecords {

namespace {

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

} // namespace

RecordReader::RecordReader(Handler handler) : m_handler(std::move(handler)) {}

void RecordReader::feed(QStringView text)
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

void RecordReader::finish()
{
    if (!m_separator) {
        m_separator = separatorOf(m_head, true);
        takeHead();
    }
    if (m_pendingQuote)
        m_quoted = false; // a quote that closed the field at the very end
    close();
}

void RecordReader::takeHead()
{
    const QString head = std::exchange(m_head, QString());
    feed(head);
}

void RecordReader::take(QChar c)
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

void RecordReader::close()
{
    if (m_record.fields.size() > 1 || !m_record.fields.constFirst().isEmpty())
        m_handler(withDecimalPoints(m_record, *m_separator));
    m_record = Record{m_line, {QString()}};
}

} // namespace CsvRecords
