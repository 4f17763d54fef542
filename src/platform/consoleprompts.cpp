#include "platform/consoleprompts.h"

#include "platform/filenames.h"

#include <cstdio>

ConsolePrompts::ConsolePrompts(QString prefix)
    : m_prefix(std::move(prefix))
{
}

void ConsolePrompts::message(const QString &, const QString &text, Icon, const QString &details)
{
    messages << text;
    // The error report is written for a message box, with Windows line ends.
    QString lines = details.isEmpty() ? text : text + QLatin1Char('\n') + details;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList escaped = lines.split(QLatin1Char('\n'));
    for (QString &line : escaped)
        line = FileNames::TerminalText(line);
    std::fprintf(stderr, "%s%s\n", qPrintable(m_prefix), escaped.join(QLatin1Char('\n')).toUtf8().constData());
    std::fflush(stderr);
}

bool ConsolePrompts::askYesNo(const QString &, const QString &)
{
    return false;
}

QString ConsolePrompts::input(const QString &, const QString &, const QString &)
{
    return QString();
}

QStringList ConsolePrompts::openFiles(const QString &, const QString &)
{
    return {};
}

QString ConsolePrompts::browseForFolder(const QString &, const QString &)
{
    return QString();
}

void ConsolePrompts::openFolder(const QString &)
{
}
