#include "testwindow.h"

#include <QDir>

TestWindow::TestWindow()
{
    QDir(m_root.path()).mkpath(QStringLiteral("program"));
    QDir(m_root.path()).mkpath(QStringLiteral("settings"));
    QDir(m_root.path()).mkpath(QStringLiteral("scratch"));
}

Form1 &TestWindow::open(bool runFormLoad)
{
    window.reset();
    settings = std::make_unique<RecordingSettings>(settingsFile());
    Form1Setup setup;
    setup.prompts = &prompts;
    setup.settings = settings.get();
    setup.programFolder = programFolder();
    setup.endProgram = [this] { ++programEnds; };
    window = std::make_unique<Form1>(setup);
    if (runFormLoad)
        window->Form_Load();
    return *window;
}

Form1 &TestWindow::restart()
{
    return open(true);
}
