#include "zar40/ui/panels/SignalFlow.h"

#include "zar40/preset/channel_names.h"

#include "zar40/dsp/delay_units.h"
#include "zar40/preset/text_codec.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace zar40::panels {

namespace {

const QColor kBackground(30, 34, 40);
const QColor kLabel(225, 228, 232);
const QColor kActiveFill(45, 95, 138);
const QColor kMutedFill(176, 48, 48);
const QColor kBypassed(130, 134, 140);
const QColor kFocus(255, 210, 60);
// One colour per source, so that the wiring of each input can be followed.
const std::array<QColor, preset::kInputCount> kSourceColour{QColor(80, 200, 230), QColor(120, 210, 110),
                                                            QColor(240, 160, 70)};
const std::array<const char *, preset::kInputCount> kSourceShort{"A", "A+B", "B"};

bool isOutput(int channel) { return channel >= preset::kFirstOutput && channel < preset::kChannelCount; }
bool validChannel(int channel) { return channel >= 0 && channel < preset::kChannelCount; }

// One part of the picture the user can click, focus and hear named.
class FlowButton : public QAbstractButton
{
public:
    FlowButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
    {
        setText(text);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }

    void setLook(BlockLook look)
    {
        if (look == m_look) return;
        m_look = look;
        update();
    }
    BlockLook look() const { return m_look; }
    // Selector segments: filled in their source's colour while chosen.
    void setSegmentColour(const QColor &colour) { m_segment = colour; }
    void setSubText(const QString &text)
    {
        if (text == m_subText) return;
        m_subText = text;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        QColor fill, text = Qt::white;
        QPen border(Qt::NoPen);
        if (m_segment.isValid()) {
            if (isChecked()) {
                fill = m_segment;
                text = Qt::black;
            } else {
                border = QPen(kBypassed, 1);
                text = kBypassed;
            }
        } else if (m_look == BlockLook::Muted) {
            fill = kMutedFill;
        } else if (m_look == BlockLook::Bypassed) {
            border = QPen(kBypassed, 1, Qt::DashLine);
            text = kBypassed;
        } else {
            fill = kActiveFill;
        }
        if (fill.isValid() && (underMouse() || isDown())) fill = fill.lighter(isDown() ? 140 : 120);
        if (hasFocus()) border = QPen(kFocus, 2);
        p.setPen(border);
        p.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
        p.drawRoundedRect(r, 4, 4);
        p.setPen(text);
        // Long names ("Dynamik") shrink to fit a narrow block rather than
        // lose letters.
        QFont f = font();
        const int advance = QFontMetrics(f).horizontalAdvance(this->text());
        if (advance > r.width() - 4 && advance > 0)
            f.setPointSizeF(std::max(f.pointSizeF() * 0.7, f.pointSizeF() * (r.width() - 4) / advance));
        p.setFont(f);
        if (!m_subText.isEmpty()) {
            const QRectF top(r.left(), r.top(), r.width(), r.height() * 0.6);
            const QRectF bottom(r.left(), r.top() + r.height() * 0.5, r.width(), r.height() * 0.5);
            p.drawText(top, Qt::AlignCenter, this->text());
            f.setPointSizeF(f.pointSizeF() * 0.75);
            p.setFont(f);
            p.drawText(bottom, Qt::AlignCenter, m_subText);
        } else {
            p.drawText(r, Qt::AlignCenter, QFontMetrics(f).elidedText(this->text(), Qt::ElideRight, int(r.width())));
        }
    }
    void enterEvent(QEnterEvent *e) override
    {
        update();
        QAbstractButton::enterEvent(e);
    }
    void leaveEvent(QEvent *e) override
    {
        update();
        QAbstractButton::leaveEvent(e);
    }

private:
    BlockLook m_look = BlockLook::Active;
    QColor m_segment;
    QString m_subText;
};

FlowButton *asFlow(QAbstractButton *b) { return static_cast<FlowButton *>(b); }

int blockCount(int channel) { return isOutput(channel) ? kBlockKindCount : 3; }

} // namespace

QString CSignalFlow::blockName(BlockKind kind)
{
    switch (kind) {
    case BlockKind::Gain: return QStringLiteral("Gain");
    case BlockKind::Delay: return QStringLiteral("Del");
    case BlockKind::Peq: return QStringLiteral("PEQ");
    case BlockKind::Crossover: return QStringLiteral("XOVER");
    case BlockKind::Dynamics: return QStringLiteral("Dynamik");
    }
    return {};
}

