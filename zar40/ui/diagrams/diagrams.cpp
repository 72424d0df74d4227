#include "zar40/ui/diagrams/diagrams.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPolygon>

#include <cmath>

namespace zar40::diagrams {

namespace {

CurveSampler::Quantity quantityOf(DiagramKind kind)
{
    return kind == DiagramKind::EqPhase || kind == DiagramKind::CrossoverPhase ? CurveSampler::Quantity::Phase
                                                                               : CurveSampler::Quantity::Magnitude;
}

// The overlay's colour where a curve has no slot colour of its own.
const QColor kOverlayColour(255, 170, 60);

// A triangle of 7 pixels with its tip at p, above (up) or below the tip.
QPolygon markerTriangle(int x, int y, bool up)
{
    const int d = up ? -7 : 7;
    return QPolygon({QPoint(x, y), QPoint(x + 7, y + d), QPoint(x - 7, y + d)});
}

} // namespace

// ---- Equalizer ------------------------------------------------------------------------

QStringList EqDiagram::legendLabels() const
{
    QStringList labels;
    for (int i = 1; i <= 5; ++i)
        labels << QStringLiteral("Filter %1").arg(i);
    labels << QStringLiteral("Result");
    return labels;
}

void EqDiagram::setMeasurement(std::shared_ptr<const measurement::Measurement> m, const QString &name,
                               bool normalise)
{
    m_measurement = std::move(m);
    m_measurementName = name;
    m_normalise = normalise;
}

void EqDiagram::computeCurves(const Mapping &map, CurveSampler &sampler)
{
    const CurveSampler::Quantity q = quantityOf(kind());
    m_curves = eqCurves(map, sampler, m_bands, q);
    m_overlay.update(map, sampler, m_bands, m_measurement, m_normalise, q);
}

// The overlay lies under the filters' own curves, so that those read the
// same whether a measurement is there or not.
void EqDiagram::paintCurves(QPainter &p, const Mapping &map) const
{
    paintMeasurementOverlay(p, kind(), map, overlay(), false);
    for (const Curve &c : m_curves)
        paintCurveRows(p, c, map.plot().left);
}

QString EqDiagram::overlayNote() const
{
    return QStringLiteral("%1: measured (dashed), predicted (thick)").arg(m_measurementName);
}

std::vector<std::uint64_t> EqDiagram::settledKey() const { return settledOverlayKey(overlay(), overlayNote()); }

void EqDiagram::paintSettled(QPainter &p, const Mapping &map) const
{
    paintMeasurementOverlay(p, kind(), map, overlay(), true);
    if (!overlay().empty())
        paintOverlayNote(p, map, overlayNote());
}

void EqDiagram::contextMenuEvent(QContextMenuEvent *e)
{
    if (m_extraActions.isEmpty())
        return;
    QMenu menu(this);
    menu.addActions(m_extraActions);
    menu.exec(e->globalPos());
}

void paintMeasurementOverlay(QPainter &p, DiagramKind kind, const Mapping &map, const std::vector<OverlayCurve> &curves,
                             bool settled)
{
    const bool eq = kind == DiagramKind::EqMagnitude || kind == DiagramKind::EqPhase;
    const int firstX = map.plot().left;
    QPolygon line;
    for (const OverlayCurve &c : curves) {
        if (c.settled != settled)
            continue;
        const QColor colour = eq || c.result ? kOverlayColour : colourFromBgr(curveColour(kind, c.slot));
        // One-pixel pens stay on the painter's fast path; the thick curve is
        // two of them a row apart.
        p.setPen(QPen(colour, 1, c.predicted ? Qt::SolidLine : Qt::DashLine, Qt::FlatCap, Qt::MiterJoin));
        for (int offset = 0; offset < (c.predicted ? 2 : 1); ++offset) {
            // One polyline per stretch the measurement covers, with a point
            // only where the slope changes: the pixels are those of the
            // column-to-column line, at a fraction of the segments.
            const std::size_t n = c.rows.size();
            std::size_t i = 0;
            while (i < n) {
                if (c.rows[i] == OverlayCurve::kGap) {
                    ++i;
                    continue;
                }
                line.clear();
                line << QPoint(firstX + static_cast<int>(i), c.rows[i] + offset);
                std::size_t j = i + 1;
                for (; j < n && c.rows[j] != OverlayCurve::kGap; ++j) {
                    const bool last = j + 1 == n || c.rows[j + 1] == OverlayCurve::kGap;
                    if (last || c.rows[j + 1] - c.rows[j] != c.rows[j] - c.rows[j - 1])
                        line << QPoint(firstX + static_cast<int>(j), c.rows[j] + offset);
                }
                if (line.size() > 1)
                    p.drawPolyline(line);
                i = j;
            }
        }
    }
}

void paintOverlayNote(QPainter &p, const Mapping &map, const QString &note)
{
    p.setFont(diagramFont(12));
    p.setPen(kOverlayColour);
    const PlotRect plot = map.plot();
    p.drawText(QRect(plot.left + 6, plot.top + 4, plot.right - plot.left - 12, 16), Qt::AlignRight | Qt::AlignTop,
               note);
}

std::vector<std::uint64_t> settledOverlayKey(const std::vector<OverlayCurve> &curves, const QString &note)
{
    std::vector<std::uint64_t> key;
    if (curves.empty())
        return key;
    key.push_back(qHash(note));
    for (const OverlayCurve &c : curves)
        if (c.settled)
            key.push_back(c.stamp);
    return key;
}

CPEQ_Frequenz_Diagramm::CPEQ_Frequenz_Diagramm(QWidget *parent) : EqDiagram(DiagramKind::EqMagnitude, parent) {}

CPEQ_Phase_Diagramm::CPEQ_Phase_Diagramm(QWidget *parent) : EqDiagram(DiagramKind::EqPhase, parent) {}

void CPEQ_Frequenz_Diagramm::paintMarkers(QPainter &p, const Mapping &map) const
{
    p.setFont(diagramFont(12));
    p.setBrush(Qt::NoBrush);
    for (std::size_t i = 0; i < m_bands.size(); ++i) {
        if (!bandHasMarker(map, m_bands[i]))
            continue;
        const MarkerPoint pt = bandMarkerPoint(map, m_bands[i]);
        const bool up = m_bands[i].gain >= 0.0f;
        p.setPen(QPen(colourFromBgr(curveColour(kind(), static_cast<int>(i))), 1));
        p.drawPolygon(markerTriangle(pt.x, pt.y, up));
        const QRect box = up ? QRect(QPoint(pt.x, pt.y - 25), QPoint(pt.x + 10, pt.y - 10))
                             : QRect(QPoint(pt.x, pt.y + 10), QPoint(pt.x + 10, pt.y + 25));
        p.drawText(box, Qt::AlignCenter, QString::number(i + 1));
    }
}

int CPEQ_Frequenz_Diagramm::markerAt(const Mapping &map, int x, int y) const { return hitBand(map, m_bands, x, y); }

void CPEQ_Frequenz_Diagramm::moveMarker(const Mapping &map, int marker, int x, int y)
{
    dragBand(map, m_bands[static_cast<std::size_t>(marker)], x, y);
}

// The band of a finished drag travels as kNoMarker + band.
ResponseDiagram::DragCodes CPEQ_Frequenz_Diagramm::dragCodes(int marker) const
{
    return {kEqDragMove, kEqDragEnd, kNoMarker + marker};
}

// ---- Crossover ------------------------------------------------------------------------------

QStringList CrossoverDiagram::legendLabels() const
{
    QStringList labels;
    for (const OutputRecord &o : m_outputs)
        labels << QString::fromStdString(o.name);
    labels << QStringLiteral("Result");
    return labels;
}

void CrossoverDiagram::setMeasurements(Measurements m, bool normalise)
{
    m_measurements = std::move(m);
    m_normalise = normalise;
}

void CrossoverDiagram::computeCurves(const Mapping &map, CurveSampler &sampler)
{
    const CurveSampler::Quantity q = quantityOf(kind());
    m_curves = crossoverCurves(map, sampler, m_outputs, m_options, q);
    m_overlay.update(map, sampler, m_outputs, m_options, m_measurements, m_normalise, q);
}

void CrossoverDiagram::paintCurves(QPainter &p, const Mapping &map) const
{
    paintMeasurementOverlay(p, kind(), map, overlay(), false);
    for (const Curve &c : m_curves)
        paintCurveRows(p, c, map.plot().left);
}

QString CrossoverDiagram::overlayNote() const { return QStringLiteral("measured (dashed), predicted (thick)"); }

std::vector<std::uint64_t> CrossoverDiagram::settledKey() const
{
    return settledOverlayKey(overlay(), overlayNote());
}

void CrossoverDiagram::paintSettled(QPainter &p, const Mapping &map) const
{
    paintMeasurementOverlay(p, kind(), map, overlay(), true);
    if (!overlay().empty())
        paintOverlayNote(p, map, overlayNote());
}

QMenu *CrossoverDiagram::contextMenu()
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(QStringLiteral("Context"));
        for (int i = 0; i < 6; ++i)
            m_menu->addAction(QStringLiteral("OUT_%1").arg(i + 1))->setData(kMenuFirstOutput + i);
        m_menu->addSeparator();
        m_menu->addAction(QStringLiteral("PEQ"))->setData(kMenuPeq);
        m_menu->addAction(QStringLiteral("Result"))->setData(kMenuResult);
        for (QAction *a : m_menu->actions())
            a->setCheckable(!a->isSeparator());
        if (!m_extraActions.isEmpty()) {
            m_menu->addSeparator();
            // Not choices of this diagram: their data stays empty, so
            // chooseMenuItem() passes them by.
            m_menu->addActions(m_extraActions);
        }
        connect(m_menu, &QMenu::triggered, this, [this](QAction *a) { chooseMenuItem(a->data().toInt()); });
    }
    for (QAction *a : m_menu->actions()) {
        const int id = a->data().toInt();
        if (id >= kMenuFirstOutput && id < kMenuFirstOutput + 6) {
            const OutputRecord &o = m_outputs[static_cast<std::size_t>(id - kMenuFirstOutput)];
            a->setText(QString::fromStdString(o.name));
            a->setChecked(o.locked || o.shown);
            a->setEnabled(!o.locked);
        } else if (id == kMenuPeq) {
            a->setChecked(m_options.peq);
        } else if (id == kMenuResult) {
            a->setChecked(m_options.result);
        }
    }
    return m_menu;
}

