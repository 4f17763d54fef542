#pragma once
// The per-user settings store: text values under application "Tarnvolde",
// section "Lumbrisk". Every write is synced at once, so a killed process loses nothing.

#include <QSettings>
#include <QString>

#include <functional>

class SettingsStore {
public:
    // Told the file and the reason when a write cannot be saved; only the first time.
    using SaveFailed = std::function<void(const QString &file, const QString &reason)>;

    // The user's store in the XDG config folder.
    SettingsStore();
    // A store in the given INI file (tests use a temporary one).
    explicit SettingsStore(const QString &iniPath);
    virtual ~SettingsStore() = default;

    // The stored text, even when empty; the default when the key is absent. A hand-edited
    // value with an unquoted comma is the text as written.
    QString read(const QString &key, const QString &defaultValue = QString()) const;
    // Writes and saves; a value that cannot be saved stays for this run.
    virtual void write(const QString &key, const QString &value);
    void setSaveFailed(SaveFailed saveFailed) { m_saveFailed = std::move(saveFailed); }
    QString fileName() const { return m_settings.fileName(); }

private:
    QString writtenText(const QString &key) const;

    mutable QSettings m_settings;
    SaveFailed m_saveFailed;
    bool m_failureTold = false;
};
