#include "filelist/filelistview.h"

#include <QHeaderView>
#include <QKeyEvent>

FileListView::FileListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
    // Rows move only by the window's own exchange rule, never by a system drag.
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setMouseTracking(true);
}

QTreeWidgetItem *FileListView::itemAt(int position) const
{
    return position >= 1 && position <= count() ? topLevelItem(position - 1) : nullptr;
}

void FileListView::append(const QString &text)
{
    addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
}

void FileListView::append(const QStringList &texts)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(texts.size());
    for (const QString &text : texts)
        items.append(new QTreeWidgetItem(QStringList{text}));
    addTopLevelItems(items);
}

void FileListView::insert(int position, const QString &text)
{
    insertTopLevelItem(qBound(0, position - 1, count()), new QTreeWidgetItem(QStringList{text}));
}

void FileListView::remove(int position)
{
    delete itemAt(position);
}

int FileListView::count() const
{
    return topLevelItemCount();
}

QString FileListView::text(int position) const
{
    const QTreeWidgetItem *item = itemAt(position);
    return item ? item->text(0) : QString();
}

int FileListView::selected() const
{
    const QList<QTreeWidgetItem *> items = selectedItems();
    return items.isEmpty() ? 0 : indexOfTopLevelItem(items.first()) + 1;
}

void FileListView::select(int position)
{
    if (QTreeWidgetItem *item = itemAt(position))
        setCurrentItem(item);
}

void FileListView::setText(int position, const QString &text)
{
    if (QTreeWidgetItem *item = itemAt(position))
        item->setText(0, text);
}

void FileListView::makeVisible(int position)
{
    if (QTreeWidgetItem *item = itemAt(position))
        scrollToItem(item);
}

int FileListView::hitTest(const QPoint &point) const
{
    QTreeWidgetItem *item = QTreeWidget::itemAt(point);
    return item ? indexOfTopLevelItem(item) + 1 : 0;
}

QStringList FileListView::texts() const
{
    QStringList result;
    for (int position = 1; position <= count(); ++position)
        result << text(position);
    return result;
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    emit KeyDown(event->key(), event->modifiers());
    // Arrow keys and the like keep their usual meaning; Delete is the window's.
    if (event->key() != Qt::Key_Delete)
        QTreeWidget::keyPressEvent(event);
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    emit MouseDown(event->button(), event->position().toPoint());
    QTreeWidget::mousePressEvent(event);
    // A row reports its click at the press, once the view has selected it, so that the
    // movements of a drag that follows already know their row (Qt's own click comes at
    // the release, too late for that).
    if (const int position = hitTest(event->position().toPoint()))
        emit ItemClick(position);
}

void FileListView::mouseMoveEvent(QMouseEvent *event)
{
    // The base class would extend the selection while a button is held; the window's
    // drag rule decides what a movement does instead.
    emit MouseMove(event->buttons(), event->position().toPoint());
}

void FileListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    emit MouseUp(event->button(), event->position().toPoint());
}

void FileListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    emit DblClick();
}

QItemSelectionModel::SelectionFlags FileListView::selectionCommand(const QModelIndex &index,
                                                                 const QEvent *event) const
{
    // A click off the rows keeps the selected row, so that a double-click there removes it.
    const bool mouseOffTheRows = !index.isValid() && event
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease);
    return mouseOffTheRows ? QItemSelectionModel::NoUpdate : QTreeWidget::selectionCommand(index, event);
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    // Entering is the first drag-over.
    dragMoveEvent(event);
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptAsCopy(event))
        emit OLEDragOver(event);
}

void FileListView::dropEvent(QDropEvent *event)
{
    if (acceptAsCopy(event))
        emit OLEDragDrop(event);
}

bool FileListView::acceptAsCopy(QDropEvent *event)
{
    // The list only reads the paths, so a drop is always a copy: a source told "move" may
    // remove its originals (a playlist its entries). A source that offers no copy is refused.
    if (!(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

bool Main::ListContains(const FileListView &list, const QString &text)
{
    bool found = false;
    for (int position = 1; position <= list.count(); ++position)
        found = found || list.text(position) == text;
    return found;
}
