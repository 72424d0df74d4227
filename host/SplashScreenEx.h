#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>

// The start-up window: a shaped picture with five single-line text fields.
class CSplashScreenEx : public QWidget
{
    Q_OBJECT
public:
    enum Field { Progress, Version, Build, Company, Notice, FieldCount };

    // transparent: the colour cut out of the window's shape.
    CSplashScreenEx(const QPixmap &picture, const QColor &transparent, int fadeInMs, int fadeOutMs);

    void setFieldText(Field field, const QString &text);
    QString fieldText(Field field) const { return m_texts[field]; }
    static QRect fieldRect(Field field);

    // Centred on the screen, fading in when the system animates windows.
    void showSplash();
    void hideSplash();

    // The picture used when no other is given: 496 x 150, magenta corners.
    static QPixmap defaultPicture();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void fade(qreal from, qreal to, int ms);

    QPixmap m_picture;
    std::array<QString, FieldCount> m_texts;
    int m_fadeInMs;
    int m_fadeOutMs;
};
