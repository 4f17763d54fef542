// Form1: adding files by the open dialog, by a folder scan and by drops on the list.

#include "app/form1.h"

#include "platform/errorreport.h"
#include "platform/prompts.h"
#include "app/settingsstore.h"
#include "filelist/addfolder.h"
#include "filelist/filelistview.h"
#include "platform/filenames.h"
#include "platform/main.h"
#include "preview/previewmark.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {

// The open dialog's answer must fit the 30000 characters the dialog has always allowed.
constexpr int MaxSelectionLength = 30000;

const QString TooManyFilesText = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
const QString ExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r"
    "(* for all files, txt for all txt files, doc for all doc files, etc.)");
const QString NothingFoundText = QStringLiteral("No files with the extension %1 were found in %2");
const QString OneLeftOutText = QStringLiteral(
    "1 name was left out of the scan because it is not valid UTF-8 (such a name cannot be passed on unchanged):");
const QString LeftOutText = QStringLiteral(
    "%1 names were left out of the scan because they are not valid UTF-8 (such names cannot be passed on unchanged):");
const QString OnePreviewLeftOutText =
    QStringLiteral("1 preview that Lumbrisk made was left out of the scan: it is no song to make a preview of.");
const QString PreviewsLeftOutText =
    QStringLiteral("%1 previews that Lumbrisk made were left out of the scan: they are no songs to make previews of.");
// How many of the names left out the message itself shows; its details hold them all.
constexpr qsizetype LeftOutShown = 5;

// While it lives, input aimed at the window is dropped: a click or key given during a scan
// starts nothing, neither then nor afterwards. Other windows (an error report) still work,
// and closing the window still ends the program.
class WindowInputIgnored : public QObject {
public:
    explicit WindowInputIgnored(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~WindowInputIgnored() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *widget = qobject_cast<QWidget *>(watched);
        return widget && widget->window() == m_window && isInput(event->type());
    }

private:
    static bool isInput(QEvent::Type type)
    {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

    QWidget *m_window;
};

// The folder part of a dialog answer: no trailing "/", except for the root itself.
QString folderPart(const QString &path)
{
    const QString folder = Main::FolderOf(path);
    return folder.size() > 1 ? folder.chopped(1) : folder;
}

// The dialog's answer as one text: the full path of a single file; else the folder and each
// name, every part followed by one separator.
qsizetype selectionLength(const QStringList &paths)
{
    if (paths.size() == 1)
        return paths.first().size() + 1;
    qsizetype length = folderPart(paths.first()).size() + 1;
    for (const QString &path : paths)
        length += Main::FileNameOf(path).size() + 1;
    return length;
}

// The local paths a drag carries, in the delivered order; other addresses are not files.
QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

QStringList escaped(const QList<QByteArray> &paths)
{
    QStringList texts;
    for (const QByteArray &path : paths)
        texts.append(FileNames::Escaped(path));
    return texts;
}

// Pipes, sockets and devices: a tool reading one may wait forever, so they are never added.
// Missing files are (a later run says they are missing).
bool isSpecialFile(const QString &path)
{
    const QFileInfo file(path);
    return file.exists() && !file.isDir() && !Main::IsRegularFile(path);
}

} // namespace

void Form1::wireAddingHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(ListView1, &FileListView::OLEDragOver, this, &Form1::ListView1_OLEDragOver);
    connect(ListView1, &FileListView::OLEDragDrop, this, &Form1::ListView1_OLEDragDrop);
}

void Form1::PushButton1_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton1_Click"));
    QStringList chosen;
    steps.run(100, [&] {
        chosen = m_prompts->openFiles(QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                                      QStringLiteral("MP3 Files (*.mp3)"));
    });
    chosen.removeIf(isSpecialFile);
    if (chosen.isEmpty())
        return;
    if (selectionLength(chosen) > MaxSelectionLength) {
        steps.run(102, [&] { m_prompts->message(m_applicationTitle, TooManyFilesText); });
        return;
    }
    if (chosen.size() == 1) {
        steps.run(104, [&] { ListView1->append(chosen.first()); });
        return;
    }
    for (const QString &path : std::as_const(chosen)) {
        steps.run(106, [&] {
            const QString joined = folderPart(path) + QLatin1Char('/') + Main::FileNameOf(path);
            ListView1->append(Main::CollapseBackslashes(joined));
        });
    }
}

