#pragma once
// What the five response diagrams share: an off-screen image of the client
// size blitted in one go, a background (plot fill, gradient, grid, labels,
// legend, title, 0 line) cached per size, limits and legend, curves cached
// until the data, the size or the limits change, the two limit spin buttons
// of the frequency diagrams and the mouse read-out.
#include "zar40/diagrams/diagram_model.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

class QPainter;
class QSpinBox;

namespace zar40::diagrams {

class ResponseDiagram : public QWidget
{
    Q_OBJECT
public:
    ResponseDiagram(DiagramKind kind, QWidget *parent);

    DiagramKind kind() const { return m_kind; }
    AxisLimits limits() const { return m_limits; }
    void setLimits(const AxisLimits &limits);
    // The spin positions of a frequency diagram (none for dynamics).
    QSpinBox *lowerSpin() const { return m_lowerSpin; }
    QSpinBox *upperSpin() const { return m_upperSpin; }

    // The data changed: recompute the curves and repaint.
    void redraw();
    // The read-out at the last mouse position; empty outside the plot.
    QString readOut() const { return m_readOut; }
    void setControlId(int id) { m_controlId = id; }
    int controlId() const { return m_controlId; }

    // The whole diagram at a client size, as the window would show it; a
    // null image when the image cannot be made.
    QImage render(QSize size);
    // The same drawing onto any paint device (a vector file), uncached.
    void paintVector(QPainter &p, QSize size);

    Mapping mappingFor(QSize size) const;
    // The marker being dragged, kNoMarker when none.
    int dragIndex() const { return m_drag; }

signals:
    // The record the view receives: sender, control ID, code, item.
    void notification(QWidget *sender, int controlId, int code, int item);
    void readOutChanged(const QString &text);
    // The window's image could not be made at this size; said once a size.
    void imageFailed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

    virtual QStringList legendLabels() const { return {}; }
    virtual void computeCurves(const Mapping &map, CurveSampler &sampler) = 0;
    virtual void paintCurves(QPainter &p, const Mapping &map) const = 0;
    virtual void paintMarkers(QPainter &, const Mapping &) const {}
    // Curves that stay as they are while a drag moves others: drawn once
    // onto a copy of the background instead of on every paint, under the
    // curves paintCurves() draws. settledKey() names what paintSettled()
    // would draw now; empty for nothing.
    virtual std::vector<std::uint64_t> settledKey() const { return {}; }
    virtual void paintSettled(QPainter &, const Mapping &) const {}

    // Marker dragging, for the diagrams that have markers: the marker under
    // (x, y) or kNoMarker, moving it, and what the view is told on each
    // step and at the end of a drag.
    struct DragCodes {
        int moveCode;
        int endCode;
        int endItem;
    };
    virtual int markerAt(const Mapping &, int /*x*/, int /*y*/) const { return kNoMarker; }
    virtual void moveMarker(const Mapping &, int /*marker*/, int /*x*/, int /*y*/) {}
    virtual DragCodes dragCodes(int /*marker*/) const { return {0, 0, 0}; }
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void notify(int code, int item) { emit notification(this, m_controlId, code, item); }

    void paintCurveRows(QPainter &p, const Curve &c, int firstX) const;

private:
    void paintBackground(QPainter &p, QSize size) const;
    void updateCurves(const Mapping &map, QSize size);
    QRect curveClip(const Mapping &map) const;
    void paintOverlay(QPainter &p, const Mapping &map);
    void paintFrequencyGrid(QPainter &p, const Mapping &map, QSize size) const;
    void paintDynamicsGrid(QPainter &p, const Mapping &map) const;
    void paintLegend(QPainter &p, QSize size, const QStringList &labels) const;
    void placeSpins();

    DiagramKind m_kind;
    AxisLimits m_limits;
    int m_controlId = 0;
    QSpinBox *m_lowerSpin = nullptr;
    QSpinBox *m_upperSpin = nullptr;
    QString m_readOut;
    int m_drag = kNoMarker;
    bool m_reportedNoImage = false;

    QImage m_background;
    AxisLimits m_backgroundLimits;
    QStringList m_backgroundLegend;
    std::uint64_t m_backgroundGeneration = 0;
    // The background with the settled curves on it, and what it holds.
    QImage m_settled;
    std::vector<std::uint64_t> m_settledKey;
    std::uint64_t m_settledBackground = 0;
    bool m_curvesValid = false;
    QSize m_curvesSize;
    AxisLimits m_curvesLimits;
    CurveSampler m_sampler;
    QImage m_frame;
    bool m_frameValid = false;
};

// 0x00BBGGRR to a colour.
QColor colourFromBgr(std::uint32_t bgr);
QFont diagramFont(int pixelSize, bool bold = false, bool underline = false);

} // namespace zar40::diagrams
