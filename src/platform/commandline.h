#pragma once
// One tool run: the program and its arguments as a list, which is what starts, and the
// familiar one-line text ("program" "input"  -c 2 ...), which is what people read and
// what the tests compare. Building both together keeps them in step, and since the list
// goes to the program without a shell, no file name is ever interpreted.

#include <QString>
#include <QStringList>

class CommandLine {
public:
    // The text starts with the program in double quotes.
    explicit CommandLine(const QString &program);

    // Appends text as it stands; its blanks separate arguments, runs of blanks count once.
    CommandLine &plain(const QString &text);
    // Appends a value in double quotes; it joins the argument being written, if any, and is
    // never split, whatever blanks, quotes or shell characters it holds.
    CommandLine &quoted(const QString &value);

    QString program() const { return m_program; }
    QStringList arguments() const { return m_arguments; }
    QString text() const { return m_text; }

private:
    void appendToArgument(const QString &characters);

    QString m_program;
    QStringList m_arguments;
    QString m_text;
    bool m_argumentOpen = false;
};
