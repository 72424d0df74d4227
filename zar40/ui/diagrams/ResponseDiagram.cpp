#include "zar40/ui/diagrams/ResponseDiagram.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QSpinBox>

#include <cmath>

namespace zar40::diagrams {

QColor colourFromBgr(std::uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

namespace {

const QColor kPlotFill(0, 37, 76);
const QColor kGradientFill(60, 60, 175);

} // namespace

// The drawings name a font that Linux systems rarely have; the families
// after it are the closest sans fonts at the same pixel size.
QFont diagramFont(int pixelSize, bool bold, bool underline)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

namespace {

QString titleOf(DiagramKind kind)
{
    switch (kind) {
    case DiagramKind::EqMagnitude:
    case DiagramKind::CrossoverMagnitude:
        return QStringLiteral("Magnitude");
    case DiagramKind::EqPhase:
    case DiagramKind::CrossoverPhase:
        return QStringLiteral("Phase");
    case DiagramKind::Dynamics:
        break;
    }
    return {};
}

} // namespace

ResponseDiagram::ResponseDiagram(DiagramKind kind, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_limits(constructionLimits(kind))
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The spin buttons come with the window and set the limits it starts with.
    if (const auto spin = spinSetupFor(kind)) {
        auto make = [this, step = spin->valuePerStep](int id, int lo, int hi, int start, bool lower) {
            auto *box = new QSpinBox(this);
            box->setObjectName(QStringLiteral("spin%1").arg(id));
            box->setRange(lo, hi);
            box->setValue(start);
            box->setFixedSize(20, 20);
            connect(box, &QSpinBox::valueChanged, this, [this, step, lower](int position) {
                AxisLimits l = m_limits;
                (lower ? l.yMin : l.yMax) = position * step;
                setLimits(l);
            });
            return box;
        };
        m_upperSpin = make(kUpperSpinId, spin->upperMin, spin->upperMax, spin->upperStart, false);
        m_lowerSpin = make(kLowerSpinId, spin->lowerMin, spin->lowerMax, spin->lowerStart, true);
        m_limits = windowLimits(kind);
    }
}

void ResponseDiagram::setLimits(const AxisLimits &limits)
{
    // A range of zero has no mapping; keep the limits the diagram has.
    if (limits.xMin >= limits.xMax || limits.yMin >= limits.yMax || limits == m_limits)
        return;
    if (isFrequencyDiagram(m_kind) && limits.xMin <= 0)
        return;
    m_limits = limits;
    m_frameValid = false;
    update();
}

void ResponseDiagram::redraw()
{
    m_curvesValid = false;
    m_frameValid = false;
    update();
}

Mapping ResponseDiagram::mappingFor(QSize size) const
{
    return Mapping(m_kind, plotRectFor(m_kind, size.width(), size.height()), m_limits);
}

QImage ResponseDiagram::render(QSize size)
{
    // The frame image is reused while the size stays, so that a drag costs
    // no allocation.
    if (m_frame.size() != size)
        m_frame = QImage(size, QImage::Format_RGB32);
    if (m_frame.isNull())
        return m_frame;
    const QStringList legend = legendLabels();
    if (m_background.size() != size || m_backgroundLimits != m_limits || m_backgroundLegend != legend) {
        m_background = QImage(size, QImage::Format_RGB32);
        if (m_background.isNull())
            return m_background;
        QPainter bp(&m_background);
        paintBackground(bp, size);
        m_backgroundLimits = m_limits;
        m_backgroundLegend = legend;
        ++m_backgroundGeneration;
    }
    const Mapping map = mappingFor(size);
    updateCurves(map, size);
    const QImage *base = &m_background;
    const std::vector<std::uint64_t> key = settledKey();
    if (key.empty()) {
        m_settled = QImage();
        m_settledKey.clear();
    } else {
        if (m_settled.size() != size || m_settledKey != key || m_settledBackground != m_backgroundGeneration) {
            if (m_settled.size() != size)
                m_settled = QImage(size, QImage::Format_RGB32);
            if (!m_settled.isNull()) {
                QPainter sp(&m_settled);
                sp.drawImage(0, 0, m_background);
                sp.setClipRect(curveClip(map));
                paintSettled(sp, map);
                m_settledKey = key;
                m_settledBackground = m_backgroundGeneration;
            }
        }
        // Without memory for it, everything is drawn on every paint.
        if (!m_settled.isNull())
            base = &m_settled;
    }
    {
        QPainter p(&m_frame);
        p.drawImage(0, 0, *base);
        if (base == &m_background && !key.empty()) {
            p.setClipRect(curveClip(map));
            paintSettled(p, map);
        }
        paintOverlay(p, map);
    }
    return m_frame;
}

void ResponseDiagram::paintVector(QPainter &p, QSize size)
{
    paintBackground(p, size);
    const Mapping map = mappingFor(size);
    updateCurves(map, size);
    // Only when there is something settled: a vector file records even an
    // empty clip, and plots without measurements should stay as they were.
    if (!settledKey().empty()) {
        p.save();
        p.setClipRect(curveClip(map));
        paintSettled(p, map);
        p.restore();
    }
    paintOverlay(p, map);
}

void ResponseDiagram::updateCurves(const Mapping &map, QSize size)
{
    if (!m_curvesValid || m_curvesSize != size || m_curvesLimits != m_limits) {
        if (isFrequencyDiagram(m_kind))
            m_sampler.prepare(map);
        computeCurves(map, m_sampler);
        m_curvesValid = true;
        m_curvesSize = size;
        m_curvesLimits = m_limits;
    }
}

// Curves and markers stay inside the plot's frame.
QRect ResponseDiagram::curveClip(const Mapping &map) const
{
    const PlotRect &r = map.plot();
    return QRect(QPoint(r.left, r.top - 8), QPoint(r.right, r.bottom + 8));
}

void ResponseDiagram::paintOverlay(QPainter &p, const Mapping &map)
{
    const PlotRect &r = map.plot();
    p.setClipRect(curveClip(map));
    paintCurves(p, map);
    p.setClipping(false);
    paintMarkers(p, map);
    // The frame, two pixels wide; its bottom edge two pixels lower.
    p.fillRect(QRect(QPoint(r.left - 1, r.top - 1), QPoint(r.right + 1, r.top)), Qt::white);
    p.fillRect(QRect(QPoint(r.left - 1, r.bottom + 1), QPoint(r.right + 1, r.bottom + 2)), Qt::white);
    p.fillRect(QRect(QPoint(r.left - 1, r.top - 1), QPoint(r.left, r.bottom + 2)), Qt::white);
    p.fillRect(QRect(QPoint(r.right, r.top - 1), QPoint(r.right + 1, r.bottom + 2)), Qt::white);
}

void ResponseDiagram::paintBackground(QPainter &p, QSize size) const
{
    const Mapping map = mappingFor(size);
    const PlotRect &r = map.plot();
    const QRect plot(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    p.fillRect(QRect(QPoint(0, 0), size), Qt::black);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(kPlotFill);
    p.drawRect(plot);

    // Rings of growing brightness toward the middle; each one covers the
    // inside of the one before.
    const int w = r.width();
    p.setBrush(kGradientFill);
    for (int i = 0; i < w / 2; i += 2) {
        const QRect inset = plot.adjusted(i, i, -i, -i);
        if (inset.width() <= 0 || inset.height() <= 0)
            break;
        const double t = std::log10(1.0 + double(i) / w) / std::log10(2.0);
        p.setPen(QPen(QColor(0, 37 + int(std::floor(49 * t)), 76 + int(std::floor(102 * t))), 4));
        p.drawEllipse(inset);
    }
    p.setBrush(Qt::NoBrush);

    p.setPen(Qt::white);
    p.setBackgroundMode(Qt::TransparentMode);
    const QString title = titleOf(m_kind);
    if (!title.isEmpty()) {
        p.setFont(diagramFont(18, true, true));
        p.drawText(QRect(0, 0, size.width(), 18), Qt::AlignCenter, title);
    }
    if (isFrequencyDiagram(m_kind)) {
        paintLegend(p, size, legendLabels());
        paintFrequencyGrid(p, map, size);
    } else {
        paintDynamicsGrid(p, map);
    }
}

void ResponseDiagram::paintLegend(QPainter &p, QSize size, const QStringList &labels) const
{
    const int w = size.width(), h = size.height();
    p.setPen(QPen(Qt::white, 2));
    p.drawRect(QRect(QPoint(65, h - 25), QPoint(w - 65, h - 5)));
    const int slotCount = static_cast<int>(labels.size());
    if (slotCount == 0)
        return;
    const int slotWidth = (w - 140) / slotCount;
    const int mid = h - 15;
    p.setFont(diagramFont(15));
    for (int i = 0; i < slotCount; ++i) {
        const int x = 70 + i * slotWidth;
        const bool result = i == slotCount - 1;
        p.setPen(QPen(result ? QColor(Qt::white) : colourFromBgr(curveColour(m_kind, i)), result ? kResultPenWidth : 1));
        p.drawLine(x, mid, x + 25, mid);
        p.setPen(Qt::white);
        p.drawText(QRect(x + 30, h - 25, slotWidth - 30, 20), Qt::AlignLeft | Qt::AlignVCenter, labels[i]);
    }
}

void ResponseDiagram::paintFrequencyGrid(QPainter &p, const Mapping &map, QSize) const
{
    const PlotRect &r = map.plot();
    const AxisLimits &l = m_limits;
    const int step = gridStep(m_kind, l.yMax - l.yMin);
    const bool phase = m_kind == DiagramKind::EqPhase || m_kind == DiagramKind::CrossoverPhase;
    const QString unit = phase ? QStringLiteral("°") : QStringLiteral("dB");
    const QPen dotted(Qt::white, 1, Qt::DotLine);
    p.setFont(diagramFont(15));
    auto hline = [&](int v) {
        const int y = map.valueToY(v);
        p.setPen(dotted);
        p.drawLine(r.left, y, r.right - 1, y);
        p.setPen(Qt::white);
        p.drawText(QRect(0, y - 7, 34, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(v) + unit);
    };
    for (int v = 0; v <= l.yMax; v += step)
        hline(v);
    for (int v = -step; v >= l.yMin; v -= step)
        hline(v);

    auto vline = [&](double f, const QString &label, Qt::Alignment align = Qt::AlignHCenter) {
        const int x = map.frequencyToX(f);
        p.setPen(dotted);
        p.drawLine(x, r.top, x, r.bottom - 1);
        if (label.isEmpty())
            return;
        p.setPen(Qt::white);
        QRect box(x - 40, r.bottom + 3, 80, 18);
        if (align & Qt::AlignRight)
            box.moveRight(x);
        p.drawText(box, align | Qt::AlignTop, label);
    };
    for (int i = 1; i <= 10; ++i) {
        vline(i * 10.0, i == 5 ? "50 Hz" : i == 10 ? "100 Hz" : "");
        vline(i * 100.0, i == 5 ? "500 Hz" : i == 10 ? "1 kHz" : "");
        vline(i * 1000.0, i == 5 ? "5 kHz" : i == 10 ? "10 kHz" : "");
    }
    vline(20000.0, QStringLiteral("20 kHz"));
    p.setPen(Qt::white);
    p.drawText(QRect(map.frequencyToX(kFrequencyAxisMax) - 80, r.bottom + 3, 80, 18), Qt::AlignRight | Qt::AlignTop,
               QStringLiteral("%1 kHz").arg(kFrequencyAxisMax / 1000));

    p.setPen(QPen(Qt::white, 1));
    const int zero = map.valueToY(0);
    p.drawLine(r.left, zero, r.right - 1, zero);
}

void ResponseDiagram::paintDynamicsGrid(QPainter &p, const Mapping &map) const
{
    const PlotRect &r = map.plot();
    const AxisLimits &l = m_limits;
    const QPen dotted(Qt::white, 1, Qt::DotLine);
    p.setFont(diagramFont(14));
    const int yStep = gridStep(m_kind, l.yMax - l.yMin);
    for (int v = l.yMin - l.yMin % yStep; v <= l.yMax; v += yStep) {
        if (v < l.yMin)
            continue;
        const int y = map.valueToY(v);
        p.setPen(dotted);
        p.drawLine(r.left, y, r.right - 1, y);
        p.setPen(Qt::white);
        p.drawText(QRect(r.right + 1, y - 7, 24, 16), Qt::AlignLeft | Qt::AlignTop, QString::number(v));
    }
    const int xStep = gridStep(m_kind, l.xMax - l.xMin);
    for (int v = l.xMin - l.xMin % xStep; v <= l.xMax; v += xStep) {
        if (v < l.xMin)
            continue;
        const int x = map.inputToX(v);
        p.setPen(dotted);
        p.drawLine(x, r.top, x, r.bottom - 1);
        p.setPen(Qt::white);
        p.drawText(QRect(x - 20, r.bottom + 2, 40, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(v));
    }
    // The two 0 dBu axes and the dotted unity diagonal.
    p.setPen(QPen(Qt::white, 1));
    const int zx = map.inputToX(0), zy = map.valueToY(0);
    p.drawLine(r.left, zy, r.right - 1, zy);
    p.drawLine(zx, r.top, zx, r.bottom - 1);
    p.setPen(dotted);
    p.drawLine(r.left, r.bottom - 1, r.right - 1, r.top);
    p.setPen(Qt::white);
    p.setFont(diagramFont(15));
    p.drawText(QRect(r.left, 2, r.width(), 20), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Input dBu"));
    p.save();
    p.setFont(diagramFont(12));
    p.translate(4, (r.top + r.bottom) / 2);
    p.rotate(-90);
    p.drawText(QRect(-60, 0, 120, 16), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Output dBu"));
    p.restore();
}

void ResponseDiagram::paintCurveRows(QPainter &p, const Curve &c, int firstX) const
{
    if (c.rows.empty())
        return;
    QPolygon line(static_cast<int>(c.rows.size()));
    for (std::size_t i = 0; i < c.rows.size(); ++i)
        line.setPoint(static_cast<int>(i), firstX + static_cast<int>(i), c.rows[i]);
    const QColor colour = c.result ? QColor(Qt::white) : colourFromBgr(curveColour(m_kind, c.slot));
    p.setPen(QPen(colour, c.result ? kResultPenWidth : 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolyline(line);
}

void ResponseDiagram::paintEvent(QPaintEvent *)
{
    if (size().isEmpty())
        return;
    if (!m_frameValid || m_frame.size() != size()) {
        m_frameValid = !render(size()).isNull();
        if (!m_frameValid) {
            // A message box opened from here would run an event loop inside
            // the paint; the view shows the failure once it has returned.
            if (!m_reportedNoImage) {
                m_reportedNoImage = true;
                emit imageFailed();
            }
            return;
        }
    }
    QPainter p(this);
    p.drawImage(0, 0, m_frame);
}

void ResponseDiagram::resizeEvent(QResizeEvent *)
{
    m_frameValid = false;
    m_reportedNoImage = false;
    placeSpins();
}

void ResponseDiagram::placeSpins()
{
    if (m_upperSpin)
        m_upperSpin->move(width() - 20, 25);
    if (m_lowerSpin)
        m_lowerSpin->move(width() - 20, std::max(50, height() - 75));
}

void ResponseDiagram::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const Mapping map = mappingFor(size());
    const QString text = QString::fromStdString(readOutText(m_kind, map, pos.x(), pos.y()));
    if (text != m_readOut) {
        m_readOut = text;
        emit readOutChanged(m_readOut);
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        m_drag = kNoMarker;
        return;
    }
    if (m_drag == kNoMarker)
        return;
    moveMarker(map, m_drag, pos.x(), pos.y());
    redraw();
    notify(dragCodes(m_drag).moveCode, kDragMoveItem);
}

void ResponseDiagram::mousePressEvent(QMouseEvent *event)
{
    // A drag starts only from a plain left press: a right press opens the
    // context menu and a modified press belongs to the window.
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton ||
        event->modifiers() != Qt::NoModifier)
        return;
    const QPoint pos = event->position().toPoint();
    m_drag = markerAt(mappingFor(size()), pos.x(), pos.y());
}

void ResponseDiagram::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_drag == kNoMarker)
        return;
    const int marker = m_drag;
    m_drag = kNoMarker;
    const DragCodes codes = dragCodes(marker);
    notify(codes.endCode, codes.endItem);
}

void ResponseDiagram::leaveEvent(QEvent *)
{
    if (!m_readOut.isEmpty()) {
        m_readOut.clear();
        emit readOutChanged(m_readOut);
    }
}

} // namespace zar40::diagrams
