#pragma once
// The five response diagrams of the editor view. The view copies the values
// to draw into a diagram, calls redraw() after every change and, for the two
// magnitude diagrams, reads the dragged values back when a notification
// arrives; a diagram never writes the preset itself.
#include "zar40/diagrams/measurement_overlay.h"
#include "zar40/ui/diagrams/ResponseDiagram.h"

#include <QList>

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;

namespace zar40::diagrams {


// The equalizer diagrams: five bands of one channel and their chain.
class EqDiagram : public ResponseDiagram
{
    Q_OBJECT
public:
    using ResponseDiagram::ResponseDiagram;
    void setBands(const BandRecords &bands) { m_bands = bands; }
    const BandRecords &bands() const { return m_bands; }
    // The channel's measurement, drawn with what its bands make of it;
    // none draws none. NAME labels it. Repaint with redraw().
    void setMeasurement(std::shared_ptr<const measurement::Measurement> m, const QString &name = {},
                        bool normalise = true);
    const std::vector<OverlayCurve> &overlay() const { return m_overlay.curves(); }
    // The view's commands for the right mouse button.
    void setExtraMenuActions(const QList<QAction *> &actions) { m_extraActions = actions; }

protected:
    QStringList legendLabels() const override;
    void computeCurves(const Mapping &map, CurveSampler &sampler) override;
    void paintCurves(QPainter &p, const Mapping &map) const override;
    std::vector<std::uint64_t> settledKey() const override;
    void paintSettled(QPainter &p, const Mapping &map) const override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QString overlayNote() const;

    QList<QAction *> m_extraActions;
    BandRecords m_bands{};
    std::vector<Curve> m_curves;
    std::shared_ptr<const measurement::Measurement> m_measurement;
    QString m_measurementName;
    bool m_normalise = true;
    EqOverlay m_overlay;
};

// The overlay's curves that are settled (or those that are not), each with
// its pen; the note that explains them; what the settled part holds.
void paintMeasurementOverlay(QPainter &p, DiagramKind kind, const Mapping &map, const std::vector<OverlayCurve> &curves,
                  bool settled);
void paintOverlayNote(QPainter &p, const Mapping &map, const QString &note);
std::vector<std::uint64_t> settledOverlayKey(const std::vector<OverlayCurve> &curves, const QString &note);

class CPEQ_Frequenz_Diagramm : public EqDiagram
{
    Q_OBJECT
public:
    explicit CPEQ_Frequenz_Diagramm(QWidget *parent = nullptr);

protected:
    void paintMarkers(QPainter &p, const Mapping &map) const override;
    int markerAt(const Mapping &map, int x, int y) const override;
    void moveMarker(const Mapping &map, int marker, int x, int y) override;
    DragCodes dragCodes(int marker) const override;
};

class CPEQ_Phase_Diagramm : public EqDiagram
{
    Q_OBJECT
public:
    explicit CPEQ_Phase_Diagramm(QWidget *parent = nullptr);
};

// The crossover diagrams: six outputs' chains and the sum of the locked ones.
class CrossoverDiagram : public ResponseDiagram
{
    Q_OBJECT
public:
    using ResponseDiagram::ResponseDiagram;
    void setOutputs(const OutputRecords &outputs) { m_outputs = outputs; }
    const OutputRecords &outputs() const { return m_outputs; }
    void setOptions(const CrossoverOptions &options) { m_options = options; }
    const CrossoverOptions &options() const { return m_options; }
    // Measurements of the six outputs: each drawn output with one shows it
    // and its prediction, and "Result" gets the phase-true sum of the
    // predictions of the summed outputs that have one (all with a phase).
    using Measurements = OutputMeasurements;
    void setMeasurements(Measurements m, bool normalise = true);
    const std::vector<OverlayCurve> &overlay() const { return m_overlay.curves(); }
    // Items after "Result" in the menu, for the view's own commands.
    void setExtraMenuActions(const QList<QAction *> &actions) { m_extraActions = actions; }

    // The menu "Context" as it is about to be shown: the outputs' names,
    // locked outputs checked and greyed, the others checked when shown.
    QMenu *contextMenu();
    // What choosing an item (23000 to 23007) does: toggle, tell and repaint.
    void chooseMenuItem(int id);

signals:
    // The user toggled an output, "PEQ" or "Result" in the menu.
    void choicesChanged();

protected:
    QStringList legendLabels() const override;
    void computeCurves(const Mapping &map, CurveSampler &sampler) override;
    void paintCurves(QPainter &p, const Mapping &map) const override;
    std::vector<std::uint64_t> settledKey() const override;
    void paintSettled(QPainter &p, const Mapping &map) const override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QString overlayNote() const;

    OutputRecords m_outputs{};
    CrossoverOptions m_options;
    std::vector<Curve> m_curves;
    QMenu *m_menu = nullptr;
    Measurements m_measurements;
    bool m_normalise = true;
    CrossoverOverlay m_overlay;
    QList<QAction *> m_extraActions;
};

class CCross_Magnitude_Diagramm : public CrossoverDiagram
{
    Q_OBJECT
public:
    explicit CCross_Magnitude_Diagramm(QWidget *parent = nullptr);

protected:
    void paintMarkers(QPainter &p, const Mapping &map) const override;
    int markerAt(const Mapping &map, int x, int y) const override;
    void moveMarker(const Mapping &map, int marker, int x, int y) override;
    DragCodes dragCodes(int marker) const override;
};

class CCross_Phase_Diagramm : public CrossoverDiagram
{
    Q_OBJECT
public:
    explicit CCross_Phase_Diagramm(QWidget *parent = nullptr);
};

class CDynamik_Diagramm : public ResponseDiagram
{
    Q_OBJECT
public:
    explicit CDynamik_Diagramm(QWidget *parent = nullptr);
    void setDynamics(const DynamicsRecord &d) { m_dynamics = d; }
    const DynamicsRecord &dynamics() const { return m_dynamics; }

protected:
    void computeCurves(const Mapping &map, CurveSampler &sampler) override;
    void paintCurves(QPainter &p, const Mapping &map) const override;

private:
    DynamicsRecord m_dynamics;
    std::vector<MarkerPoint> m_curve;
};

} // namespace zar40::diagrams
