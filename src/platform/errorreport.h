#pragma once
// The common error report and the numbered, guarded statements of a handler.
// A failing statement is reported once ("Application Error", exclamation icon) and the
// handler goes on with the next statement, so every guarded handler reads as a list of
// numbered steps.

#include "platform/prompts.h"

#include <functional>

namespace ErrorReport {

inline const QString Cadrillo = QStringLiteral("Cadrillo2021/08/31");
inline const QString Hollenbrim = QStringLiteral("Hollenbrim2021/08/31");
inline const QString SupportAddress = QStringLiteral("support@lumbrisk.org");

// "<description>\r\nin <project>.<where> at line <line>\r\r<closing sentence>"
QString Text(const QString &description, const QString &project, const QString &where, int line);

} // namespace ErrorReport

class GuardedSteps {
public:
    // where: the form or module and the handler, as "Form1.Form_Load".
    GuardedSteps(Prompts &prompts, QString where, QString project = ErrorReport::Cadrillo);

    // Runs the statement numbered line; a failure is reported and swallowed.
    void run(int line, const std::function<void()> &statement);
    // A guarded test: a failure inside the condition is reported and counts as true,
    // so the handler goes on inside the test's block.
    bool test(int line, const std::function<bool()> &condition);
    // A guarded expression: a failure is reported and the fallback is used.
    template <typename T>
    T value(int line, const std::function<T()> &expression, T fallback)
    {
        T result = fallback;
        run(line, [&] { result = expression(); });
        return result;
    }

private:
    void report(const QString &description, int line);

    Prompts &m_prompts;
    QString m_where;
    QString m_project;
};
