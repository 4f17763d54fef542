#include "platform/progressbar.h"

ProgressBar::ProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    setRange(0, 1000);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setValue(double value)
{
    m_value = value;
    // A finer internal range keeps fractional values such as 33.3 visible.
    QProgressBar::setValue(qBound(0, qRound(value * 10), 1000));
}

void ProgressBar::setText(const QString &text)
{
    m_text = text;
    update();
}
