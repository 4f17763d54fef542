#pragma once
// Module FileNames: names as the file system gives them, bytes that are normally UTF-8, and
// the order in which file managers show them.

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace FileNames {

// The name's text, or a null text when its bytes are not valid UTF-8: such a name cannot be
// handed on unchanged, since encoding the text again would name another file. Every byte
// counts, a leading byte order mark too.
QString Decoded(QByteArrayView bytes);

// The bytes of a name or path as readable text that still tells every byte, as `ls -b` shows
// names: valid UTF-8 stays as it is (blanks too), a backslash is doubled, control characters
// read \t, \n and the like or \ooo, and each byte that is not valid UTF-8 reads \ooo in octal.
QString Escaped(QByteArrayView bytes);

// A line for a terminal: every control character written as Escaped writes it (\n, \033 ...),
// so that a name in it cannot move the cursor, recolour or rewrite the screen, and every bidi
// control as \u202e, so that it cannot make the line read backwards. All else, backslashes
// too, stays as it is.
QString TerminalText(const QString &line);

// Whether the text holds a control character, which a terminal would obey.
bool HoldsControl(const QString &text);
// A shell word in bash's $'...' quoting, every control character \ooo: read back by a shell
// as the same word, shown by a terminal without being obeyed.
QString AnsiCQuoted(const QString &word);

// The positions of the names in the order file managers show them: natural order ("Track 2"
// before "Track 10", "CD 2" before "CD 10"), letter case ignored, by the user's collation.
// Names that compare equal keep the order of their code points, so the result never depends
// on the order given.
QList<qsizetype> NaturalOrder(const QStringList &names);

} // namespace FileNames
