#include "scriptedprompts.h"

void ScriptedPrompts::message(const QString &title, const QString &text, Icon icon, const QString &details)
{
    calls.append({QStringLiteral("message"), title, text, icon, QString(), details});
}

bool ScriptedPrompts::askYesNo(const QString &title, const QString &text)
{
    calls.append({QStringLiteral("askYesNo"), title, text, Icon::None, QString()});
    return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
}

QString ScriptedPrompts::input(const QString &title, const QString &prompt, const QString &defaultText)
{
    calls.append({QStringLiteral("input"), title, prompt, Icon::None, defaultText});
    return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
}

QStringList ScriptedPrompts::openFiles(const QString &title, const QString &filter)
{
    calls.append({QStringLiteral("openFiles"), title, QString(), Icon::None, filter});
    return fileAnswers.isEmpty() ? QStringList() : fileAnswers.dequeue();
}

QString ScriptedPrompts::browseForFolder(const QString &title, const QString &initialFolder)
{
    calls.append({QStringLiteral("browseForFolder"), title, QString(), Icon::None, initialFolder});
    return folderAnswers.isEmpty() ? QString() : folderAnswers.dequeue();
}

void ScriptedPrompts::openFolder(const QString &path)
{
    calls.append({QStringLiteral("openFolder"), QString(), path, Icon::None, QString()});
}

QList<ScriptedPrompts::Call> ScriptedPrompts::callsOf(const QString &kind) const
{
    QList<Call> result;
    for (const Call &call : calls)
        if (call.kind == kind)
            result.append(call);
    return result;
}

QStringList ScriptedPrompts::errorReports() const
{
    QStringList result;
    for (const Call &call : calls)
        if (call.kind == QLatin1String("message") && call.title == QLatin1String("Application Error"))
            result.append(call.text);
    return result;
}
