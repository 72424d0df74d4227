#include "BitmapButton.h"

#include <QBitmap>
#include <QIcon>

CBitmapButton::CBitmapButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setFlat(false);
    setAutoDefault(false);
}

void CBitmapButton::setBitmap(const QPixmap &bitmap, const QColor &transparent)
{
    bitmap_ = bitmap;
    if (bitmap.isNull()) {
        setIcon(QIcon());
        return;
    }
    QPixmap masked = bitmap;
    if (transparent.isValid())
        masked.setMask(bitmap.createMaskFromColor(transparent, Qt::MaskInColor));
    setIcon(QIcon(masked));
    setIconSize(bitmap.size());
}

void CBitmapButton::setBackgroundColor(const QColor &color)
{
    background_ = color;
    QPalette p = palette();
    p.setColor(QPalette::Button, color);
    setPalette(p);
    setAutoFillBackground(true);
}

QColor CBitmapButton::brightened(const QColor &c, int amount)
{
    return QColor(qMin(c.red() + amount, 255), qMin(c.green() + amount, 255), qMin(c.blue() + amount, 255), c.alpha());
}
