#pragma once
// Prompts for a front end without a window: every message goes to standard error, every
// question is answered "no" or left empty, since nobody sits there to answer it.

#include "platform/prompts.h"

class ConsolePrompts : public Prompts {
public:
    // prefix: put before every message, as "lumbrisk-cli: "; may be empty.
    explicit ConsolePrompts(QString prefix = QString());

    // The text, then its details.
    void message(const QString &title, const QString &text, Icon icon, const QString &details) override;
    bool askYesNo(const QString &title, const QString &text) override;
    QString input(const QString &title, const QString &prompt, const QString &defaultText) override;
    QStringList openFiles(const QString &title, const QString &filter) override;
    QString browseForFolder(const QString &title, const QString &initialFolder) override;
    void openFolder(const QString &path) override;

    // Every message shown so far, as given.
    QStringList messages;

private:
    QString m_prefix;
};
