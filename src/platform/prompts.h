#pragma once
// Prompts: every message box, question, input box, file dialog, folder browser and
// "open this folder" of the program goes through this one seam, so tests can script it.

#include <QString>
#include <QStringList>

class Prompts {
public:
    enum class Icon { None, Exclamation };

    virtual ~Prompts() = default;

    // A message box with an OK button. Details, when given, stay folded away under a button
    // and scroll, so a long list never makes the box taller than the screen.
    virtual void message(const QString &title, const QString &text, Icon icon = Icon::None,
                         const QString &details = QString()) = 0;
    // A Yes/No question without icon; true for Yes.
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // An input box; returns "" when cancelled.
    virtual QString input(const QString &title, const QString &prompt, const QString &defaultText) = 0;
    // A multi-select open dialog; returns the chosen paths, none when cancelled.
    virtual QStringList openFiles(const QString &title, const QString &filter) = 0;
    // A folder browser opened at the initial folder; returns "" when cancelled.
    virtual QString browseForFolder(const QString &title, const QString &initialFolder) = 0;
    // Asks the desktop to show the folder in its file manager; the outcome is not checked.
    virtual void openFolder(const QString &path) = 0;
};
