#include "cli/reviewcommand.h"

#include "cli/consolereport.h"

namespace ReviewCommand {

namespace {

const QString Starts = QStringLiteral("--starts");
const QString Update = QStringLiteral("--update");
const QString DryRun = QStringLiteral("--dry-run");
const QString EndOfOptions = QStringLiteral("--");
const QString Join = QStringLiteral("--join");

// The words after the program without --dry-run and --starts; update tells whether
// --update was among them, or --join, which makes its file whole each time.
QStringList keptWords(const QStringList &arguments, const QSet<QString> &valueOptions, bool &update)
{
    QStringList kept;
    bool options = true;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString &word = arguments.at(index);
        if (!options || !word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
            kept.append(word);
        } else if (word == EndOfOptions) {
            options = false;
            kept.append(word);
        } else if (word == Starts) {
            ++index; // and its value
        } else if (word.startsWith(Starts + QLatin1Char('=')) || word == DryRun) {
            continue;
        } else {
            update = update || word == Update || word == Join;
            kept.append(word);
            if (valueOptions.contains(word) && index + 1 < arguments.size())
                kept.append(arguments.at(++index));
        }
    }
    return kept;
}

} // namespace

QString Remake(const QStringList &arguments, const QSet<QString> &valueOptions, const QString &csv,
               const QString &workingFolder)
{
    bool update = false;
    const QStringList kept = keptWords(arguments, valueOptions, update);
    QStringList words{arguments.value(0), Starts, csv};
    if (!update)
        words.append(Update);
    words += kept;
    for (QString &word : words)
        word = ConsoleReport::ShellQuoted(word);
    return QStringLiteral("cd %1 && %2").arg(ConsoleReport::ShellQuoted(workingFolder), words.join(QLatin1Char(' ')));
}

} // namespace ReviewCommand