void Form1::PushButton4_Click()
{
    // A second scan started from the first one's event pumping would end the busy pointer
    // while the first still runs (or while a preview job runs), so it is refused.
    if (showsBusyPointer())
        return;
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton4_Click"));
    QString extension;
    // One extension, or a comma list of them ("mp3,flac,m4a"); empty items are dropped.
    steps.run(100, [&] {
        QStringList extensions = AddFolder::ExtensionsOf(m_prompts->input(
            m_applicationTitle, ExtensionPrompt, m_settings->read(QStringLiteral("Extension"), QStringLiteral("mp3"))));
        extensions.removeAll(QString());
        extension = extensions.join(QLatin1Char(','));
    });
    if (!extension.isEmpty())
        steps.run(102, [&] { m_settings->write(QStringLiteral("Extension"), extension); });
    if (extension.isEmpty())
        return;
    QString folder;
    steps.run(104, [&] {
        folder = AddFolder::BrowseForFolder(*m_prompts, QStringLiteral("Please select folder:"),
                                            m_settings->read(QStringLiteral("LastFolder")));
    });
    if (folder.isEmpty())
        return;
    steps.run(106, [&] { m_settings->write(QStringLiteral("LastFolder"), folder); });
    steps.run(108, [&] { setPointer(Pointer::Busy); });
    int added = 0;
    ScanLeftOut leftOut;
    steps.run(110, [&] { added = addFolderScan(folder, AddFolder::PatternOfAny(extension.split(QLatin1Char(','))), leftOut); });
    steps.run(112, [&] { setPointer(Pointer::Default); });
    steps.run(113, [&] { tellLeftOut(leftOut); });
    if (added == 0)
        steps.run(114, [&] { m_prompts->message(m_applicationTitle, NothingFoundText.arg(extension, folder)); });
}

int Form1::addFolderScan(const QString &folder, const QString &pattern, ScanLeftOut &leftOut)
{
    const WindowInputIgnored ignored(this);
    int added = 0;
    // Rows go in as each folder is read, so the list grows while the scan runs.
    const auto rowsFound = [&](const QStringList &rows) {
        const QStringList songs = PreviewMark::WithoutPreviews(rows, leftOut.previews);
        ListView1->append(songs);
        added += int(songs.size());
    };
    AddFolder::ScanFolder(*m_prompts, folder, pattern, rowsFound, &leftOut.badNames);
    return added;
}

void Form1::tellLeftOut(const ScanLeftOut &leftOut)
{
    if (!leftOut.badNames.isEmpty())
        tellBadNamesLeftOut(leftOut.badNames);
    if (leftOut.previews > 0)
        m_prompts->message(m_applicationTitle, leftOut.previews == 1 ? OnePreviewLeftOutText
                                                                      : PreviewsLeftOutText.arg(leftOut.previews));
}

void Form1::tellBadNamesLeftOut(const QList<QByteArray> &leftOut)
{
    const QStringList all = escaped(leftOut);
    QStringList shown = all.first(qMin(all.size(), LeftOutShown));
    if (all.size() > LeftOutShown)
        shown.append(QStringLiteral("... and %1 more (see the details)").arg(all.size() - LeftOutShown));
    const QString why = all.size() == 1 ? OneLeftOutText : LeftOutText.arg(all.size());
    m_prompts->message(m_applicationTitle, why + QStringLiteral("\r\r") + shown.join(QLatin1Char('\r')),
                       Prompts::Icon::Exclamation, all.size() > LeftOutShown ? all.join(QLatin1Char('\n')) : QString());
}

void Form1::ListView1_OLEDragOver(QDragMoveEvent *event)
{
    if (!droppedPaths(event->mimeData()).isEmpty())
        return;
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
}

void Form1::ListView1_OLEDragDrop(QDropEvent *event)
{
    // Copied first: the drag's data may go away while the scan lets events run.
    addPaths(droppedPaths(event->mimeData()), QStringLiteral("*.*"));
}

void Form1::addPaths(const QStringList &paths, const QString &folderPattern)
{
    ScanLeftOut leftOut;
    for (const QString &path : paths) {
        if (isSpecialFile(path))
            continue;
        if (!(AddFolder::AttributeWord(path) & AddFolder::Directory)) {
            ListView1->append(path);
            continue;
        }
        addFolderScan(path, folderPattern, leftOut);
    }
    tellLeftOut(leftOut);
}
