#pragma once

#include <QDialog>
#include <QPixmap>
#include <QSize>
#include <QTimer>

class QLabel;

// The About box. A right click on the picture's emblem grows the box to
// its large size step by step, and a second one shrinks it back.
class CAbout : public QDialog
{
    Q_OBJECT
public:
    explicit CAbout(QWidget *parent = nullptr);

    static QString titleText();
    static QString versionLine();
    static QRect emblemRect() { return QRect(QPoint(21, 31), QPoint(49 - 1, 59 - 1)); }
    bool enlarged() const { return m_enlarged; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void step();

    QSize m_normalSize;
    QSize m_largeSize;
    bool m_enlarged = false;
    QTimer m_stepper;
};
