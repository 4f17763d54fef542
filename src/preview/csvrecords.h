#pragma once
// The records of a spreadsheet's CSV text, as a list of starts (StartList) is written: RFC
// 4180 quoting, a comma, semicolon or tab as the separator, and the times' decimal commas
// where the separator is not the comma. The text may come in pieces.

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace CsvRecords {

struct Record {
    int line = 0; // where it begins
    QStringList fields;
};

// RFC 4180: fields split by the separator, records by CR LF or LF; a quoted field may hold
// separators, line breaks and doubled quotes. Records of one empty field (blank lines) are
// dropped. The text comes in pieces, so a list is read as it streams in; the separator is
// known once the first line is in, and each record is handed on once complete, its times
// with decimal points.
class RecordReader {
public:
    using Handler = std::function<void(const Record &)>;
    explicit RecordReader(Handler handler);

    void feed(QStringView text);
    void finish();

private:
    void takeHead();
    void take(QChar c);
    void close();

    Handler m_handler;
    std::optional<QChar> m_separator;
    QString m_head; // the text before the first line has ended
    Record m_record{1, {QString()}};
    int m_line = 1;
    bool m_quoted = false;
    bool m_pendingQuote = false; // a quote inside a quoted field: its end, or the first of two
};

} // namespace CsvRecords
