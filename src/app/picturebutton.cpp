#include "app/picturebutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(const QIcon &picture, const QString &caption, QWidget *parent)
    : QPushButton(picture, caption, parent)
{
    setIconSize(QSize(32, 32));
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect area = rect().adjusted(3, 3, -3, -3);
    const QFontMetrics metrics(font());
    const QRect textBounds = metrics.boundingRect(area, Qt::AlignHCenter | Qt::TextWordWrap, text());
    const int blockHeight = iconSize().height() + 4 + textBounds.height();
    const int top = area.top() + (area.height() - blockHeight) / 2;
    const QRect pictureRect(area.left() + (area.width() - iconSize().width()) / 2, top,
                            iconSize().width(), iconSize().height());
    icon().paint(&painter, pictureRect, Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);
    const QRect textRect(area.left(), pictureRect.bottom() + 4, area.width(), textBounds.height());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignHCenter | Qt::TextWordWrap, text());
}
