// Moving, removing and dragging rows of the file list, through the real window's controls.

#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "testwindow.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class TestReordering : public QObject {
    Q_OBJECT
private slots:
    void init();
    void moveButtons_data();
    void moveButtons();
    void removal_data();
    void removal();
    void dragging_data();
    void dragging();
    void dragRowThatLeftTheList_data();
    void dragRowThatLeftTheList();
    void dragPointer_data();
    void dragPointer();
    void dragScrollsWhereverTheWindowStands_data();
    void dragScrollsWhereverTheWindowStands();
    void movingOverTheListUndoesTheHandButNotTheBusyPointer();

private:
    Form1 &openWith(const QStringList &rows, int selected);
    QPoint centreOf(int position) const;
    QPoint belowTheRows() const;
    void drag(const QList<int> &path);

    std::unique_ptr<TestWindow> m_test;
    FileListView *m_list = nullptr;
};

void TestReordering::init()
{
    m_test = std::make_unique<TestWindow>();
}

Form1 &TestReordering::openWith(const QStringList &rows, int selected)
{
    Form1 &window = m_test->open();
    m_list = window.ListView1;
    for (const QString &row : rows)
        m_list->append(row);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("window not exposed");
    m_list->select(selected);
    window.Text2->setFocus();
    return window;
}

QPoint TestReordering::centreOf(int position) const
{
    return m_list->visualItemRect(m_list->topLevelItem(position - 1)).center();
}

QPoint TestReordering::belowTheRows() const
{
    return QPoint(20, m_list->viewport()->height() - 5);
}

// Presses on the first row of the path, moves over the others one event each, releases.
void TestReordering::drag(const QList<int> &path)
{
    QWidget *viewport = m_list->viewport();
    const auto pointFor = [this](int position) { return position ? centreOf(position) : belowTheRows(); };
    QTest::mousePress(viewport, Qt::LeftButton, {}, pointFor(path.first()));
    for (const int position : path.mid(1))
        QTest::mouseMove(viewport, pointFor(position));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pointFor(path.last()));
}

void TestReordering::moveButtons_data()
{
    QTest::addColumn<bool>("up");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<bool>("listFocused");
    const QStringList abc{"A", "B", "C"};
    QTest::newRow("up: middle") << true << abc << 2 << QStringList{"B", "A", "C"} << 1 << true;
    QTest::newRow("down: middle") << false << abc << 2 << QStringList{"A", "C", "B"} << 3 << true;
    QTest::newRow("up: first stays") << true << abc << 1 << abc << 1 << true;
    QTest::newRow("down: last stays") << false << abc << 3 << abc << 3 << true;
    QTest::newRow("down: second-last becomes last") << false << QStringList{"A", "B", "C", "D"} << 3
                                                    << QStringList{"A", "B", "D", "C"} << 4 << true;
    QTest::newRow("up: duplicates keep order") << true << QStringList{"A", "A", "B"} << 3
                                               << QStringList{"A", "B", "A"} << 2 << true;
    QTest::newRow("up: none selected") << true << abc << 0 << abc << 0 << false;
    QTest::newRow("down: none selected") << false << abc << 0 << abc << 0 << false;
    QTest::newRow("up: empty list") << true << QStringList() << 0 << QStringList() << 0 << false;
    QTest::newRow("down: empty list") << false << QStringList() << 0 << QStringList() << 0 << false;
}

void TestReordering::moveButtons()
{
    QFETCH(bool, up);
    QFETCH(QStringList, rows);
    QFETCH(int, selected);
    Form1 &window = openWith(rows, selected);
    QTest::mouseClick(up ? window.PushButton3 : window.PushButton5, Qt::LeftButton);
    QTEST(m_list->texts(), "expected");
    QTEST(m_list->selected(), "selectedAfter");
    QTEST(m_list->hasFocus(), "listFocused");
    QVERIFY(m_test->prompts.calls.isEmpty());
}

