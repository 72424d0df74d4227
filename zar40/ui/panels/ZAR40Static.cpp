#include "zar40/ui/panels/ZAR40Static.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zar40::panels {

namespace {

constexpr double kFullScale = 255.0;
// Meter k shows input A, input B, then outputs 1 to 6 (channel indices).
constexpr std::array<int, CZAR40Static::kBarCount> kMeterChannel{0, 2, 3, 4, 5, 6, 7, 8};

const QColor kBackground(24, 26, 30);
const QColor kTrough(48, 52, 58);
const QColor kText(215, 218, 222);
const QColor kMuteOn(220, 50, 40);
const QColor kPeak(250, 250, 250);
const QColor kWarning(235, 200, 50);

bool validBar(int bar) { return bar >= 0 && bar < CZAR40Static::kBarCount; }
bool validPot(int pot) { return pot >= 0 && pot < CZAR40Static::kPotCount; }

QColor barColour(double fraction)
{
    if (fraction > 0.9) return QColor(230, 60, 40);
    if (fraction > 0.7) return QColor(235, 200, 50);
    return QColor(70, 200, 90);
}

} // namespace

CZAR40Static::CZAR40Static(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("RemoteWatch levels"));
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    m_lastTick = m_clock();
    m_animation = new QTimer(this);
    // Twenty frames a second: a falling bar still moves smoothly, and the
    // window's frames cost two thirds of what thirty did. Idle between
    // reports once everything has settled.
    m_animation->setInterval(50);
    connect(m_animation, &QTimer::timeout, this, [this] {
        tick();
        if (!isAnimating()) m_animation->stop();
    });
}

QString CZAR40Static::barLabel(int bar)
{
    if (bar == 0) return QStringLiteral("IN A");
    if (bar == 1) return QStringLiteral("IN B");
    return validBar(bar) ? QStringLiteral("OUT %1").arg(bar - 1) : QString();
}

int CZAR40Static::barChannel(int bar) { return validBar(bar) ? kMeterChannel[static_cast<std::size_t>(bar)] : -1; }

QSize CZAR40Static::sizeHint() const { return {880, 116}; }
QSize CZAR40Static::minimumSizeHint() const { return {480, 90}; }

void CZAR40Static::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_lastTick = m_clock();
}

void CZAR40Static::setPotRange(int minimum, int maximum)
{
    if (minimum >= maximum) return;
    m_potMin = minimum;
    m_potMax = maximum;
    update();
}

void CZAR40Static::setLevel(int bar, std::uint8_t value)
{
    if (!validBar(bar)) return;
    tick();
    const auto b = static_cast<std::size_t>(bar);
    const BarPixels before = barPixels(bar);
    m_reported[b] = value;
    if (value >= m_shown[b]) m_shown[b] = value;
    if (value >= m_peak[b]) {
        m_peak[b] = value;
        m_peakTime[b] = m_lastTick;
    }
    repaintBar(bar, before);
    startAnimation();
}

void CZAR40Static::setPot(int pot, std::uint32_t value)
{
    if (!validPot(pot)) return;
    const auto p = static_cast<std::size_t>(pot);
    const auto position = static_cast<std::int32_t>(value);
    if (m_potKnown[p] && m_pots[p] == position) return;
    m_pots[p] = position;
    m_potKnown[p] = true;
    update(potCell(pot));
}

void CZAR40Static::setMuteState(std::uint32_t bits)
{
    if (m_muteKnown && bits == m_muteBits) return;
    m_muteBits = bits;
    m_muteKnown = true;
    update();
}

void CZAR40Static::clear()
{
    m_reported.fill(0);
    m_shown.fill(0.0);
    m_peak.fill(0.0);
    m_potKnown.fill(false);
    m_muteKnown = false;
    m_muteBits = 0;
    m_animation->stop();
    update();
}

void CZAR40Static::startAnimation()
{
    if (isAnimating() && !m_animation->isActive()) m_animation->start();
}

