// The window: its controls, start-up, title rule, pointer rules and closing.

#include "app/form1.h"
#include "app/qtprompts.h"
#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "platform/progressbar.h"
#include "testwindow.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void applicationTitleRule_data();
    void applicationTitleRule();
    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void captionsAreNotClipped();
    void windowIsFixedAndTitled();
    void tabOrderFollowsTheLayout();
    void tabEntersOptionGroupsAtTheSelectedOption_data();
    void tabEntersOptionGroupsAtTheSelectedOption();
    void failingStartUpStepIsReportedOnceAndStartUpGoesOn();
    void pointerRules();
    void pointerStaysBusy();
    void customPointerUsesTheHandFileAndItsHotspot();
    void skinFileTurnsTheBackgroundButtonFace();
    void framePanelsShowTheWindowsBackground_data();
    void framePanelsShowTheWindowsBackground();
    void closingEndsTheProgramAtOnce();
    void listOperationsAtTheEdges();
    void detailsShowAPathAndItsReasonOnOneLine();

private:
    static void moveOver(QWidget *widget);
};

void TestForm1::moveOver(QWidget *widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

void TestForm1::applicationTitleRule_data()
{
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("title");
    // 30 characters whose last word has 6 letters: the first 23 remain.
    QTest::newRow("30 characters") << "Batch Preview Maker For Sixers" << "Batch Preview Maker For";
    // 52 characters, last words of 7 and 6 letters: two removals leave 37.
    QTest::newRow("52 characters") << "Professional Batch Preview Maker Tool Edition Sixers"
                                   << "Professional Batch Preview Maker Tool";
    QTest::newRow("one word stays whole") << "Lumbrisk" << "Lumbrisk";
}

void TestForm1::applicationTitleRule()
{
    QFETCH(QString, productName);
    QFETCH(QString, title);
    QVERIFY(productName == QLatin1String("Lumbrisk") || productName.size() == 30 || productName.size() == 52);
    QCOMPARE(Form1::ApplicationTitleFor(productName), title);
}

void TestForm1::controlsSitWhereTheLayoutPutsThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::newRow("ListView1") << "ListView1" << "Form1" << QRect(120, 120, 6840, 5480) << "";
    QTest::newRow("PushButton3") << "PushButton3" << "Form1" << QRect(7080, 120, 840, 2640) << "Move Up";
    QTest::newRow("PushButton5") << "PushButton5" << "Form1" << QRect(7080, 2880, 840, 2700) << "Move Down";
    QTest::newRow("PushButton1") << "PushButton1" << "Form1" << QRect(120, 5680, 3840, 405) << "Add MP3 File(s)";
    QTest::newRow("PushButton4") << "PushButton4" << "Form1" << QRect(4080, 5680, 3840, 405) << "Add All MP3 File(s) In Folder";
    QTest::newRow("PushButton2") << "PushButton2" << "Form1" << QRect(8040, 5680, 7800, 405) << "Start Creating";
    QTest::newRow("PushButton10") << "PushButton10" << "Form1" << QRect(120, 6200, 3840, 405) << "Clear List";
    QTest::newRow("PushButton11") << "PushButton11" << "Form1" << QRect(4080, 6200, 3840, 405) << "Load Sample/Example Files";
    QTest::newRow("ProgressBar1") << "ProgressBar1" << "Form1" << QRect(8040, 6200, 7800, 405) << "Progress Bar";
    QTest::newRow("Frame3") << "Frame3" << "Form1" << QRect(8040, 3750, 7800, 1815) << "Save Option";
    QTest::newRow("Option1") << "Option1" << "Frame3" << QRect(240, 300, 3615, 255) << "Save results to this folder:";
    QTest::newRow("Frame1") << "Frame1" << "Frame3" << QRect(480, 510, 6840, 810) << "";
    QTest::newRow("Text1") << "Text1" << "Frame1" << QRect(240, 300, 5670, 345) << "";
    QTest::newRow("PushButton12") << "PushButton12" << "Frame1" << QRect(6000, 300, 600, 345) << "...";
    QTest::newRow("Option2") << "Option2" << "Frame3" << QRect(240, 1410, 3615, 255) << "Save results in folder of original file";
    QTest::newRow("Frame2") << "Frame2" << "Form1" << QRect(8040, 2895, 7800, 800) << "Kilobits Per Second (For New File)";
    QTest::newRow("Combo1") << "Combo1" << "Frame2" << QRect(240, 300, 7320, 345) << "";
    QTest::newRow("Frame4") << "Frame4" << "Form1" << QRect(8040, 60, 7800, 810) << "Start Recording Preview At This Second (Starting Point)";
    QTest::newRow("Text2") << "Text2" << "Frame4" << QRect(240, 300, 6600, 345) << "Text2";
    QTest::newRow("PushButton6") << "PushButton6" << "Frame4" << QRect(6960, 300, 600, 345) << "?";
    QTest::newRow("Frame5") << "Frame5" << "Form1" << QRect(8040, 915, 7800, 810) << "Record For This Number Of Seconds After Starting Point (Duration)";
    QTest::newRow("Text3") << "Text3" << "Frame5" << QRect(240, 300, 6600, 345) << "Text3";
    QTest::newRow("PushButton7") << "PushButton7" << "Frame5" << QRect(6960, 300, 600, 345) << "?";
    QTest::newRow("Frame6") << "Frame6" << "Form1" << QRect(8040, 1785, 7800, 1035) << "Join Option";
    QTest::newRow("Option4") << "Option4" << "Frame6" << QRect(240, 300, 4095, 225) << "Save all previews as separate MP3 files";
    QTest::newRow("Option3") << "Option3" << "Frame6" << QRect(240, 650, 3975, 225) << "Join all previews into one MP3 file";
}

