#include "app/startup.h"

#include "app/form1.h"
#include "platform/interruption.h"
#include "platform/programoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace Startup {

std::optional<int> ReadCommandLine(int argc, char *argv[], QStringList &namedPaths)
{
    // A core application needs no display; it only lends the parser the program's name.
    const QCoreApplication commandLine(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes short previews of many MP3 files in one run."));
    ProgramOptions::AddHelpAndVersion(parser);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("MP3 files to put in the list; a folder adds the "
                                                "MP3 files in it and in its subfolders."),
                                 QStringLiteral("[file or folder...]"));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "lumbrisk: %s\n", qUtf8Printable(parser.errorText()));
        return 1;
    }
    if (ProgramOptions::AnswerHelpOrVersion(parser))
        return 0;
    namedPaths = parser.positionalArguments();
    return std::nullopt;
}

void OpenWindow(Form1 &window, const QStringList &paths)
{
    window.Form_Load();
    window.showCentred();
    QStringList existing;
    for (const QString &path : paths) {
        const QFileInfo named(path);
        if (named.exists())
            existing.append(named.absoluteFilePath());
        else
            std::fprintf(stderr, "lumbrisk: %s: no such file or folder\n", qUtf8Printable(path));
    }
    window.addPaths(existing, QStringLiteral("*.mp3"));
}

void EndOnSessionSignals(Form1 &window)
{
    auto *stops = new Interruption({SIGTERM, SIGHUP}, &window);
    QObject::connect(stops, &Interruption::received, &window, &Form1::Form_Unload);
}

} // namespace Startup
