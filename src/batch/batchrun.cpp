#include "batch/batchrun.h"

#include "platform/main.h"

QString BatchRun::bitrate(const QString &own) const
{
    if (settings.kbps > 0)
        return QString::number(settings.kbps);
    return settings.join ? joinBitrate : own;
}

QString BatchRun::prepareFolder(PreviewResult &result) const
{
    return names.prepareFolder(Main::FolderOf(result.preview), dryRun, result.newFolder);
}