void TestForm1::controlsSitWhereTheLayoutPutsThem()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    TestWindow test;
    Form1 &window = test.open(false);
    auto *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    const QRect pixels = control->geometry();
    QCOMPARE(pixels.topLeft(), QPoint(qRound(twips.left() / 15.0), qRound(twips.top() / 15.0)));
    QCOMPARE(pixels.height(), qRound(twips.height() / 15.0));
    // Option buttons may grow to fit their caption; nothing is narrower than its place.
    QVERIFY(pixels.width() >= qRound(twips.width() / 15.0));
    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        shown = button->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        shown = frame->title();
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        shown = edit->text();
    else if (auto *bar = qobject_cast<ProgressBar *>(control))
        shown = bar->Text();
    QCOMPARE(shown, caption);
    QVERIFY(QRect(QPoint(0, 0), control->parentWidget()->size()).contains(pixels));
}

void TestForm1::captionsAreNotClipped()
{
    TestWindow test;
    Form1 &window = test.open();
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        if (button == window.PushButton3 || button == window.PushButton5)
            continue; // their captions wrap under the picture
        const int needed = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(needed < button->width(), qPrintable(button->objectName()));
    }
    for (QGroupBox *frame : window.findChildren<QGroupBox *>())
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) < frame->width(), qPrintable(frame->objectName()));
}

