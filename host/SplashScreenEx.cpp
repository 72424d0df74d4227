#include "SplashScreenEx.h"

#include <QBitmap>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>

CSplashScreenEx::CSplashScreenEx(const QPixmap &picture, const QColor &transparent, int fadeInMs, int fadeOutMs)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_picture(picture)
    , m_fadeInMs(fadeInMs)
    , m_fadeOutMs(fadeOutMs)
{
    setAttribute(Qt::WA_TranslucentBackground, false);
    setFixedSize(m_picture.size());
    if (transparent.isValid())
        setMask(m_picture.createMaskFromColor(transparent, Qt::MaskInColor));
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(10);
    setFont(f);
}

QRect CSplashScreenEx::fieldRect(Field field)
{
    // left, top, right, bottom as the picture was laid out for
    switch (field) {
    case Progress: return QRect(QPoint(12, 105), QPoint(484 - 1, 140 - 1));
    case Version: return QRect(QPoint(12, 0), QPoint(236 - 1, 18 - 1));
    case Build: return QRect(QPoint(12, 18), QPoint(236 - 1, 36 - 1));
    case Company: return QRect(QPoint(260, 0), QPoint(484 - 1, 18 - 1));
    case Notice: return QRect(QPoint(260, 18), QPoint(484 - 1, 36 - 1));
    case FieldCount: break;
    }
    return {};
}

void CSplashScreenEx::setFieldText(Field field, const QString &text)
{
    if (field < 0 || field >= FieldCount)
        return;
    m_texts[field] = text;
    repaint(fieldRect(field));
}

void CSplashScreenEx::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
    p.setPen(Qt::white);
    p.setFont(font());
    for (int f = 0; f < FieldCount; ++f) {
        const QRect r = fieldRect(Field(f));
        const QString elided = p.fontMetrics().elidedText(m_texts[f], Qt::ElideRight, r.width());
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    }
}

void CSplashScreenEx::fade(qreal from, qreal to, int ms)
{
    if (ms <= 0 || !QGuiApplication::platformName().contains(QLatin1String("xcb"))) {
        setWindowOpacity(to);
        return;
    }
    QPropertyAnimation animation(this, "windowOpacity");
    animation.setDuration(ms);
    animation.setStartValue(from);
    animation.setEndValue(to);
    QEventLoop loop;
    connect(&animation, &QPropertyAnimation::finished, &loop, &QEventLoop::quit);
    animation.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CSplashScreenEx::showSplash()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    setWindowOpacity(m_fadeInMs > 0 ? 0.0 : 1.0);
    show();
    raise();
    repaint();
    fade(0.0, 1.0, m_fadeInMs);
}

void CSplashScreenEx::hideSplash()
{
    fade(1.0, 0.0, m_fadeOutMs);
    hide();
}

QPixmap CSplashScreenEx::defaultPicture()
{
    const QSize size(496, 150);
    QPixmap pm(size);
    pm.fill(QColor(255, 0, 255));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, size.width(), size.height()), 14, 14);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0.0, QColor(18, 40, 84));
    g.setColorAt(1.0, QColor(6, 14, 32));
    p.fillPath(shape, g);
    p.setPen(QColor(255, 255, 255, 60));
    p.drawLine(12, 38, 484, 38);
    p.drawLine(12, 102, 484, 102);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(236, 240, 248));
    p.drawText(QRect(12, 42, 472, 58), Qt::AlignCenter, QStringLiteral("VRN-Control"));
    return pm;
}
