#include "app/qtprompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTextEdit>
#include <QUrl>

namespace {

// The details pane is wide enough for a path and its reason on one line.
constexpr int DetailsWidth = 600;

// The program's texts keep their CR and CR LF breaks; Qt's labels want plain "\n".
QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A dialog asked during long work shows the ordinary pointer, not the window's hourglass.
class OrdinaryPointer {
public:
    OrdinaryPointer()
        : m_overridden(QGuiApplication::overrideCursor() != nullptr)
    {
        if (m_overridden)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~OrdinaryPointer()
    {
        if (m_overridden)
            QGuiApplication::restoreOverrideCursor();
    }
    OrdinaryPointer(const OrdinaryPointer &) = delete;
    OrdinaryPointer &operator=(const OrdinaryPointer &) = delete;

private:
    bool m_overridden;
};

} // namespace

void QtPrompts::message(const QString &title, const QString &text, Icon icon, const QString &details)
{
    const OrdinaryPointer pointer;
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, forDisplay(text), QMessageBox::Ok, m_owner);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(forDisplay(details));
    if (auto *pane = box.findChild<QTextEdit *>())
        pane->setMinimumWidth(DetailsWidth);
    box.exec();
}

bool QtPrompts::askYesNo(const QString &title, const QString &text)
{
    const OrdinaryPointer pointer;
    QMessageBox box(QMessageBox::NoIcon, title, forDisplay(text),
                    QMessageBox::Yes | QMessageBox::No, m_owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompts::input(const QString &title, const QString &prompt, const QString &defaultText)
{
    const OrdinaryPointer pointer;
    bool ok = false;
    const QString answer = QInputDialog::getText(m_owner, title, forDisplay(prompt),
                                                 QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

QStringList QtPrompts::openFiles(const QString &title, const QString &filter)
{
    const OrdinaryPointer pointer;
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filter);
}

QString QtPrompts::browseForFolder(const QString &title, const QString &initialFolder)
{
    const OrdinaryPointer pointer;
    return QFileDialog::getExistingDirectory(m_owner, title, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

void QtPrompts::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