void TestReordering::removal_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("expected");
    const QStringList abc{"A", "B", "C"};
    const QStringList ac{"A", "C"};
    QTest::newRow("Delete") << "Delete" << 2 << false << ac;
    QTest::newRow("Shift+Ctrl+Alt+Delete") << "Shift+Ctrl+Alt+Delete" << 2 << false << ac;
    QTest::newRow("Backspace ignored") << "Backspace" << 2 << false << abc;
    QTest::newRow("Delete, none selected") << "Delete" << 0 << false << abc;
    QTest::newRow("double-click on the row") << "double-click row" << 2 << false << ac;
    QTest::newRow("double-click below the rows") << "double-click below" << 2 << false << ac;
    QTest::newRow("Clear List") << "Clear List" << 2 << false << QStringList();
    QTest::newRow("busy: Delete") << "Delete" << 2 << true << abc;
    QTest::newRow("busy: double-click") << "double-click row" << 2 << true << abc;
    QTest::newRow("busy: Clear List") << "Clear List" << 2 << true << abc;
}

void TestReordering::removal()
{
    QFETCH(QString, action);
    QFETCH(int, selected);
    QFETCH(bool, busy);
    Form1 &window = openWith({"A", "B", "C"}, selected);
    if (busy)
        window.setPointer(Form1::Pointer::Busy);
    QWidget *viewport = m_list->viewport();
    const QPoint where = action == "double-click below" ? belowTheRows() : centreOf(2);
    if (action == "Delete")
        QTest::keyClick(m_list, Qt::Key_Delete);
    else if (action == "Shift+Ctrl+Alt+Delete")
        QTest::keyClick(m_list, Qt::Key_Delete, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    else if (action == "Backspace")
        QTest::keyClick(m_list, Qt::Key_Backspace);
    else if (action == "Clear List")
        QTest::mouseClick(window.PushButton10, Qt::LeftButton);
    else {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, where);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, where);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, where);
    }
    QTEST(m_list->texts(), "expected");
    QVERIFY(m_test->prompts.calls.isEmpty());
}

void TestReordering::dragging_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("path"); // pressed row, then one movement per row; 0 = below the rows
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selectedAfter");
    const QStringList abcd{"A", "B", "C", "D"};
    QTest::newRow("slowly down") << abcd << QList<int>{1, 2, 3, 4} << false << QStringList{"B", "C", "D", "A"} << 4;
    QTest::newRow("jump down") << abcd << QList<int>{1, 4} << false << QStringList{"D", "B", "C", "A"} << 4;
    QTest::newRow("slowly up") << abcd << QList<int>{4, 3, 2, 1} << false << QStringList{"D", "A", "B", "C"} << 1;
    QTest::newRow("over and back") << abcd << QList<int>{1, 2, 3, 2} << false << QStringList{"B", "A", "C", "D"} << 2;
    QTest::newRow("duplicate exchanges nothing") << QStringList{"A", "A", "B"} << QList<int>{1, 2} << false
                                                 << QStringList{"A", "A", "B"} << 1;
    QTest::newRow("letter case differs") << QStringList{"a", "A"} << QList<int>{1, 2} << false
                                         << QStringList{"A", "a"} << 2;
    QTest::newRow("below the rows") << abcd << QList<int>{1, 0} << false << abcd << 1;
    QTest::newRow("busy still drags") << abcd << QList<int>{1, 4} << true << QStringList{"D", "B", "C", "A"} << 4;
}

void TestReordering::dragging()
{
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, path);
    QFETCH(bool, busy);
    Form1 &window = openWith(rows, 0);
    if (busy)
        window.setPointer(Form1::Pointer::Busy);
    drag(path);
    QTEST(m_list->texts(), "expected");
    QTEST(m_list->selected(), "selectedAfter");
}

void TestReordering::dragRowThatLeftTheList_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("expected");
    // A press off the rows starts no new drag row, so the one left from the click drags on.
    QTest::newRow("left-over row drags on") << "" << QStringList{"B", "A", "C"};
    QTest::newRow("removed row drags nothing") << "Delete" << QStringList{"A", "C"};
    QTest::newRow("row replaced by Move Up drags nothing") << "Move Up" << QStringList{"B", "A", "C"};
}

