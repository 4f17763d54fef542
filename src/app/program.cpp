// Lumbrisk: makes short MP3 previews of many files in one run.

#include "app/form1.h"
#include "app/qtprompts.h"
#include "app/settingsstore.h"
#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

bool displayAvailable()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// The folder of the files "beside the program" (HAND-M.CUR, drag.ico, x/o.cjs, Samples/).
// Installed as <prefix>/bin/lumbrisk, they lie in <prefix>/share/lumbrisk; in the build
// tree, next to the executable. The installed layout is recognised by its folder, not by
// one of the files, since every one of them is optional.
QString programFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(executableFolder + QStringLiteral("/../share/lumbrisk"));
    return QFileInfo(installed).isDir() ? installed : executableFolder;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(Form1::ProductName);
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMBRISK_VERSION));
    QStringList namedPaths;
    if (const std::optional<int> answered = Startup::ReadCommandLine(argc, argv, namedPaths))
        return *answered;
    if (!displayAvailable()) {
        std::fputs("lumbrisk: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session.\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setDesktopFileName(QStringLiteral("org.lumbrisk.Lumbrisk"));

    QtPrompts prompts;
    SettingsStore settings;
    Form1Setup setup;
    setup.prompts = &prompts;
    setup.settings = &settings;
    setup.programFolder = programFolder();
    Form1 window(setup);
    prompts.setOwner(&window);
    Startup::EndOnSessionSignals(window);
    Startup::OpenWindow(window, namedPaths);
    return application.exec();
}
