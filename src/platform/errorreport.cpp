#include "platform/errorreport.h"

#include "platform/apperror.h"

#include <exception>

namespace ErrorReport {

QString Text(const QString &description, const QString &project, const QString &where, int line)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in ") + project
           + QLatin1Char('.') + where + QStringLiteral(" at line ") + QString::number(line)
           + QStringLiteral("\r\r")
           + QStringLiteral("Please send a screenshot of this message to %1 so that we can fix it.")
                 .arg(SupportAddress);
}

} // namespace ErrorReport

GuardedSteps::GuardedSteps(Prompts &prompts, QString where, QString project)
    : m_prompts(prompts), m_where(std::move(where)), m_project(std::move(project))
{
}

void GuardedSteps::run(int line, const std::function<void()> &statement)
{
    try {
        statement();
    } catch (const AppError &error) {
        report(error.description(), line);
    } catch (const std::exception &error) {
        report(QString::fromLocal8Bit(error.what()), line);
    }
}

bool GuardedSteps::test(int line, const std::function<bool()> &condition)
{
    return value<bool>(line, condition, true);
}

void GuardedSteps::report(const QString &description, int line)
{
    m_prompts.message(QStringLiteral("Application Error"),
                      ErrorReport::Text(description, m_project, m_where, line),
                      Prompts::Icon::Exclamation);
}
