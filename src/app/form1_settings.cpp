// Form1: the settings that persist, the number checks and the output-folder choice.

#include "app/form1.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "app/settingsrules.h"
#include "app/settingsstore.h"
#include "filelist/addfolder.h"
#include "platform/apperror.h"
#include "platform/main.h"
#include "preview/songstart.h"

#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>

using SettingsRules::OptionText;
using SettingsRules::ReadOption;

void Form1::wireSettingsHandlers()
{
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) { m_settings->write(QStringLiteral("Text1"), text); });
    connect(Text2, &QLineEdit::textChanged, this, [this](const QString &text) { m_settings->write(QStringLiteral("Text2"), text); });
    connect(Text3, &QLineEdit::textChanged, this, [this](const QString &text) { m_settings->write(QStringLiteral("Text3"), text); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { m_settings->write(QStringLiteral("kbps"), Combo1->currentText()); });
    connect(Option1, &QRadioButton::clicked, this, &Form1::savePlaceOption);
    connect(Option2, &QRadioButton::clicked, this, &Form1::savePlaceOption);
    connect(Option3, &QRadioButton::clicked, this, &Form1::saveJoinOption);
    connect(Option4, &QRadioButton::clicked, this, &Form1::saveJoinOption);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton12, &QPushButton::clicked, this, &Form1::PushButton12_Click);
    Text2->installEventFilter(this);
    Text3->installEventFilter(this);
}

void Form1::savePlaceOption()
{
    m_settings->write(QStringLiteral("Option1"), OptionText(Option1->isChecked()));
    m_settings->write(QStringLiteral("Option2"), OptionText(Option2->isChecked()));
    enableFrame1FromOption1();
}

void Form1::saveJoinOption()
{
    m_settings->write(QStringLiteral("Option3"), OptionText(Option3->isChecked()));
    m_settings->write(QStringLiteral("Option4"), OptionText(Option4->isChecked()));
}

void Form1::checkNumberField(QLineEdit *field, const QFocusEvent *event)
{
    // Only a move to another control of the window checks, not a dialog or another window,
    // nor the move of a check that returns the focus to its field: when both fields are
    // rejected, they would otherwise hand the focus to each other without end.
    if (m_returningFocus || event->reason() == Qt::ActiveWindowFocusReason
        || event->reason() == Qt::PopupFocusReason)
        return;
    const QString problem = field == Text2 ? SettingsRules::StartFieldProblem(field->text())
                                           : SettingsRules::NumberFieldProblem(field->text());
    if (problem.isEmpty())
        return;
    m_prompts->message(m_applicationTitle, problem);
    const QScopedValueRollback<bool> returning(m_returningFocus, true);
    field->setFocus(Qt::OtherFocusReason);
}

void Form1::PushButton6_Click()
{
    m_prompts->message(m_applicationTitle, QStringLiteral("If you want to start recording at 1:05 in all MP3 files, you should enter 65 here (for example).\r\r")
                                               + SongStart::FormsAccepted());
}

void Form1::PushButton7_Click()
{
    m_prompts->message(m_applicationTitle, QStringLiteral("If you enter 20 here and 30 in the previous text box you will record from 0:20 to 0:50 for all MP3 files (for example)."));
}

void Form1::PushButton12_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton12_Click"));
    QString startFolder;
    steps.run(100, [&] { startFolder = outputBrowserStart(); });
    QString chosen;
    steps.run(102, [&] { chosen = AddFolder::BrowseForFolder(*m_prompts, QStringLiteral("Please select folder:"), startFolder); });
    if (chosen.isEmpty())
        return;
    steps.run(106, [&] { m_settings->write(QStringLiteral("LastFolderDot"), chosen); });
    steps.run(108, [&] { Text1->setText(chosen.endsWith(QLatin1Char('/')) ? chosen : chosen + QLatin1Char('/')); });
}

QString Form1::outputBrowserStart() const
{
    // The folder of the last scan; before any scan, the output folder when it exists (the
    // browser would otherwise open wherever the program was started), else the home folder.
    const QString lastFolder = m_settings->read(QStringLiteral("LastFolder"));
    if (!lastFolder.isEmpty())
        return lastFolder;
    return Main::FolderExists(Text1->text()) ? Text1->text() : QDir::homePath();
}

void Form1::restoreText(QLineEdit *field, const QString &key, const QString &defaultText)
{
    field->setText(m_settings->read(key, defaultText));
}

void Form1::addBitrateItems(GuardedSteps &steps)
{
    // Adding the first item would select it and overwrite the stored choice.
    const QSignalBlocker blocker(Combo1);
    const QStringList &items = SettingsRules::BitrateItems();
    for (int index = 0; index < items.size(); ++index)
        steps.run(138 + 2 * index, [&] { Combo1->addItem(items.at(index)); });
    Combo1->setCurrentIndex(-1);
}

void Form1::restoreCombo1()
{
    const QString stored = m_settings->read(QStringLiteral("kbps"), QStringLiteral("128 kbps"));
    const int index = Combo1->findText(stored, Qt::MatchExactly);
    if (index < 0)
        throw AppError(QStringLiteral("Invalid property value: \"%1\" is not a bit rate of the list.").arg(stored));
    Combo1->setCurrentIndex(index);
}

void Form1::restoreOption(QRadioButton *option, const QString &key, const QString &defaultText)
{
    if (ReadOption(m_settings->read(key, defaultText))) {
        option->setChecked(true);
        return;
    }
    // A selected option of a group cannot be cleared on its own; both stored False show
    // neither selected.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

void Form1::enableFrame1FromOption1()
{
    Frame1->setEnabled(Option1->isChecked());
}
