#include "platform/filenames.h"

#include <QCollator>
#include <QStringDecoder>

#include <algorithm>
#include <numeric>
#include <vector>

namespace FileNames {

namespace {

// The length of the one UTF-8 sequence that the bytes begin with; 0 when they begin with none.
qsizetype sequenceLength(QByteArrayView bytes)
{
    for (qsizetype length = 1; length <= qMin<qsizetype>(4, bytes.size()); ++length) {
        if (!Decoded(bytes.first(length)).isNull())
            return length;
    }
    return 0;
}

QString octal(QByteArrayView bytes)
{
    QString text;
    for (const char byte : bytes)
        text += QStringLiteral("\\%1").arg(uint(uchar(byte)), 3, 8, QLatin1Char('0'));
    return text;
}

bool isControl(char32_t code)
{
    return code < 32 || (code >= 127 && code <= 159);
}

// The marks and embeddings that change the direction text runs in (U+061C, U+200E/F,
// U+202A-E, U+2066-9): invisible, they can make a name read backwards ("evil\u202egnp.mp3"
// shows as "evilmp3.png").
bool isBidiControl(char32_t code)
{
    return code == 0x061c || code == 0x200e || code == 0x200f || (code >= 0x202a && code <= 0x202e)
           || (code >= 0x2066 && code <= 0x2069);
}

// A code point as `ls -b` writes it; sequence holds its bytes.
QString escapedCharacter(char32_t code, QByteArrayView sequence)
{
    static const char named[] = "abtnvfr"; // codes 7 to 13
    if (code == U'\\')
        return QStringLiteral("\\\\");
    if (code >= 7 && code <= 13)
        return QStringLiteral("\\") + QLatin1Char(named[code - 7]);
    if (isControl(code))
        return octal(sequence);
    return QString::fromUtf8(sequence);
}

// The C locale has no collation of its own (Qt compares code points there, digits and case
// included), so it falls back to the root order, which English uses.
QCollator fileManagerCollator()
{
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

QString Decoded(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString name = decoder.decode(bytes);
    return decoder.hasError() ? QString() : name;
}

QString Escaped(QByteArrayView bytes)
{
    QString text;
    while (!bytes.isEmpty()) {
        const qsizetype length = sequenceLength(bytes);
        if (length == 0) {
            text += octal(bytes.first(1));
            bytes = bytes.sliced(1);
            continue;
        }
        const QByteArrayView sequence = bytes.first(length);
        text += escapedCharacter(Decoded(sequence).toUcs4().constFirst(), sequence);
        bytes = bytes.sliced(length);
    }
    return text;
}

bool HoldsControl(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return isControl(c.unicode()); });
}

QString AnsiCQuoted(const QString &word)
{
    QString quoted = QStringLiteral("$'");
    for (const QChar c : word) {
        if (isControl(c.unicode()))
            quoted += octal(QString(c).toUtf8());
        else if (c == QLatin1Char('\\') || c == QLatin1Char('\''))
            quoted += QStringLiteral("\\") + c;
        else
            quoted += c;
    }
    return quoted + QLatin1Char('\'');
}

QString TerminalText(const QString &line)
{
    QString text;
    text.reserve(line.size());
    for (const QChar c : line) {
        if (isBidiControl(c.unicode()))
            text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else if (isControl(c.unicode()))
            text += escapedCharacter(c.unicode(), QString(c).toUtf8());
        else
            text += c;
    }
    return text;
}

QList<qsizetype> NaturalOrder(const QStringList &names)
{
    // One collator per thread: opening one costs more than many keys, and it is not safe to
    // share between threads. Keys made once each keep a sort of many names fast.
    thread_local const QCollator collator = fileManagerCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(names.size()));
    for (const QString &name : names)
        keys.push_back(collator.sortKey(name));
    QList<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int compared = keys[size_t(a)].compare(keys[size_t(b)]);
        return compared != 0 ? compared < 0 : names.at(a) < names.at(b);
    });
    return order;
}

} // namespace FileNames
