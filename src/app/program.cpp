// Lumbrisk: makes short MP3 previews of many files in one run.

#include "app/form1.h"
#include "app/prompts.h"
#include "app/settingsstore.h"

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

// Files that lie beside the program: in the build tree next to the executable, in an
// installed layout under <prefix>/share/lumbrisk.
QString programFolder()
{
    const QString beside = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(beside + QStringLiteral("/../share/lumbrisk"));
    if (!QFileInfo::exists(beside + QStringLiteral("/HAND-M.CUR")) && QFileInfo(installed).isDir())
        return installed;
    return beside;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("lumbrisk: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session.\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setApplicationName(QStringLiteral("Lumbrisk"));
    QApplication::setDesktopFileName(QStringLiteral("lumbrisk"));

    QtPrompts prompts;
    SettingsStore settings;
    Form1Setup setup;
    setup.prompts = &prompts;
    setup.settings = &settings;
    setup.programFolder = programFolder();
    Form1 window(setup);
    prompts.setOwner(&window);
    window.Form_Load();
    window.showCentred();
    return application.exec();
}
