#include "app/settingsstore.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Section = QStringLiteral("Lumbrisk");

// Why the file cannot be written, in the system's words: the folders above it cannot be
// made, the file itself cannot be opened for writing, or its folder takes no new file
// (read-only, or the disk is full).
QString reasonNotSaved(const QString &file)
{
    const QByteArray path = QFile::encodeName(file);
    const QByteArray folder = path.left(path.lastIndexOf('/'));
    for (qsizetype end = folder.indexOf('/', 1);; end = folder.indexOf('/', end + 1)) {
        const QByteArray above = end < 0 ? folder : folder.left(end);
        if (mkdir(above.constData(), 0700) != 0 && errno != EEXIST)
            return qt_error_string(errno);
        if (end < 0)
            break;
    }
    const int opened = open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (opened < 0)
        return qt_error_string(errno);
    close(opened);
    QByteArray probe = folder + "/.Lumbrisk-XXXXXX";
    const int written = mkstemp(probe.data());
    if (written < 0)
        return qt_error_string(errno);
    const QByteArray block(4096, '\n');
    const bool saved = ::write(written, block.constData(), block.size()) == block.size() && fsync(written) == 0;
    const int failure = errno;
    close(written);
    unlink(probe.constData());
    return saved ? QStringLiteral("the file could not be written") : qt_error_string(failure);
}

} // namespace

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
    const QVariant value = m_settings.value(Section + QLatin1Char('/') + key, defaultValue);
    // The INI reader splits an unquoted comma into a list, which is never what was meant.
    return value.typeId() == QMetaType::QStringList ? writtenText(key) : value.toString();
}

void SettingsStore::write(const QString &key, const QString &value)
{
    m_settings.setValue(Section + QLatin1Char('/') + key, value);
    m_settings.sync();
    if (m_settings.status() != QSettings::AccessError || m_failureTold || !m_saveFailed)
        return;
    m_failureTold = true;
    m_saveFailed(fileName(), reasonNotSaved(fileName()));
}

// The text after "key=" in the store's section, as the file holds it.
QString SettingsStore::writtenText(const QString &key) const
{
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + Section + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inSection && equals > 0 && QStringView(line).left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return QString();
}
