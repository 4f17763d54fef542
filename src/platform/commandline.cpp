#include "platform/commandline.h"

CommandLine::CommandLine(const QString &program)
    : m_program(program),
      m_text(QLatin1Char('"') + program + QLatin1Char('"'))
{
}

CommandLine &CommandLine::plain(const QString &text)
{
    // Each blank ends the argument being written; the words between blanks are appended whole.
    const QList<QStringView> words = QStringView(text).split(QLatin1Char(' '));
    for (qsizetype index = 0; index < words.size(); ++index) {
        if (index > 0)
            m_argumentOpen = false;
        if (!words[index].isEmpty())
            appendToArgument(words[index].toString());
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
