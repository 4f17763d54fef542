#pragma once
// A real Form1 for tests: its own settings file and program folder in a temporary
// folder, scripted prompts, and a close that only records that the program would end.

#include "app/form1.h"
#include "app/settingsstore.h"
#include "scriptedprompts.h"

#include <QTemporaryDir>

#include <memory>

// A settings store that also keeps the order of its writes.
class RecordingSettings : public SettingsStore {
public:
    using SettingsStore::SettingsStore;
    void write(const QString &key, const QString &value) override
    {
        writes << key + QLatin1Char('=') + value;
        SettingsStore::write(key, value);
    }
    QStringList writes;
};

class TestWindow {
public:
    TestWindow();

    // Creates the window; Form_Load runs unless told not to.
    Form1 &open(bool runFormLoad = true);
    // Closes the window and opens a new one on the same settings and program folder.
    Form1 &restart();

    QString programFolder() const { return m_root.path() + QStringLiteral("/program"); }
    QString settingsFile() const { return m_root.path() + QStringLiteral("/settings/Lumbrisk.ini"); }
    // A scratch folder for the test's own files.
    QString scratch() const { return m_root.path() + QStringLiteral("/scratch"); }

    ScriptedPrompts prompts;
    std::unique_ptr<RecordingSettings> settings;
    std::unique_ptr<Form1> window;
    int programEnds = 0;

private:
    QTemporaryDir m_root;
};