QString CSignalFlow::channelLabel(int channel)
{
    return QString::fromStdString(preset::channelName(channel, preset::ChannelNameForm::Flow));
}

CSignalFlow::CSignalFlow(QWidget *parent) : QWidget(parent)
{
    qRegisterMetaType<BlockKind>();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Signalflow"));

    m_info = new FlowButton(QStringLiteral("Preset"), this);
    m_info->setAccessibleName(QStringLiteral("Preset information"));
    connect(m_info, &QAbstractButton::clicked, this, &CSignalFlow::infoRequested);

    // Created row by row, so that Tab walks each chain in signal order.
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const auto c = static_cast<std::size_t>(ch);
        if (isOutput(ch)) {
            for (std::uint32_t r = 0; r < preset::kInputCount; ++r) {
                auto *segment = new FlowButton(QString::fromLatin1(kSourceShort[r]), this);
                segment->setCheckable(true);
                segment->setSegmentColour(kSourceColour[r]);
                segment->setAccessibleName(channelLabel(ch) + QStringLiteral(" source ") + channelLabel(int(r)));
                connect(segment, &QAbstractButton::clicked, this, [this, ch, r] { chooseRoute(ch, r); });
                m_selectors[c - preset::kFirstOutput][r] = segment;
            }
        }
        for (int k = 0; k < blockCount(ch); ++k) {
            const auto kind = static_cast<BlockKind>(k);
            auto *b = new FlowButton(blockName(kind), this);
            b->setAccessibleName(channelLabel(ch) + QLatin1Char(' ') + blockName(kind));
            connect(b, &QAbstractButton::clicked, this, [this, kind, ch] { emit blockClicked(kind, ch); });
            m_blocks[c][static_cast<std::size_t>(k)] = b;
        }
    }
    setRecord(preset::startupPreset(0));
}

QSize CSignalFlow::sizeHint() const { return {860, 330}; }
// Low enough that the faders below fit a frame of 900 x 650; the blocks
// are then still a text line high.
QSize CSignalFlow::minimumSizeHint() const { return {640, 216}; }

QAbstractButton *CSignalFlow::block(BlockKind kind, int channel) const
{
    ensureLayout();
    const int k = static_cast<int>(kind);
    if (!validChannel(channel) || k < 0 || k >= blockCount(channel)) return nullptr;
    return m_blocks[static_cast<std::size_t>(channel)][static_cast<std::size_t>(k)];
}

QAbstractButton *CSignalFlow::routeSelector(int channel, std::uint32_t route) const
{
    ensureLayout();
    if (!isOutput(channel) || route >= static_cast<std::uint32_t>(preset::kInputCount)) return nullptr;
    return m_selectors[static_cast<std::size_t>(channel - preset::kFirstOutput)][route];
}

void CSignalFlow::ensureLayout() const
{
    // A hidden widget gets its resize event only when shown; callers that
    // ask for places before that still get the places of the current size.
    if (m_laidOutSize != size()) const_cast<CSignalFlow *>(this)->layoutParts();
}

QRect CSignalFlow::blockRect(BlockKind kind, int channel) const
{
    ensureLayout();
    const QAbstractButton *b = block(kind, channel);
    return b ? b->geometry() : QRect();
}

QRect CSignalFlow::selectorRect(int channel, std::uint32_t route) const
{
    ensureLayout();
    const QAbstractButton *b = routeSelector(channel, route);
    return b ? b->geometry() : QRect();
}

BlockLook CSignalFlow::look(BlockKind kind, int channel) const
{
    QAbstractButton *b = block(kind, channel);
    return b ? asFlow(b)->look() : BlockLook::Bypassed;
}

std::uint32_t CSignalFlow::route(int channel) const
{
    return isOutput(channel) ? m_routes[static_cast<std::size_t>(channel - preset::kFirstOutput)] : 0;
}

