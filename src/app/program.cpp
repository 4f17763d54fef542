// Lumbrisk: makes short MP3 previews of many files in one run.

#include "app/form1.h"
#include "app/qtprompts.h"
#include "app/settingsstore.h"
#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QPair>

#include <cstdio>
#include <cstdlib>

namespace {

bool displayAvailable()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// "DISPLAY=':99'" or "DISPLAY unset".
QByteArray described(const char *variable)
{
    return qEnvironmentVariableIsSet(variable) ? variable + QByteArray("='") + qgetenv(variable) + '\''
                                               : variable + QByteArray(" unset");
}

// Qt's messages while it opens the display, held back until it has.
QList<QPair<QtMsgType, QString>> &heldMessages()
{
    static QList<QPair<QtMsgType, QString>> held;
    return held;
}

// Where no platform plugin can open the display (a DISPLAY with no X server behind it, a
// Wayland socket that is gone), Qt ends the program with abort() after a screenful of
// advice: one line of ours, and status 1, instead.
void holdWhileOpening(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        heldMessages().append({type, message});
        return;
    }
    const QByteArray line = "lumbrisk: the display cannot be opened (" + described("DISPLAY") + ", "
                            + described("WAYLAND_DISPLAY") + "); start it from a desktop session.\n";
    std::fputs(line.constData(), stderr);
    std::_Exit(1);
}

// The messages held back, handed to the handler that was there before.
void passHeldMessages(QtMessageHandler handler)
{
    for (const auto &[type, message] : std::as_const(heldMessages()))
        handler(type, QMessageLogContext(), message);
    heldMessages().clear();
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
    const QtMessageHandler formerHandler = qInstallMessageHandler(holdWhileOpening);
    QApplication application(argc, argv);
    qInstallMessageHandler(formerHandler);
    passHeldMessages(formerHandler);
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
