#include "UnitMeters.h"

#include <QPainter>

CUnitMeters::CUnitMeters(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(tr("Levels and output mutes"));
    setMinimumSize(sizeHint());
}

QSize CUnitMeters::sizeHint() const
{
    return {8 * 9 + 8, 30};
}

void CUnitMeters::setLevels(const std::array<std::uint8_t, 8> &levels)
{
    if (levels == m_levels) return;
    m_levels = levels;
    update();
}

void CUnitMeters::setMuteState(std::uint32_t state, bool known)
{
    if (state == m_mutes && known == m_mutesKnown) return;
    m_mutes = state;
    m_mutesKnown = known;
    update();
}

void CUnitMeters::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int barWidth = 7, gap = 2, markHeight = 4;
    const int barHeight = height() - markHeight - 4;
    for (int i = 0; i < 8; ++i) {
        const int x = 2 + i * (barWidth + gap) + (i >= 2 ? 6 : 0); // inputs apart from outputs
        const QRect frame(x, 1, barWidth, barHeight);
        p.fillRect(frame, QColor(40, 40, 40));
        const int h = m_levels[std::size_t(i)] * barHeight / 255;
        const QColor colour = m_levels[std::size_t(i)] > 230 ? QColor(230, 60, 40)
                              : m_levels[std::size_t(i)] > 180 ? QColor(235, 200, 40)
                                                               : QColor(60, 200, 80);
        p.fillRect(QRect(x, 1 + barHeight - h, barWidth, h), colour);
        if (i >= 2) {
            const bool muted = m_mutesKnown && (m_mutes >> (i + 1)) & 1u; // output n is channel index n + 2
            p.fillRect(QRect(x, height() - markHeight - 1, barWidth, markHeight),
                       !m_mutesKnown ? QColor(160, 160, 160) : muted ? QColor(220, 30, 30) : QColor(60, 160, 60));
        }
    }
}
