#pragma once
// The per-user settings store: text values under application "Tarnvolde",
// section "Lumbrisk". Every write is synced at once, so a killed process loses nothing.

#include <QSettings>
#include <QString>

class SettingsStore {
public:
    // The user's store in the XDG config folder.
    SettingsStore();
    // A store in the given INI file (tests use a temporary one).
    explicit SettingsStore(const QString &iniPath);
    virtual ~SettingsStore() = default;

    // The stored text, even when empty; the default when the key is absent.
    QString read(const QString &key, const QString &defaultValue = QString()) const;
    virtual void write(const QString &key, const QString &value);
    QString fileName() const { return m_settings.fileName(); }

private:
    mutable QSettings m_settings;
};
