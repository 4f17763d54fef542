// Form1: moving, removing and dragging the rows of the file list.

#include "app/form1.h"

#include "platform/errorreport.h"
#include "filelist/filelistview.h"

#include <QPixmap>
#include <QPushButton>

namespace {

// Across the middle of the list lies a band of this many lines: above it a drag scrolls
// the row above the hovered one into view, below it the row under it, within it nothing.
// Taken from the list and not the screen, the rule works wherever the window stands.
constexpr int NeutralBandLines = 60;

QPersistentModelIndex rowAt(const FileListView &list, int position)
{
    return position ? QPersistentModelIndex(list.model()->index(position - 1, 0)) : QPersistentModelIndex();
}

// The position of a referenced row, or 0 when the reference names no row (any more).
int positionOf(const QPersistentModelIndex &row)
{
    return row.isValid() ? row.row() + 1 : 0;
}

} // namespace

void Form1::wireReorderingHandlers()
{
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);
    connect(ListView1, &FileListView::KeyDown, this, &Form1::ListView1_KeyDown);
    connect(ListView1, &FileListView::DblClick, this, &Form1::ListView1_DblClick);
    connect(ListView1, &FileListView::MouseDown, this, &Form1::ListView1_MouseDown);
    connect(ListView1, &FileListView::ItemClick, this, &Form1::ListView1_ItemClick);
    connect(ListView1, &FileListView::MouseMove, this,
            [this](Qt::MouseButtons, const QPoint &point) { ListView1_MouseMove(point); });
    connect(ListView1, &FileListView::MouseUp, this, &Form1::ListView1_MouseUp);
}

void Form1::PushButton3_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton3_Click"));
    const int p = rowToMove(steps);
    if (p == 0)
        return;
    if (steps.test(106, [p] { return p < 2; })) {
        steps.run(118, [this] { ListView1->setFocus(); });
        return;
    }
    steps.run(108, [this, p] { ListView1->insert(p - 1, ListView1->text(p)); });
    steps.run(110, [this, p] { ListView1->remove(p + 1); });
    steps.run(112, [this, p] { ListView1->select(p - 1); });
    steps.run(114, [this, p] { ListView1->makeVisible(p - 1); });
    steps.run(116, [this] { ListView1->setFocus(); });
}

void Form1::PushButton5_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton5_Click"));
    const int p = rowToMove(steps);
    if (p == 0)
        return;
    if (steps.test(106, [this, p] { return p >= ListView1->count(); })) {
        steps.run(118, [this] { ListView1->setFocus(); });
        return;
    }
    steps.run(108, [this, p] { ListView1->insert(p + 2, ListView1->text(p)); });
    steps.run(110, [this, p] { ListView1->remove(p); });
    steps.run(112, [this, p] { ListView1->select(p + 1); });
    steps.run(114, [this, p] { ListView1->makeVisible(p + 1); });
    steps.run(116, [this] { ListView1->setFocus(); });
}

int Form1::rowToMove(GuardedSteps &steps)
{
    if (steps.test(100, [this] { return showsBusyPointer(); }))
        return 0;
    if (steps.test(102, [this] { return ListView1->count() == 0; }))
        return 0;
    return steps.value<int>(104, [this] { return ListView1->selected(); }, 0);
}

void Form1::PushButton10_Click()
{
    GuardedSteps steps(*m_prompts, QStringLiteral("Form1.PushButton10_Click"));
    steps.run(100, [this] {
        if (!showsBusyPointer())
            ListView1->clear();
    });
}

void Form1::ListView1_KeyDown(int key)
{
    if (key == Qt::Key_Delete)
        removeSelectedRow();
}

// Wherever the double-click lands, also below the last row, it removes the selected row.
void Form1::ListView1_DblClick()
{
    removeSelectedRow();
}

void Form1::removeSelectedRow()
{
    if (showsBusyPointer())
        return;
    if (const int position = ListView1->selected())
        ListView1->remove(position);
}

// Dragging works also while the window is busy: a running job reads each row only when
// it reaches it and so follows the new order.
void Form1::ListView1_MouseDown()
{
    Dragging = true;
}

void Form1::ListView1_ItemClick()
{
    showDragPointer();
    DragRow = rowAt(*ListView1, ListView1->selected());
}

void Form1::ListView1_MouseMove(const QPoint &point)
{
    // Undoes the hand that the buttons set; the list's own pointer is left alone.
    if (!showsBusyPointer())
        setPointer(Pointer::Default);
    if (!Dragging)
        return;
    HoverRow = rowAt(*ListView1, ListView1->hitTest(point));
    exchangeDragRowWithHoverRow(ListView1->viewport()->mapTo(ListView1, point).y());
    HoverRow = QPersistentModelIndex();
}

void Form1::ListView1_MouseUp()
{
    Dragging = false;
    // Back to the list's ordinary pointer, which shows the window's busy pointer during a job.
    ListView1->viewport()->unsetCursor();
}

void Form1::showDragPointer()
{
    // A missing or unreadable icon keeps the ordinary pointer; the drag works all the same.
    QPixmap icon;
    if (icon.load(m_programFolder + QStringLiteral("/drag.ico")))
        ListView1->viewport()->setCursor(QCursor(icon));
}

// The dragged text and the hovered row's text change places, so the dragged text travels
// row by row when the pointer passes every row, and skipped rows stay where they are.
void Form1::exchangeDragRowWithHoverRow(int listLine)
{
    const int from = positionOf(DragRow);
    const int to = positionOf(HoverRow);
    if (from == 0 || to == 0)
        return;
    const QString dragged = ListView1->text(from);
    const QString hovered = ListView1->text(to);
    if (dragged == hovered)
        return;
    ListView1->setText(from, hovered);
    ListView1->setText(to, dragged);
    ListView1->select(to);
    DragRow = HoverRow;
    scrollBesideHoverRow(listLine);
}

void Form1::scrollBesideHoverRow(int listLine)
{
    const int hover = positionOf(HoverRow);
    const int bandTop = ListView1->height() / 2 - NeutralBandLines / 2;
    if (listLine < bandTop && hover >= 2)
        ListView1->makeVisible(hover - 1);
    else if (listLine >= bandTop + NeutralBandLines && hover + 1 <= ListView1->count())
        ListView1->makeVisible(hover + 1);
}
