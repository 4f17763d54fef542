#include "platform/commandline.h"

CommandLine::CommandLine(const QString &program)
    : m_program(program),
      m_text(QLatin1Char('"') + program + QLatin1Char('"'))
{
}

CommandLine &CommandLine::plain(const QString &text)
{
    for (const QChar character : text) {
        if (character == QLatin1Char(' '))
            m_argumentOpen = false;
        else
            appendToArgument(character);
    }
    m_text += text;
    return *this;
}

CommandLine &CommandLine::quoted(const QString &value)
{
    appendToArgument(value);
    m_text += QLatin1Char('"') + value + QLatin1Char('"');
    return *this;
}

void CommandLine::appendToArgument(const QString &characters)
{
    if (!m_argumentOpen)
        m_arguments.append(QString());
    m_arguments.last() += characters;
    m_argumentOpen = true;
}
