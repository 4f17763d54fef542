// Form1: the controls, where they sit (in twips, as the layout gives them), their fonts and
// the tab order.

#include "app/form1.h"

#include "app/picturebutton.h"
#include "filelist/filelistview.h"
#include "platform/progressbar.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Positions on the window are kept in twips, 15 to the pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0),
                 qRound(height / 15.0));
}

template <typename Control>
Control *place(Control *control, const QRect &geometry, const QString &name)
{
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

QPushButton *button(const QString &caption, QWidget *container, const QRect &geometry,
                    const QString &name)
{
    return place(new QPushButton(caption, container), geometry, name);
}

QGroupBox *frame(const QString &caption, QWidget *container, const QRect &geometry,
                 const QString &name)
{
    return place(new QGroupBox(caption, container), geometry, name);
}

// An option button as wide as its caption needs, never narrower than its place.
QRadioButton *option(const QString &caption, QWidget *container, const QRect &geometry,
                     const QString &name)
{
    auto *control = place(new QRadioButton(caption, container), geometry, name);
    control->resize(qMax(geometry.width(), control->sizeHint().width()), geometry.height());
    return control;
}

QLineEdit *textBox(const QString &text, QWidget *container, const QRect &geometry,
                   const QString &name)
{
    return place(new QLineEdit(text, container), geometry, name);
}

// Frames draw only their outline and so show the background beneath, white or the skin's
// colour: the style's own panel is a light grey, with patches around the option buttons
// on the skin's colour.
class PlainFrameStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // Where the style puts the outline: below the title, if any.
        constexpr int gapAboveOutline = 4;
        const auto *frame = qobject_cast<const QGroupBox *>(widget);
        const int titleHeight = frame && frame->title().isEmpty()
            ? 0
            : qMax(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget), option->fontMetrics.height());
        const QRectF outline = QRectF(option->rect.adjusted(0, titleHeight + gapAboveOutline, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QColor(0x75, 0x75, 0x75, 51)); // the style's own faint line
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(outline, 2, 2);
        painter->restore();
    }
};

} // namespace

