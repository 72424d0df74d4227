#pragma once
// Counts the events of one type that reach an object, and for paint events
// the region painted: for tests of what a change repaints or relayouts.
#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

namespace vrntest {

class EventCounter : public QObject
{
public:
    EventCounter(QObject *watched, QEvent::Type type) : m_type(type) { watched->installEventFilter(this); }

    int count() const { return m_count; }
    // The union of every region painted (paint events only).
    QRegion painted() const { return m_painted; }
    void reset()
    {
        m_count = 0;
        m_painted = QRegion();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type) {
            ++m_count;
            if (m_type == QEvent::Paint) m_painted += static_cast<QPaintEvent *>(event)->region();
        }
        return false;
    }

private:
    QEvent::Type m_type;
    int m_count = 0;
    QRegion m_painted;
};

} // namespace vrntest
