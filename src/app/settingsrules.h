#pragma once
// The rules by which settings texts become control states, kept apart from the window
// so they can be tested on their own.

#include <QString>
#include <QStringList>

namespace SettingsRules {

// The nineteen items of the bit-rate box, "Same bit rate as input file" first.
const QStringList &BitrateItems();
// "True", "False" or a number (non-zero = selected); throws AppError for anything else.
bool ReadOption(const QString &stored);
QString OptionText(bool selected);
// The user's desktop folder, or the home folder when there is none, with a trailing "/".
QString GetDesktopFolder();
// The check on leaving a number field: "" when the text is acceptable, else the message.
QString NumberFieldProblem(const QString &text);
// The same check of the start field, which also takes the other forms of a start (1:05,
// 25%, auto); what is none of them is told which forms there are.
QString StartFieldProblem(const QString &text);

} // namespace SettingsRules
