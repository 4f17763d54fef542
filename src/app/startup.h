#pragma once
// The start of the window program: its command line, read before any window exists so that
// --help and --version answer without a display, and the window opened with the files named.

#include <QStringList>

#include <optional>

class Form1;

namespace Startup {

// Reads the command line into the files and folders it names. --help and --version print
// their answer on standard output and give the exit status 0; an unknown option prints the
// reason on standard error and gives 1. No status: the window is to open.
std::optional<int> ReadCommandLine(int argc, char *argv[], QStringList &namedPaths);

// Runs start-up, shows the window, then adds the named paths as a drop adds them, except that
// a folder adds only the files of the folder button's default extension, mp3. A relative name
// counts from the current folder; a name that does not exist is left out with a note on
// standard error.
void OpenWindow(Form1 &window, const QStringList &paths);

// From now on SIGTERM and SIGHUP (a session logging out, a terminal closed) end the program
// as closing the window does: a running job stops its tool and removes what it was writing
// and its private folder. For as long as the window lives.
void EndOnSessionSignals(Form1 &window);

} // namespace Startup
