#include "app/startup.h"

#include "app/form1.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace Startup {

QStringList NamedPaths(int argc, char *argv[])
{
    // A core application needs no display; it only lends the parser the program's name.
    const QCoreApplication commandLine(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes short previews of many MP3 files in one run."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("MP3 files to put in the list; a folder adds the "
                                                "MP3 files in it and in its subfolders."),
                                 QStringLiteral("[file or folder...]"));
    parser.process(commandLine);
    return parser.positionalArguments();
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

} // namespace Startup
