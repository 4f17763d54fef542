#include "filelist/samples.h"

#include "filelist/addfolder.h"
#include "filelist/filelistview.h"
#include "platform/apperror.h"
#include "platform/main.h"

namespace {

const QChar Separator = QLatin1Char('|');
// The fixed word that keys the scrambling.
const QByteArray ScrambleKey = QByteArrayLiteral("Cadrillo");

// XOR with the repeated key; applying it twice gives the bytes back.
QByteArray keyed(QByteArray bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ ScrambleKey.at(i % ScrambleKey.size()));
    return bytes;
}

} // namespace

namespace Samples {

QString Folder(const QString &programFolder)
{
    return programFolder + QStringLiteral("/Samples/");
}

QString CaptureText(const QString &programFolder)
{
    const QString folder = Folder(programFolder);
    QStringList paths;
    for (const QString &name : AddFolder::GetFilesInFolder(folder, QStringLiteral("*.*"))) {
        if (!name.contains(Separator))
            paths << folder + name;
    }
    return paths.join(Separator);
}

QStringList CapturedPaths(const QString &captureText)
{
    return captureText.isEmpty() ? QStringList() : captureText.split(Separator);
}

QString Scramble(const QString &text)
{
    return QString::fromLatin1(keyed(text.toUtf8()).toBase64());
}

QString Unscramble(const QString &scrambled)
{
    const auto decoded = QByteArray::fromBase64Encoding(scrambled.toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        throw AppError(QStringLiteral("The stored list of sample files is damaged."));
    return QString::fromUtf8(keyed(*decoded));
}

void AppendNewPaths(FileListView &list, const QStringList &paths)
{
    for (const QString &path : paths) {
        if (Main::PathExists(path) && !Main::ListContains(list, path))
            list.append(path);
    }
}

} // namespace Samples
