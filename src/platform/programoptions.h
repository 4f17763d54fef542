#pragma once
// The -h/--help and -v/--version options both programs answer, on standard output and
// without any display. Not Qt's own help option: its --help-all would list options of a
// window system that these command lines, read before any window exists, do not take.

#include <QCommandLineParser>

namespace ProgramOptions {

void AddHelpAndVersion(QCommandLineParser &parser);

// After a successful parse: prints the help ("Usage: <program's file name> …") or
// "<application name> <version>" when asked for; true when it answered.
bool AnswerHelpOrVersion(const QCommandLineParser &parser);

} // namespace ProgramOptions