void CrossoverDiagram::chooseMenuItem(int id)
{
    if (id >= kMenuFirstOutput && id < kMenuFirstOutput + 6) {
        OutputRecord &o = m_outputs[static_cast<std::size_t>(id - kMenuFirstOutput)];
        if (o.locked)
            return;
        o.shown = !o.shown;
    } else if (id == kMenuPeq) {
        m_options.peq = !m_options.peq;
    } else if (id == kMenuResult) {
        m_options.result = !m_options.result;
    } else {
        return;
    }
    emit choicesChanged();
    redraw();
}

void CrossoverDiagram::contextMenuEvent(QContextMenuEvent *e) { contextMenu()->popup(e->globalPos()); }

CCross_Magnitude_Diagramm::CCross_Magnitude_Diagramm(QWidget *parent)
    : CrossoverDiagram(DiagramKind::CrossoverMagnitude, parent)
{
}

CCross_Phase_Diagramm::CCross_Phase_Diagramm(QWidget *parent) : CrossoverDiagram(DiagramKind::CrossoverPhase, parent)
{
}

void CCross_Magnitude_Diagramm::paintMarkers(QPainter &p, const Mapping &map) const
{
    const int zero = map.valueToY(0);
    p.setBrush(Qt::NoBrush);
    for (std::size_t o = 0; o < m_outputs.size(); ++o) {
        p.setPen(QPen(colourFromBgr(curveColour(kind(), static_cast<int>(o))), 1));
        for (bool highPass : {false, true}) {
            if (crossoverMarkerActive(m_outputs[o], highPass))
                p.drawPolygon(markerTriangle(crossoverMarkerX(map, m_outputs[o], highPass), zero, highPass));
        }
    }
}

