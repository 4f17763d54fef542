#pragma once
// The real dialogs of the Prompts seam, owned by the window.

#include "platform/prompts.h"

class QWidget;

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }

    void message(const QString &title, const QString &text, Icon icon, const QString &details) override;
    bool askYesNo(const QString &title, const QString &text) override;
    QString input(const QString &title, const QString &prompt, const QString &defaultText) override;
    QStringList openFiles(const QString &title, const QString &filter) override;
    QString browseForFolder(const QString &title, const QString &initialFolder) override;
    void openFolder(const QString &path) override;

private:
    QWidget *m_owner;
};
