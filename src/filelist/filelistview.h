#pragma once
// ListView1: the ordered list of source files, one column of full paths.
// Positions count from 1; 0 means "no row". Rows are never sorted; duplicates stay.

#include <QTreeWidget>

class FileListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileListView(QWidget *parent = nullptr);

    void append(const QString &text);
    // Appends several rows at once, in order (far faster than one by one for many).
    void append(const QStringList &texts);
    void insert(int position, const QString &text);
    void remove(int position);
    int count() const;
    QString text(int position) const;
    int selected() const;
    void select(int position);
    void setText(int position, const QString &text);
    void makeVisible(int position);
    // The row under a point in viewport coordinates, or 0.
    int hitTest(const QPoint &point) const;
    // Every row's text in order.
    QStringList texts() const;

signals:
    // Raw events the window's handlers act on, named after the control's events.
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void MouseDown(Qt::MouseButton button, const QPoint &point);
    void MouseMove(Qt::MouseButtons buttons, const QPoint &point);
    void MouseUp(Qt::MouseButton button, const QPoint &point);
    // A row was pressed with any button; raised after MouseDown, once the row is selected.
    void ItemClick(int position);
    void DblClick();
    void OLEDragOver(QDragMoveEvent *event);
    void OLEDragDrop(QDropEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

private:
    QTreeWidgetItem *itemAt(int position) const;
    // Takes the drag as a copy; false (and refused) when the source offers no copy.
    static bool acceptAsCopy(QDropEvent *event);
};

// Kept beside the list rather than with the other Main routines, which carry no widget.
namespace Main {
// True when any row's text equals the text exactly (case-sensitive).
bool ListContains(const FileListView &list, const QString &text);
} // namespace Main