void CSignalFlow::setRecord(const preset::PresetRecord &record)
{
    auto setLook = [this](BlockKind kind, int ch, bool on) {
        asFlow(block(kind, ch))->setLook(on ? BlockLook::Active : BlockLook::Bypassed);
    };
    auto anyBand = [](const auto &bands) {
        return std::any_of(bands.begin(), bands.end(), [](const preset::EqBand &b) { return preset::isBandOn(b); });
    };
    // The wiring is all the picture paints itself; the blocks repaint
    // themselves when their look changes. A fader drag calls this on every
    // step, and repainting the whole picture each time cost a frame.
    // With assistive technology running, each description set is an event
    // through the accessibility bridge even when the text stays the same.
    auto describe = [](QWidget *w, const QString &text) {
        if (w->accessibleDescription() != text) w->setAccessibleDescription(text);
    };
    const auto wiredMuted = m_muted;
    const auto wiredRoutes = m_routes;
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const bool out = isOutput(ch);
        const auto o = static_cast<std::size_t>(out ? ch - preset::kFirstOutput : 0);
        const auto &in = record.inputs[static_cast<std::size_t>(out ? 0 : ch)];
        const auto &output = record.outputs[o];
        const float delay = out ? output.DELAY : in.DELAY;
        const bool muted = (out ? output.MUTE : in.MUTE) != 0;
        m_muted[static_cast<std::size_t>(ch)] = muted;
        auto *gain = asFlow(block(BlockKind::Gain, ch));
        gain->setLook(muted ? BlockLook::Muted : BlockLook::Active);
        gain->setSubText(out && output.PHASE != 0.0f ? QStringLiteral("180°") : QString());
        describe(gain, muted ? QStringLiteral("muted") : QString());
        setLook(BlockKind::Delay, ch, dsp::storedDelayFromField(delay) > 1);
        setLook(BlockKind::Peq, ch, out ? anyBand(output.PEQ) : anyBand(in.PEQ));
        if (!out) continue;
        setLook(BlockKind::Crossover, ch, preset::isHighCutOn(output.highCut) || preset::isLowCutOn(output.lowCut));
        setLook(BlockKind::Dynamics, ch, preset::isDynamicsOn(output.DYNAMIC) || preset::isNoiseGateOn(output.NOISEGATE));
        m_routes[o] = output.ROUTE;
        for (std::uint32_t r = 0; r < preset::kInputCount; ++r) m_selectors[o][r]->setChecked(r == output.ROUTE);
    }
    for (int ch = 0; ch < preset::kChannelCount; ++ch)
        for (int k = 0; k < blockCount(ch); ++k) {
            auto *b = block(static_cast<BlockKind>(k), ch);
            const bool off = asFlow(b)->look() == BlockLook::Bypassed;
            if (static_cast<BlockKind>(k) != BlockKind::Gain)
                describe(b, off ? QStringLiteral("bypassed") : QString());
        }
    m_info->setText(QStringLiteral("Preset: ") + QString::fromStdString(preset::cp1252ToUtf8(preset::textOf(record.NAME))));
    if (m_muted != wiredMuted || m_routes != wiredRoutes) update();
}

void CSignalFlow::chooseRoute(int channel, std::uint32_t route)
{
    const auto o = static_cast<std::size_t>(channel - preset::kFirstOutput);
    // A click on the chosen source changes nothing and must not mark the
    // preset modified.
    for (std::uint32_t r = 0; r < preset::kInputCount; ++r) m_selectors[o][r]->setChecked(r == route);
    if (m_routes[o] == route) return;
    m_routes[o] = route;
    update();
    emit routeChosen(channel, route);
}

int CSignalFlow::rowY(int channel) const
{
    // Inputs sit between output rows 1-2, 3-4 and 5-6.
    if (isOutput(channel)) return m_top + m_rowHeight * (channel - preset::kFirstOutput) + m_rowHeight / 2;
    return m_top + m_rowHeight * (2 * channel + 1);
}

void CSignalFlow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutParts();
}

