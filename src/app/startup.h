#pragma once
// The start of the window program: its command line, read before any window exists so that
// --help and --version answer without a display, and the window opened with the files named.

#include <QStringList>

class Form1;

namespace Startup {

// The files and folders named on the command line. --help and --version print their answer
// on standard output and end the program with status 0; an unknown option prints the reason
// on standard error and ends it with status 1.
QStringList NamedPaths(int argc, char *argv[]);

// Runs start-up, shows the window, then adds the named paths as a drop adds them, except that
// a folder adds only the files of the folder button's default extension, mp3. A relative name
// counts from the current folder; a name that does not exist is left out with a note on
// standard error.
void OpenWindow(Form1 &window, const QStringList &paths);

} // namespace Startup
