#include "app/settingsstore.h"

namespace {
const QString Section = QStringLiteral("Lumbrisk");
}

SettingsStore::SettingsStore()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarnvolde"),
                 QStringLiteral("Lumbrisk"))
{
}

SettingsStore::SettingsStore(const QString &iniPath)
    : m_settings(iniPath, QSettings::IniFormat)
{
}

QString SettingsStore::read(const QString &key, const QString &defaultValue) const
{
    return m_settings.value(Section + QLatin1Char('/') + key, defaultValue).toString();
}

void SettingsStore::write(const QString &key, const QString &value)
{
    m_settings.setValue(Section + QLatin1Char('/') + key, value);
    m_settings.sync();
}
