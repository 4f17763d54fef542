#pragma once
// Prompts for tests: records every call and answers from queues, so no dialog ever opens.

#include "platform/prompts.h"

#include <QList>
#include <QQueue>

class ScriptedPrompts : public Prompts {
public:
    struct Call {
        QString kind; // "message", "askYesNo", "input", "openFiles", "browseForFolder", "openFolder"
        QString title;
        QString text; // message text, prompt, or path
        Icon icon = Icon::None;
        QString extra; // default answer, filter or initial folder
        QString details; // a message's folded details
    };

    QList<Call> calls;
    QQueue<bool> yesNoAnswers;        // default No
    QQueue<QString> inputAnswers;     // default "" (cancelled)
    QQueue<QStringList> fileAnswers;  // default none (cancelled)
    QQueue<QString> folderAnswers;    // default "" (cancelled)

    void message(const QString &title, const QString &text, Icon icon, const QString &details) override;
    bool askYesNo(const QString &title, const QString &text) override;
    QString input(const QString &title, const QString &prompt, const QString &defaultText) override;
    QStringList openFiles(const QString &title, const QString &filter) override;
    QString browseForFolder(const QString &title, const QString &initialFolder) override;
    void openFolder(const QString &path) override;

    // The calls of one kind, in order.
    QList<Call> callsOf(const QString &kind) const;
    // The texts of the "Application Error" reports.
    QStringList errorReports() const;
};