void CSignalFlow::layoutParts()
{
    m_laidOutSize = size();
    const int margin = 8;
    const double u = std::max(1.0, (width() - 2.0 * margin) / 16.65);
    const int bw = int(u);
    const int gap = int(0.35 * u);
    const int titleHeight = std::clamp(height() / 12, 22, 32);
    m_info->setGeometry(margin, margin, std::min(width() - 2 * margin, int(5 * u)), titleHeight);
    m_top = margin + titleHeight + 6;
    m_rowHeight = std::max(1, (height() - m_top - margin) / preset::kOutputCount);
    const int bh = std::clamp(int(m_rowHeight * 0.72), 12, 34);

    m_labelLeft = margin;
    m_labelWidth = int(1.1 * u);
    int x0 = m_labelLeft + m_labelWidth;
    for (int ch = 0; ch < preset::kInputCount; ++ch) {
        int x = x0;
        for (int k = 0; k < 3; ++k) {
            x += gap;
            m_blocks[static_cast<std::size_t>(ch)][static_cast<std::size_t>(k)]->setGeometry(x, rowY(ch) - bh / 2, bw, bh);
            x += bw;
        }
        m_inputEnd[static_cast<std::size_t>(ch)] = x;
    }
    const int busLeft = x0 + 3 * (gap + bw);
    for (int i = 0; i < preset::kInputCount; ++i) m_busX[static_cast<std::size_t>(i)] = busLeft + int((0.4 + 0.4 * i) * u);
    const int selectorLeft = busLeft + int(1.6 * u);
    const int segment = int(0.6 * u);
    for (int o = 0; o < preset::kOutputCount; ++o) {
        const int ch = preset::kFirstOutput + o;
        const int y = rowY(ch) - bh / 2;
        for (int r = 0; r < preset::kInputCount; ++r)
            m_selectors[static_cast<std::size_t>(o)][static_cast<std::size_t>(r)]->setGeometry(selectorLeft + r * segment, y, segment, bh);
        int x = selectorLeft + 3 * segment;
        for (int k = 0; k < kBlockKindCount; ++k) {
            x += gap;
            m_blocks[static_cast<std::size_t>(ch)][static_cast<std::size_t>(k)]->setGeometry(x, y, bw, bh);
            x += bw;
        }
        m_outLabelLeft = x + gap;
    }
}

void CSignalFlow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.setRenderHint(QPainter::Antialiasing);
    auto line = [&p](const QColor &colour, bool dead) {
        p.setPen(QPen(dead ? kBypassed : colour, 2, dead ? Qt::DashLine : Qt::SolidLine));
    };
    // Inputs: label, chain, and on to the source bus.
    for (int ch = 0; ch < preset::kInputCount; ++ch) {
        const int y = rowY(ch);
        const QColor colour = kSourceColour[static_cast<std::size_t>(ch)];
        p.setPen(kLabel);
        p.drawText(QRect(m_labelLeft, y - m_rowHeight / 2, m_labelWidth, m_rowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   channelLabel(ch));
        const QRect gain = blockRect(BlockKind::Gain, ch);
        line(colour, false);
        p.drawLine(m_labelLeft + fontMetrics().horizontalAdvance(channelLabel(ch)) + 4, y, gain.left(), y);
        line(colour, m_muted[static_cast<std::size_t>(ch)]);
        p.drawLine(gain.right(), y, blockRect(BlockKind::Delay, ch).left(), y);
        p.drawLine(blockRect(BlockKind::Delay, ch).right(), y, blockRect(BlockKind::Peq, ch).left(), y);
        p.drawLine(blockRect(BlockKind::Peq, ch).right(), y, m_busX[static_cast<std::size_t>(ch)], y);
    }
    // Outputs: from the chosen source's bus through the selector and chain.
    for (int o = 0; o < preset::kOutputCount; ++o) {
        const int ch = preset::kFirstOutput + o;
        const int y = rowY(ch);
        const std::uint32_t r = m_routes[static_cast<std::size_t>(o)];
        const bool known = r < static_cast<std::uint32_t>(preset::kInputCount);
        const QColor colour = known ? kSourceColour[r] : kBypassed;
        if (known) {
            line(colour, m_muted[r]);
            const int bus = m_busX[r];
            const int from = rowY(int(r));
            QPainterPath path(QPointF(bus, from));
            path.lineTo(bus, y);
            path.lineTo(selectorRect(ch, 0).left(), y);
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
        const bool dead = m_muted[static_cast<std::size_t>(ch)];
        line(colour, false);
        p.drawLine(selectorRect(ch, 2).right(), y, blockRect(BlockKind::Gain, ch).left(), y);
        line(colour, dead);
        for (int k = 0; k + 1 < kBlockKindCount; ++k)
            p.drawLine(blockRect(static_cast<BlockKind>(k), ch).right(), y,
                       blockRect(static_cast<BlockKind>(k + 1), ch).left(), y);
        p.drawLine(blockRect(BlockKind::Dynamics, ch).right(), y, m_outLabelLeft, y);
        p.setPen(dead ? kMutedFill.lighter(130) : kLabel);
        p.drawText(QRect(m_outLabelLeft + 3, y - m_rowHeight / 2, width() - m_outLabelLeft, m_rowHeight),
                   Qt::AlignVCenter | Qt::AlignLeft, channelLabel(ch));
    }
}

} // namespace zar40::panels
