#pragma once

#include <QColor>
#include <QPixmap>
#include <QPushButton>

// A flat push button with a picture left of its text. One colour of the
// picture can be declared transparent (white on the plug-in buttons).
class CBitmapButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CBitmapButton(const QString &text, QWidget *parent = nullptr);

    void setBitmap(const QPixmap &bitmap, const QColor &transparent);
    QPixmap bitmap() const { return bitmap_; }

    void setBackgroundColor(const QColor &color);
    QColor backgroundColor() const { return background_; }

    // c brightened by amount on each colour component, each capped at 255.
    static QColor brightened(const QColor &c, int amount);

private:
    QPixmap bitmap_;
    QColor background_;
};
