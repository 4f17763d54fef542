#include "app/qtprompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

// The program's texts keep their CR and CR LF breaks; Qt's labels want plain "\n".
QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

void QtPrompts::message(const QString &title, const QString &text, Icon icon, const QString &details)
{
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, forDisplay(text), QMessageBox::Ok, m_owner);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(forDisplay(details));
    box.exec();
}

bool QtPrompts::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, forDisplay(text),
                    QMessageBox::Yes | QMessageBox::No, m_owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompts::input(const QString &title, const QString &prompt, const QString &defaultText)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(m_owner, title, forDisplay(prompt),
                                                 QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

QStringList QtPrompts::openFiles(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filter);
}

QString QtPrompts::browseForFolder(const QString &title, const QString &initialFolder)
{
    return QFileDialog::getExistingDirectory(m_owner, title, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

void QtPrompts::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