void TestReordering::dragRowThatLeftTheList()
{
    QFETCH(QString, edit);
    Form1 &window = openWith({"A", "B", "C"}, 0);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, centreOf(2));
    if (edit == "Delete")
        QTest::keyClick(m_list, Qt::Key_Delete);
    else if (edit == "Move Up")
        QTest::mouseClick(window.PushButton3, Qt::LeftButton);
    drag({0, 1});
    QTEST(m_list->texts(), "expected");
}

void TestReordering::dragPointer_data()
{
    QTest::addColumn<QByteArray>("icon"); // empty: no file
    QTest::addColumn<Qt::CursorShape>("whilePressed");
    QFile shipped(qEnvironmentVariable("LUMBRISK_BUILD_DIR") + "/drag.ico");
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QTest::newRow("drag.ico") << shipped.readAll() << Qt::BitmapCursor;
    QTest::newRow("missing") << QByteArray() << Qt::ArrowCursor;
    QTest::newRow("damaged") << QByteArray("not an icon") << Qt::ArrowCursor;
}

void TestReordering::dragPointer()
{
    QFETCH(QByteArray, icon);
    if (!icon.isEmpty())
        QVERIFY(Fixtures::WriteFile(m_test->programFolder() + "/drag.ico", icon));
    openWith({"A", "B"}, 0);
    QWidget *viewport = m_list->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, centreOf(1));
    QTEST(viewport->cursor().shape(), "whilePressed");
    QTest::mouseMove(viewport, centreOf(2));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centreOf(2));
    QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(m_list->texts(), QStringList({"B", "A"}));
}

void TestReordering::dragScrollsWhereverTheWindowStands_data()
{
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("windowTop"); // screen line of the window's top edge
    // The list high on the screen, and wholly below the lines where a 1024 x 768 screen
    // once put its middle.
    QTest::newRow("up, window high") << false << 0;
    QTest::newRow("up, window low") << false << 500;
    QTest::newRow("down, window high") << true << 0;
    QTest::newRow("down, window low") << true << 500;
}

// Dragging onto the first (or last) visible row scrolls one row further.
void TestReordering::dragScrollsWhereverTheWindowStands()
{
    QFETCH(bool, down);
    QFETCH(int, windowTop);
    QStringList rows;
    for (int row = 1; row <= 80; ++row)
        rows << QString::number(row);
    Form1 &window = openWith(rows, 0);
    window.move(0, windowTop);
    m_list->scrollToItem(m_list->topLevelItem(29), QAbstractItemView::PositionAtTop);
    const int firstVisible = 30;
    int lastVisible = firstVisible;
    while (m_list->viewport()->rect().contains(m_list->visualItemRect(m_list->topLevelItem(lastVisible))))
        ++lastVisible;
    QVERIFY(firstVisible > 1 && lastVisible > firstVisible);
    const int target = down ? lastVisible : firstVisible;
    QCursor::setPos(m_list->viewport()->mapToGlobal(centreOf(target))); // where the pointer ends
    const int scrolledBefore = m_list->verticalScrollBar()->value();
    drag(down ? QList<int>{lastVisible - 1, lastVisible} : QList<int>{firstVisible + 1, firstVisible});
    QCOMPARE(m_list->text(target), QString::number(down ? lastVisible - 1 : firstVisible + 1));
    QVERIFY(m_list->verticalScrollBar()->value() != scrolledBefore);
}

void TestReordering::movingOverTheListUndoesTheHandButNotTheBusyPointer()
{
    Form1 &window = openWith({"A", "B"}, 1);
    window.setPointer(Form1::Pointer::Custom);
    QTest::mouseMove(m_list->viewport(), centreOf(2));
    QCOMPARE(window.pointer(), Form1::Pointer::Default);
    window.setPointer(Form1::Pointer::Busy);
    QTest::mouseMove(m_list->viewport(), centreOf(1));
    QCOMPARE(window.pointer(), Form1::Pointer::Busy);
}

QTEST_MAIN(TestReordering)
#include "tst_reordering.moc"
