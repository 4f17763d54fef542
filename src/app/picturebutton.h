#pragma once
// A push button that shows its picture above a word-wrapped caption, for the tall,
// narrow "Move Up" and "Move Down" buttons.

#include <QPushButton>

class PictureButton : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QIcon &picture, const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
