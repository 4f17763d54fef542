#include "app/settingsrules.h"

#include "platform/apperror.h"
#include "platform/main.h"
#include "platform/numbers.h"
#include "preview/outputformat.h"
#include "preview/songstart.h"

#include <QDir>
#include <QStandardPaths>

namespace SettingsRules {

const QStringList &BitrateItems()
{
    static const QStringList items = [] {
        QStringList texts{QStringLiteral("Same bit rate as input file")};
        for (const int kbps : OutputFormat::Mp3().bitrates())
            texts.append(QStringLiteral("%1 kbps").arg(kbps));
        return texts;
    }();
    return items;
}

bool ReadOption(const QString &stored)
{
    if (stored.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (stored.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const std::optional<double> number = Numbers::Read(stored))
        return *number != 0;
    throw AppError(QStringLiteral("Type mismatch: the stored option \"%1\" is neither True, False nor a number.").arg(stored));
}

QString OptionText(bool selected)
{
    return selected ? QStringLiteral("True") : QStringLiteral("False");
}

QString GetDesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString folder = Main::FolderExists(desktop) ? desktop : QDir::homePath();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString NumberFieldProblem(const QString &text)
{
    const std::optional<double> number = Numbers::Read(text);
    if (!number)
        return QStringLiteral("Must be numeric.");
    // Numbers beyond the 16-bit range pass here; the preview job reports them when it starts.
    const double rounded = Numbers::RoundHalfEven(*number);
    if (rounded < 1)
        return QStringLiteral("Must be greater than zero.");
    return QString();
}

QString StartFieldProblem(const QString &text)
{
    const std::optional<StartList::SourceCut> start = SongStart::ReadField(text);
    if (!start)
        return QStringLiteral("Must be numeric.\n") + SongStart::FormsAccepted();
    return SongStart::BeforeFirstSecond(*start) ? QStringLiteral("Must be greater than zero.") : QString();
}

} // namespace SettingsRules
