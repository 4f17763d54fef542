#pragma once
// ProgressBar1: range 0 to 100, a real-valued Value and a free Text shown on the bar.
// Values above 100 are shown as a full bar; the text is shown verbatim ("%" included).

#include <QProgressBar>

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    double Value() const { return m_value; }
    void setValue(double value);
    QString Text() const { return m_text; }
    void setText(const QString &text);

    QString text() const override { return m_text; }

private:
    double m_value = 0;
    QString m_text;
};