void TestForm1::windowIsFixedAndTitled()
{
    TestWindow test;
    Form1 &window = test.open();
    QCOMPARE(window.size(), QSize(1064, 447));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(window.windowTitle(), QStringLiteral("Lumbrisk"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.ListView1->headerItem()->text(0), QStringLiteral("MP3 File(s)"));
    QCOMPARE(window.ListView1->header()->sectionSize(0), 433);
    QCOMPARE(window.ListView1->count(), 0);
    QCOMPARE(window.font().family(), QStringLiteral("Arial"));
    QVERIFY(window.Text2->font().bold());
    QCOMPARE(window.PushButton2->font().pointSizeF(), 11.25);
    QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(test.prompts.calls.isEmpty());
}

void TestForm1::tabOrderFollowsTheLayout()
{
    TestWindow test;
    Form1 &window = test.open();
    const QList<QWidget *> expected{window.ListView1, window.PushButton3, window.PushButton5,
                                    window.PushButton1, window.PushButton4, window.PushButton2,
                                    window.PushButton10, window.PushButton11, window.Text1,
                                    window.PushButton12, window.Option2, window.Option1,
                                    window.Combo1, window.Text2, window.Text3, window.Option4,
                                    window.Option3, window.PushButton6, window.PushButton7};
    QList<QWidget *> chain;
    QWidget *widget = window.ListView1;
    while (chain.size() < expected.size()) {
        if (expected.contains(widget))
            chain << widget;
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(chain, expected);
}

void TestForm1::tabEntersOptionGroupsAtTheSelectedOption_data()
{
    QTest::addColumn<QStringList>("clicked");
    QTest::addColumn<QStringList>("stops"); // the options Tab reaches, in order
    QTest::newRow("as built") << QStringList() << QStringList{"Option1", "Option4"};
    QTest::newRow("the second of each") << QStringList{"Option2", "Option3"} << QStringList{"Option2", "Option3"};
}

// Real Tab key presses, once round the window from the list.
void TestForm1::tabEntersOptionGroupsAtTheSelectedOption()
{
    QFETCH(QStringList, clicked);
    TestWindow test;
    Form1 &window = test.open();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    for (const QString &name : clicked)
        QTest::mouseClick(window.findChild<QRadioButton *>(name), Qt::LeftButton);
    window.ListView1->setFocus(Qt::OtherFocusReason);
    QStringList stops;
    for (int press = 0; press < 30; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == window.ListView1)
            break;
        if (qobject_cast<QRadioButton *>(QApplication::focusWidget()))
            stops << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(QApplication::focusWidget(), window.ListView1);
    QTEST(stops, "stops");
    QVERIFY(test.prompts.calls.isEmpty());
}

void TestForm1::failingStartUpStepIsReportedOnceAndStartUpGoesOn()
{
    TestWindow test;
    SettingsStore(test.settingsFile()).write(QStringLiteral("Option3"), QStringLiteral("maybe"));
    SettingsStore(test.settingsFile()).write(QStringLiteral("Text3"), QStringLiteral("20"));
    Form1 &window = test.open();
    const QStringList reports = test.prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(QStringLiteral("\r\nin Cadrillo2021/08/31.Form1.Form_Load at line 188\r\r")), qPrintable(reports.first()));
    QCOMPARE(test.prompts.calls.first().icon, Prompts::Icon::Exclamation);
    // The steps after the failed one still ran.
    QVERIFY(window.Option4->isChecked());
    QCOMPARE(window.Text3->text(), QStringLiteral("20"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Lumbrisk"));
}

void TestForm1::pointerRules()
{
    TestWindow test;
    Form1 &window = test.open();
    moveOver(window.PushButton2);
    QCOMPARE(window.pointer(), Form1::Pointer::Custom);
    moveOver(window.PushButton6); // "?" buttons have no rule of their own
    QCOMPARE(window.pointer(), Form1::Pointer::Custom);
    moveOver(window.Frame4);
    QCOMPARE(window.pointer(), Form1::Pointer::Default);
    moveOver(window.PushButton12);
    QCOMPARE(window.pointer(), Form1::Pointer::Custom);
    moveOver(window.Text1);
    QCOMPARE(window.pointer(), Form1::Pointer::Default);
    moveOver(window.PushButton11);
    moveOver(window.Text2); // no rule: the pointer stays as last set
    QCOMPARE(window.pointer(), Form1::Pointer::Custom);
    moveOver(&window);
    QCOMPARE(window.pointer(), Form1::Pointer::Default);
    // Without HAND-M.CUR the custom pointer is the ordinary arrow.
    moveOver(window.PushButton1);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

void TestForm1::pointerStaysBusy()
{
    TestWindow test;
    Form1 &window = test.open();
    window.setPointer(Form1::Pointer::Busy);
    for (QWidget *widget : QList<QWidget *>{window.PushButton2, window.Frame3, &window, window.Text1, window.PushButton10})
        moveOver(widget);
    QCOMPARE(window.pointer(), Form1::Pointer::Busy);
    QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
}

void TestForm1::customPointerUsesTheHandFileAndItsHotspot()
{
    TestWindow test;
    QVERIFY(QFile::copy(QStringLiteral(LUMBRISK_SOURCE_DIR "/assets/HAND-M.CUR"),
                        test.programFolder() + QStringLiteral("/HAND-M.CUR")));
    Form1 &window = test.open();
    QVERIFY(window.hasCustomPointerImage());
    moveOver(window.PushButton2);
    QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
    QVERIFY(window.cursor().hotSpot() != QPoint(0, 0));
    moveOver(window.Frame2);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

void TestForm1::skinFileTurnsTheBackgroundButtonFace()
{
    TestWindow test;
    QDir(test.programFolder()).mkdir(QStringLiteral("x"));
    QVERIFY(Fixtures::WriteFile(test.programFolder() + QStringLiteral("/x/o.cjs"), "QPushButton { color: rgb(1, 2, 3); }"));
    Form1 &window = test.open();
    const QColor face = QApplication::palette().color(QPalette::Button);
    QCOMPARE(window.palette().color(QPalette::Window), face);
    QCOMPARE(window.Frame3->palette().color(QPalette::Window), face);
    QCOMPARE(window.Option1->palette().color(QPalette::Window), face);
    QVERIFY(window.styleSheet().contains(QStringLiteral("rgb(1, 2, 3)")));
    QVERIFY(test.prompts.errorReports().isEmpty());
}

void TestForm1::framePanelsShowTheWindowsBackground_data()
{
    QTest::addColumn<bool>("skinned");
    QTest::newRow("white") << false;
    QTest::newRow("skinned") << true;
}

void TestForm1::framePanelsShowTheWindowsBackground()
{
    QFETCH(bool, skinned);
    TestWindow test;
    if (skinned) {
        QDir(test.programFolder()).mkdir(QStringLiteral("x"));
        QVERIFY(Fixtures::WriteFile(test.programFolder() + QStringLiteral("/x/o.cjs"), ""));
    }
    Form1 &window = test.open();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shown = window.grab().toImage();
    const QColor background = window.palette().color(QPalette::Window);
    // Near each frame's lower right corner, inside its outline and clear of its controls.
    for (QGroupBox *frame : window.findChildren<QGroupBox *>()) {
        const QPoint inside = frame->mapTo(&window, QPoint(frame->width() - 8, frame->height() - 8));
        QVERIFY2(frame->childAt(frame->width() - 8, frame->height() - 8) == nullptr, qPrintable(frame->objectName()));
        QCOMPARE(shown.pixelColor(inside), background);
    }
}

void TestForm1::closingEndsTheProgramAtOnce()
{
    TestWindow test;
    Form1 &window = test.open();
    window.setBusy(true); // even while a job runs, nothing is asked
    window.close();
    QCOMPARE(test.programEnds, 1);
    QVERIFY(test.prompts.calls.isEmpty());
}

void TestForm1::listOperationsAtTheEdges()
{
    FileListView list;
    QCOMPARE(list.selected(), 0);
    QCOMPARE(list.text(1), QString());
    list.append(QStringLiteral("/b.mp3"));
    list.append(QStringLiteral("/b.mp3")); // duplicates stay
    list.insert(1, QStringLiteral("/a.mp3"));
    list.insert(list.count() + 1, QStringLiteral("/z.mp3")); // one past the end appends
    QCOMPARE(list.texts(), QStringList({"/a.mp3", "/b.mp3", "/b.mp3", "/z.mp3"}));
    list.select(4);
    QCOMPARE(list.selected(), 4);
    list.setText(2, QStringLiteral("/c.mp3"));
    list.remove(1);
    QCOMPARE(list.texts(), QStringList({"/c.mp3", "/b.mp3", "/z.mp3"}));
    list.remove(0); // out of range: nothing happens
    list.remove(9);
    QCOMPARE(list.count(), 3);
    list.clear();
    QCOMPARE(list.count(), 0);
    list.append(QStringLiteral("/d.mp3"));
    QCOMPARE(list.text(1), QStringLiteral("/d.mp3"));
}

// The real message box, as the closing message of a run uses it.
void TestForm1::detailsShowAPathAndItsReasonOnOneLine()
{
    QtPrompts prompts;
    int paneWidth = 0;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == QMessageBox::ActionRole)
                button->click(); // "Show Details..."
        }
        QApplication::processEvents();
        if (const auto *pane = box->findChild<QTextEdit *>(); pane && pane->isVisible())
            paneWidth = pane->width();
        box->accept();
    });
    prompts.message(QStringLiteral("Lumbrisk"), QStringLiteral("Done."), Prompts::Icon::None,
                    QStringLiteral("/home/someone/Music/Album/Song.mp3: it holds no audio that SoX can read"));
    QVERIFY2(paneWidth >= 600, qPrintable(QString::number(paneWidth)));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
