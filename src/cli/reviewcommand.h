#pragma once
// The one command a review page shows to remake exactly the previews whose starts were fixed
// on it: the run's own command line, with the saved list of starts and --update added, in
// the run's folder, as a POSIX shell reads it.

#include <QSet>
#include <QString>
#include <QStringList>

namespace ReviewCommand {

// arguments: the run's, its program first; valueOptions: the options that take a value
// ("-o", "--output", ...), whose next word is that value and never an option. Drops
// --dry-run and any --starts, and puts "--starts csv" and, when missing, --update after the
// program (not with --join, which makes its joined file whole each time); every other word stays as given, the FILE/FOLDER arguments among them. Each word
// shell-quoted, after "cd FOLDER &&" so that relative names mean what they meant.
QString Remake(const QStringList &arguments, const QSet<QString> &valueOptions, const QString &csv,
               const QString &workingFolder);

} // namespace ReviewCommand