bool CZAR40Static::isAnimating() const
{
    for (std::size_t b = 0; b < kBarCount; ++b)
        if (m_shown[b] > m_reported[b] || m_peak[b] > m_shown[b]) return true;
    return false;
}

void CZAR40Static::tick()
{
    const std::int64_t now = m_clock();
    const std::int64_t dt = std::max<std::int64_t>(0, now - m_lastTick);
    m_lastTick = now;
    if (dt == 0) return;
    const double perMs = kFullScale / kFallMs;
    for (int bar = 0; bar < kBarCount; ++bar) {
        const auto b = static_cast<std::size_t>(bar);
        const BarPixels before = barPixels(bar);
        m_shown[b] = std::max<double>(m_reported[b], m_shown[b] - perMs * static_cast<double>(dt));
        // A peak falls only for the part of this step after its hold.
        const std::int64_t falling = std::min(dt, now - (m_peakTime[b] + kPeakHoldMs));
        if (falling > 0) m_peak[b] = std::max(m_shown[b], m_peak[b] - perMs * static_cast<double>(falling));
        m_peak[b] = std::max(m_peak[b], m_shown[b]);
        repaintBar(bar, before);
    }
}

CZAR40Static::BarPixels CZAR40Static::barPixels(int bar) const
{
    const auto b = static_cast<std::size_t>(bar);
    const QRect trough = barTrough(bar);
    const double fraction = std::clamp(m_shown[b] / kFullScale, 0.0, 1.0);
    const double peak = std::clamp(m_peak[b] / kFullScale, 0.0, 1.0);
    BarPixels px;
    px.filled = int(std::lround(fraction * trough.height()));
    px.colour = barColour(fraction).rgb();
    px.peakY = peak > 0.0 ? trough.bottom() - int(std::lround(peak * (trough.height() - 1))) : -1;
    return px;
}

void CZAR40Static::repaintBar(int bar, const BarPixels &before)
{
    // Only what moved by at least a pixel is painted again, and only the
    // strip of the trough it moved in: a falling bar repaints a few rows,
    // never its label or lamp, and a fall below a pixel repaints nothing.
    const BarPixels after = barPixels(bar);
    if (after == before) return;
    const QRect trough = barTrough(bar);
    if (after.colour != before.colour) {
        update(trough);
        return;
    }
    QRegion dirty;
    if (after.filled != before.filled) {
        const int top = trough.bottom() + 1 - std::max(after.filled, before.filled);
        const int bottom = trough.bottom() + 1 - std::min(after.filled, before.filled);
        dirty += QRect(trough.left(), top, trough.width(), bottom - top);
    }
    for (const int y : {before.peakY, after.peakY})
        if (y >= 0 && before.peakY != after.peakY) dirty += QRect(trough.left(), y, trough.width(), kPeakHeight);
    update(dirty);
}

double CZAR40Static::shownLevel(int bar) const { return validBar(bar) ? m_shown[static_cast<std::size_t>(bar)] : 0.0; }
double CZAR40Static::peakLevel(int bar) const { return validBar(bar) ? m_peak[static_cast<std::size_t>(bar)] : 0.0; }
std::uint8_t CZAR40Static::reportedLevel(int bar) const
{
    return validBar(bar) ? m_reported[static_cast<std::size_t>(bar)] : 0;
}

QString CZAR40Static::potText(int pot) const
{
    if (!validPot(pot) || !m_potKnown[static_cast<std::size_t>(pot)]) return QStringLiteral("--- dB");
    const QString reading = QString::asprintf("%.1f dB", m_pots[static_cast<std::size_t>(pot)] * 6.0);
    return isPotInRange(pot) ? reading : reading + QStringLiteral("\nout of range");
}

bool CZAR40Static::isPotInRange(int pot) const
{
    if (!validPot(pot) || !m_potKnown[static_cast<std::size_t>(pot)]) return true;
    const std::int32_t position = m_pots[static_cast<std::size_t>(pot)];
    return position >= m_potMin && position <= m_potMax;
}