int CCross_Magnitude_Diagramm::markerAt(const Mapping &map, int x, int y) const
{
    return hitCrossoverMarker(map, m_outputs, x, y);
}

void CCross_Magnitude_Diagramm::moveMarker(const Mapping &map, int marker, int x, int y)
{
    dragCrossoverMarker(map, m_outputs, marker, x, y);
}

ResponseDiagram::DragCodes CCross_Magnitude_Diagramm::dragCodes(int marker) const
{
    return {kCrossoverDragMove, kCrossoverDragEnd, marker};
}

// ---- Dynamics ----------------------------------------------------------------------------------

CDynamik_Diagramm::CDynamik_Diagramm(QWidget *parent) : ResponseDiagram(DiagramKind::Dynamics, parent) {}

void CDynamik_Diagramm::computeCurves(const Mapping &map, CurveSampler &) { m_curve = dynamicsCurve(map, m_dynamics); }

void CDynamik_Diagramm::paintCurves(QPainter &p, const Mapping &) const
{
    if (m_curve.empty())
        return;
    QPolygon line(static_cast<int>(m_curve.size()));
    for (std::size_t i = 0; i < m_curve.size(); ++i)
        line.setPoint(static_cast<int>(i), m_curve[i].x, m_curve[i].y);
    p.setPen(QPen(colourFromBgr(kDynamicsCurveColour), 2));
    p.drawPolyline(line);
}

} // namespace zar40::diagrams