void Form1::createControls()
{
    ListView1 = place(new FileListView(this), twips(120, 120, 6840, 5480), QStringLiteral("ListView1"));
    ListView1->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out of window to reveal full names."));

    PushButton3 = place(new PictureButton(QIcon(QStringLiteral(":/pictures/arrow-up.png")),
                                          QStringLiteral("Move Up"), this),
                        twips(7080, 120, 840, 2640), QStringLiteral("PushButton3"));
    PushButton5 = place(new PictureButton(QIcon(QStringLiteral(":/pictures/arrow-down.png")),
                                          QStringLiteral("Move Down"), this),
                        twips(7080, 2880, 840, 2700), QStringLiteral("PushButton5"));
    PushButton1 = button(QStringLiteral("Add MP3 File(s)"), this, twips(120, 5680, 3840, 405), QStringLiteral("PushButton1"));
    PushButton4 = button(QStringLiteral("Add All MP3 File(s) In Folder"), this, twips(4080, 5680, 3840, 405), QStringLiteral("PushButton4"));
    PushButton2 = button(QStringLiteral("Start Creating"), this, twips(8040, 5680, 7800, 405), QStringLiteral("PushButton2"));
    PushButton10 = button(QStringLiteral("Clear List"), this, twips(120, 6200, 3840, 405), QStringLiteral("PushButton10"));
    PushButton11 = button(QStringLiteral("Load Sample/Example Files"), this, twips(4080, 6200, 3840, 405), QStringLiteral("PushButton11"));
    ProgressBar1 = place(new ProgressBar(this), twips(8040, 6200, 7800, 405), QStringLiteral("ProgressBar1"));
    ProgressBar1->setText(QStringLiteral("Progress Bar"));

    Frame3 = frame(QStringLiteral("Save Option"), this, twips(8040, 3750, 7800, 1815), QStringLiteral("Frame3"));
    Option1 = option(QStringLiteral("Save results to this folder:"), Frame3, twips(240, 300, 3615, 255), QStringLiteral("Option1"));
    Frame1 = frame(QString(), Frame3, twips(480, 510, 6840, 810), QStringLiteral("Frame1"));
    Text1 = textBox(QString(), Frame1, twips(240, 300, 5670, 345), QStringLiteral("Text1"));
    PushButton12 = button(QStringLiteral("..."), Frame1, twips(6000, 300, 600, 345), QStringLiteral("PushButton12"));
    Option2 = option(QStringLiteral("Save results in folder of original file"), Frame3, twips(240, 1410, 3615, 255), QStringLiteral("Option2"));
    Option1->setChecked(true);

    Frame2 = frame(QStringLiteral("Kilobits Per Second (For New File)"), this, twips(8040, 2895, 7800, 800), QStringLiteral("Frame2"));
    Combo1 = place(new QComboBox(Frame2), twips(240, 300, 7320, 345), QStringLiteral("Combo1"));

    Frame4 = frame(QStringLiteral("Start Recording Preview At This Second (Starting Point)"), this, twips(8040, 60, 7800, 810), QStringLiteral("Frame4"));
    Text2 = textBox(QStringLiteral("Text2"), Frame4, twips(240, 300, 6600, 345), QStringLiteral("Text2"));
    PushButton6 = button(QStringLiteral("?"), Frame4, twips(6960, 300, 600, 345), QStringLiteral("PushButton6"));

    Frame5 = frame(QStringLiteral("Record For This Number Of Seconds After Starting Point (Duration)"), this, twips(8040, 915, 7800, 810), QStringLiteral("Frame5"));
    Text3 = textBox(QStringLiteral("Text3"), Frame5, twips(240, 300, 6600, 345), QStringLiteral("Text3"));
    PushButton7 = button(QStringLiteral("?"), Frame5, twips(6960, 300, 600, 345), QStringLiteral("PushButton7"));

    Frame6 = frame(QStringLiteral("Join Option"), this, twips(8040, 1785, 7800, 1035), QStringLiteral("Frame6"));
    Option4 = option(QStringLiteral("Save all previews as separate MP3 files"), Frame6, twips(240, 300, 4095, 225), QStringLiteral("Option4"));
    Option3 = option(QStringLiteral("Join all previews into one MP3 file"), Frame6, twips(240, 650, 3975, 225), QStringLiteral("Option3"));
    Option4->setChecked(true);

    // Made after the frames, so that it outlives them.
    auto *frameStyle = new PlainFrameStyle;
    frameStyle->setParent(this);
    for (QGroupBox *frameControl : {Frame1, Frame2, Frame3, Frame4, Frame5, Frame6})
        frameControl->setStyle(frameStyle);

    // The pointer rule follows the mouse over the window, its frames, Text1 and the buttons.
    const QList<QWidget *> pointerWatched{this, Frame1, Frame2, Frame3, Frame4, Frame5, Frame6, Text1,
                                          PushButton1, PushButton2, PushButton3, PushButton4,
                                          PushButton5, PushButton10, PushButton11, PushButton12};
    for (QWidget *widget : pointerWatched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

void Form1::applyFonts()
{
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPointSizeF(9);
    windowFont.setBold(true);
    setFont(windowFont);
    QFont buttonFont = windowFont;
    buttonFont.setPointSizeF(11.25);
    for (QPushButton *pushButton : findChildren<QPushButton *>())
        pushButton->setFont(buttonFont);
}

void Form1::setTabOrder()
{
    const QList<QWidget *> order{ListView1, PushButton3, PushButton5, PushButton1, PushButton4,
                                 PushButton2, PushButton10, PushButton11, ProgressBar1, Text1,
                                 PushButton12, Option2, Option1, Combo1, Text2, Text3, Option4,
                                 Option3, PushButton6, PushButton7};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    // Tab enters an option group at its selected option, as on every desktop; the arrow
    // keys move within the group.
    for (const auto &[first, second] : {std::pair{Option1, Option2}, std::pair{Option3, Option4}}) {
        const auto keepTabStop = [first = first, second = second] { setTabStopAtSelectedOption(first, second); };
        connect(first, &QRadioButton::toggled, this, keepTabStop);
        connect(second, &QRadioButton::toggled, this, keepTabStop);
        keepTabStop();
    }
}

void Form1::setTabStopAtSelectedOption(QRadioButton *first, QRadioButton *second)
{
    // Both are stops while neither is selected.
    const bool noneSelected = !first->isChecked() && !second->isChecked();
    for (QRadioButton *option : {first, second})
        option->setFocusPolicy(option->isChecked() || noneSelected ? Qt::StrongFocus : Qt::ClickFocus);
}