double CZAR40Static::potFraction(int pot) const
{
    if (!validPot(pot) || !m_potKnown[static_cast<std::size_t>(pot)]) return -1.0;
    const double span = m_potMax - m_potMin;
    return std::clamp((m_pots[static_cast<std::size_t>(pot)] - m_potMin) / span, 0.0, 1.0);
}

bool CZAR40Static::isMeterMuted(int bar) const
{
    return validBar(bar) && m_muteKnown && ((m_muteBits >> barChannel(bar)) & 1u) != 0;
}

QRect CZAR40Static::barColumn(int bar) const
{
    const int area = width() * 11 / 20;
    const int column = area / kBarCount;
    return {4 + bar * column, 0, column, height()};
}

QRect CZAR40Static::barTrough(int bar) const
{
    const QRect column = barColumn(bar);
    const int barWidth = std::max(6, column.width() / 3);
    return {column.center().x() - barWidth / 2, 14, barWidth, column.height() - 16 - fontMetrics().height()};
}

QRect CZAR40Static::potCell(int pot) const
{
    const int left = width() * 11 / 20 + 8;
    const int column = (width() - left - 4) / kPotCount;
    return {left + pot * column, 0, column, height()};
}

void CZAR40Static::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(event->rect(), kBackground);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const int textHeight = fm.height();

    // Most paints are a strip of one trough; text and lamps outside the
    // region are not drawn at all (laying out text is the dear part).
    const QRegion region = event->region();
    for (int bar = 0; bar < kBarCount; ++bar) {
        const QRect column = barColumn(bar);
        if (!region.intersects(column)) continue;
        const bool muted = isMeterMuted(bar);
        const QRect trough = barTrough(bar);
        const BarPixels px = barPixels(bar);
        p.fillRect(trough, kTrough);
        p.fillRect(QRect(trough.left(), trough.bottom() + 1 - px.filled, trough.width(), px.filled), QColor(px.colour));
        if (px.peakY >= 0) p.fillRect(QRect(trough.left(), px.peakY, trough.width(), kPeakHeight), kPeak);
        const QRect lamp(trough.left(), 3, trough.width(), 7);
        if (region.intersects(lamp)) {
            p.setBrush(muted ? kMuteOn : kTrough);
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(lamp, 2, 2);
        }
        const QRect label(column.left(), column.bottom() - textHeight, column.width(), textHeight);
        if (region.intersects(label)) {
            p.setPen(muted ? kMuteOn : kText);
            p.drawText(label, Qt::AlignCenter, barLabel(bar));
        }
    }

    for (int pot = 0; pot < kPotCount; ++pot) {
        const QRect cell = potCell(pot);
        if (!region.intersects(cell)) continue;
        const auto i = static_cast<std::size_t>(pot);
        const int diameter = std::max(10, std::min(cell.width() - 12, cell.height() - 2 * textHeight - 10));
        const QRectF knob(cell.center().x() - diameter / 2.0, textHeight + 4, diameter, diameter);
        p.setPen(QPen(kText, 1.5));
        p.setBrush(kTrough);
        p.drawEllipse(knob);
        if (m_potKnown[i]) {
            // 270° sweep from lower left (minimum) to lower right (maximum).
            const double f = potFraction(pot);
            const double angle = (225.0 - 270.0 * f) * std::numbers::pi / 180.0;
            const QPointF c = knob.center();
            const double r = diameter / 2.0 - 3;
            p.setPen(QPen(QColor(250, 200, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c, c + QPointF(r * std::cos(angle), -r * std::sin(angle)));
        }
        p.setPen(kText);
        p.drawText(QRect(cell.left(), 0, cell.width(), textHeight + 2), Qt::AlignCenter,
                   QStringLiteral("Poti %1").arg(pot + 1));
        // An out-of-range reading adds its warning as a second line.
        p.setPen(isPotInRange(pot) ? kText : kWarning);
        p.drawText(QRect(cell.left(), int(knob.bottom()) + 2, cell.width(), 2 * textHeight),
                   Qt::AlignHCenter | Qt::AlignTop, potText(pot));
    }
}

} // namespace zar40::panels
