#include "app/skinframework.h"

#include "platform/apperror.h"

#include <QFile>
#include <QWidget>

void SkinFramework::LoadSkin(const QString &path, const QString &iniFileName)
{
    Q_UNUSED(iniFileName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw AppError(QStringLiteral("Cannot read the skin file %1: %2").arg(path, file.errorString()));
    m_styleSheet = QString::fromUtf8(file.readAll());
}

void SkinFramework::ApplyWindow(QWidget *window)
{
    // Bit 1 switches the skin on; either boolean option lets its sheet reach the window.
    if ((m_options & 1) && (m_applyColors || m_applyMetrics))
        window->setStyleSheet(m_styleSheet);
}
