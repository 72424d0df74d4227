// The diagram widgets: pixels where the math puts them, drags through real
// mouse events with their notifications, the crossover context menu and the
// measurement overlay.
#include "test_application.h"
#include "zar40/ui/diagrams/diagrams.h"
#include "zar40/dsp/eq_design.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSpinBox>

#include <gtest/gtest.h>

using namespace zar40::diagrams;
namespace dsp = zar40::dsp;

namespace {


void Mouse(QWidget &w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(pos), w.mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

QRgb rgbOf(std::uint32_t bgr) { return colourFromBgr(bgr).rgb(); }

class DiagramWidgets : public ::testing::Test {
protected:
    void SetUp() override { vrntest::testApplication("diagram_widgets_test"); }
};

} // namespace

TEST_F(DiagramWidgets, EqImageHasPlotFillAndBandCurveWhereTheMathPutsIt)
{
    CPEQ_Frequenz_Diagramm d;
    EXPECT_EQ(d.limits(), windowLimits(DiagramKind::EqMagnitude));
    BandRecords bands{};
    bands[0] = makeBandRecord(dsp::EqPeq1, 100, 0.7f, 6);
    bands[1] = makeBandRecord(dsp::EqPeq1, 5000, 0.7f, -6);
    d.setBands(bands);
    const QSize size(800, 400);
    const QImage image = d.render(size);
    const Mapping map = d.mappingFor(size);
    EXPECT_EQ(image.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(38, 29), qRgb(0, 37, 76));

    // Band 2 at the column of 100 Hz, drawn over the grid and the 0 line.
    const int x = map.frequencyToX(100);
    const float f = static_cast<float>(map.xToFrequency(x));
    dsp::FilterSection s;
    ASSERT_TRUE(dsp::DesignEqSection(dsp::EqPeq1, 5000, 0.7f, -6, s));
    const int y = map.valueToY(dsp::CascadeMagnitude(f, &s, 1));
    EXPECT_EQ(image.pixel(x, y), rgbOf(curveColour(DiagramKind::EqMagnitude, 1)));
    // "Result" two pixels wide in white at +6 dB.
    const int ry = map.valueToY(6.0);
    EXPECT_TRUE(image.pixel(x, ry) == qRgb(255, 255, 255) || image.pixel(x, ry - 1) == qRgb(255, 255, 255));

    // A spin step moves the lower limit by 5 dB and is drawn.
    d.lowerSpin()->setValue(-8);
    EXPECT_EQ(d.limits().yMin, -40);
}

TEST_F(DiagramWidgets, EqDragNotifiesMovesAndTheEnd)
{
    CPEQ_Frequenz_Diagramm d;
    d.resize(800, 400);
    BandRecords bands{};
    bands[2] = makeBandRecord(dsp::EqLowPass, 1000, 0.7f, 0);
    d.setBands(bands);
    d.setControlId(7);
    QSignalSpy spy(&d, &ResponseDiagram::notification);
    const Mapping map = d.mappingFor(d.size());
    const MarkerPoint p = bandMarkerPoint(map, bands[2]);
    Mouse(d, QEvent::MouseButtonPress, {p.x + 3, p.y - 3}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(d.dragIndex(), 2);
    Mouse(d, QEvent::MouseMove, {map.frequencyToX(4000), map.valueToY(8)}, Qt::NoButton, Qt::LeftButton);
    Mouse(d, QEvent::MouseButtonRelease, {map.frequencyToX(4000), map.valueToY(8)}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][1].toInt(), 7);
    EXPECT_EQ(spy[0][2].toInt(), kEqDragMove);
    EXPECT_EQ(spy[0][3].toInt(), kDragMoveItem);
    EXPECT_EQ(spy[1][2].toInt(), kEqDragEnd);
    EXPECT_EQ(spy[1][3].toInt(), 102);
    EXPECT_NEAR(d.bands()[2].frequency, 4000, 60);
    EXPECT_EQ(d.bands()[2].gain, 0.0f);
    EXPECT_EQ(d.dragIndex(), kNoMarker);
    EXPECT_FALSE(d.readOut().isEmpty());

    // A press with a modifier held picks nothing.
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(p.x, p.y), QPointF(p.x, p.y), Qt::LeftButton, Qt::LeftButton,
                  Qt::ShiftModifier);
    QApplication::sendEvent(&d, &e);
    EXPECT_EQ(d.dragIndex(), kNoMarker);
}

TEST_F(DiagramWidgets, CrossoverMenuAndDragEnd)
{
    CCross_Magnitude_Diagramm d;
    d.resize(800, 400);
    OutputRecords outs{};
    for (int i = 0; i < 6; ++i) {
        outs[i].name = "Out " + std::to_string(i + 1);
        outs[i].locked = i < 2;
    }
    outs[1].crossover.values = {0, 1000, 4, 6, 2000, 4};
    d.setOutputs(outs);
    QMenu *menu = d.contextMenu();
    EXPECT_EQ(menu->objectName(), "Context");
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 9);
    EXPECT_EQ(actions[0]->text(), "Out 1");
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[2]->isEnabled());
    EXPECT_EQ(actions[7]->text(), "PEQ");
    d.chooseMenuItem(kMenuFirstOutput + 2);
    d.chooseMenuItem(kMenuFirstOutput);     // locked: stays
    d.chooseMenuItem(kMenuResult);
    EXPECT_FALSE(d.outputs()[2].shown);
    EXPECT_TRUE(d.outputs()[0].shown);
    EXPECT_FALSE(d.options().result);

    QSignalSpy spy(&d, &ResponseDiagram::notification);
    const Mapping map = d.mappingFor(d.size());
    const int x = map.frequencyToX(2000), zero = map.valueToY(0);
    Mouse(d, QEvent::MouseButtonPress, {x, zero - 5}, Qt::LeftButton, Qt::LeftButton);
    Mouse(d, QEvent::MouseMove, {map.frequencyToX(500), zero - 5}, Qt::NoButton, Qt::LeftButton);
    Mouse(d, QEvent::MouseButtonRelease, {map.frequencyToX(500), zero - 5}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][2].toInt(), kCrossoverDragMove);
    EXPECT_EQ(spy[1][2].toInt(), kCrossoverDragEnd);
    EXPECT_EQ(spy[1][3].toInt(), 3);
    EXPECT_NEAR(d.outputs()[1].crossover.values[4], 500, 10);
}

TEST_F(DiagramWidgets, DynamicsCurvePixel)
{
    CDynamik_Diagramm d;
    d.setDynamics({-10, 0, 4, 0, 2});
    const QSize size(400, 400);
    const QImage image = d.render(size);
    const Mapping map = d.mappingFor(size);
    // Input -20 dBu (column 25 + 116.67 -> the column whose input is below
    // the knee) comes out unchanged.
    const int x = map.plot().left + 100;
    const double in = map.xToInput(x);
    EXPECT_EQ(image.pixel(x, map.valueToY(in)), rgbOf(kDynamicsCurveColour));
}

TEST_F(DiagramWidgets, AnImageThatCannotBeMadeIsSignalledOnceASize)
{
    CDynamik_Diagramm d;
    QSignalSpy failed(&d, &ResponseDiagram::imageFailed);
    // An image of this size exceeds any address space.
    d.resize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QPaintEvent paint(QRect(0, 0, 10, 10));
    QApplication::sendEvent(&d, &paint);
    QApplication::sendEvent(&d, &paint);
    EXPECT_EQ(failed.count(), 1);
    QResizeEvent resized(d.size(), QSize(400, 400));
    QApplication::sendEvent(&d, &resized);
    QApplication::sendEvent(&d, &paint);
    EXPECT_EQ(failed.count(), 2);
}

namespace {

// A measurement over 100 Hz to 10 kHz that is exactly one band's curve.
std::shared_ptr<const zar40::measurement::Measurement> bandMeasurement(std::uint32_t type, int hz, float q, float gain,
                                                                       bool phase)
{
    dsp::FilterSection s;
    dsp::DesignEqSection(type, hz, q, gain, s);
    auto m = std::make_shared<zar40::measurement::Measurement>();
    for (float f : dsp::logSpacedFrequencies(100.0f, 10000.0f, 400)) {
        m->frequencyHz.push_back(f);
        m->magnitudeDb.push_back(dsp::CascadeMagnitude(f, &s, 1));
        if (phase)
            m->phaseDeg.push_back(dsp::CascadePhase(f, &s, 1));
    }
    return m;
}

} // namespace

TEST_F(DiagramWidgets, MeasurementOverlayShowsThePredictionAndFollowsADrag)
{
    CPEQ_Frequenz_Diagramm d;
    d.resize(800, 400);
    BandRecords bands{};
    bands[0] = makeBandRecord(dsp::EqPeq2, 1000, 1.0f, -6); // undoes the measured peak
    d.setBands(bands);
    d.setMeasurement(bandMeasurement(dsp::EqPeq1, 1000, 1.0f, 6, false), QStringLiteral("m.frd"), false);
    d.render(d.size());
    const Mapping map = d.mappingFor(d.size());
    ASSERT_EQ(d.overlay().size(), 2u);
    const OverlayCurve &measured = d.overlay()[0], &predicted = d.overlay()[1];
    EXPECT_FALSE(measured.predicted);
    EXPECT_TRUE(predicted.predicted);
    const auto column = [&](double hz) { return static_cast<std::size_t>(map.frequencyToX(hz) - map.plot().left); };
    // Nothing drawn where the measurement does not reach.
    EXPECT_EQ(measured.rows[column(50)], OverlayCurve::kGap);
    EXPECT_EQ(predicted.rows[column(20000)], OverlayCurve::kGap);
    EXPECT_NEAR(measured.rows[column(1000)], map.valueToY(6), 1);
    for (double hz : {150.0, 500.0, 1000.0, 3000.0, 9000.0})
        EXPECT_NEAR(predicted.rows[column(hz)], map.valueToY(0), 1) << hz;

    // Dragging the band moves the prediction with it, at once.
    const MarkerPoint pt = bandMarkerPoint(map, d.bands()[0]);
    Mouse(d, QEvent::MouseButtonPress, {pt.x, pt.y}, Qt::LeftButton, Qt::LeftButton);
    Mouse(d, QEvent::MouseMove, {map.frequencyToX(3000), pt.y}, Qt::NoButton, Qt::LeftButton);
    d.render(d.size());
    EXPECT_LT(d.overlay()[1].rows[column(1000)], map.valueToY(3)); // the peak shows again
    Mouse(d, QEvent::MouseButtonRelease, {map.frequencyToX(3000), pt.y}, Qt::LeftButton, Qt::NoButton);

    // The phase diagram draws nothing for a measurement without phase.
    CPEQ_Phase_Diagramm phase;
    phase.setMeasurement(bandMeasurement(dsp::EqPeq1, 1000, 1.0f, 6, false));
    phase.render(QSize(800, 400));
    EXPECT_TRUE(phase.overlay().empty());
}

TEST_F(DiagramWidgets, PredictedResultIsThePhaseTrueSumOfMeasuredOutputs)
{
    CCross_Magnitude_Diagramm d;
    OutputRecords outs{};
    for (int i = 0; i < 6; ++i) {
        outs[i].name = "Out " + std::to_string(i + 1);
        outs[i].locked = i < 2;
    }
    outs[0].crossover.values = {2, 1000, 4, 4, 1000, 4}; // Linkwitz-Riley low-pass
    outs[1].crossover.values = {0, 1000, 4, 6, 1000, 4}; // and high-pass
    d.setOutputs(outs);
    // Both drivers flat: the predicted sum is flat too.
    const auto flat = bandMeasurement(dsp::EqPeq1, 1000, 1.0f, 0, true);
    d.setMeasurements({flat, flat}, false);
    const QSize size(800, 400);
    d.render(size);
    const Mapping map = d.mappingFor(size);
    ASSERT_EQ(d.overlay().size(), 5u); // two outputs measured and predicted, and the sum
    const OverlayCurve &sum = d.overlay().back();
    EXPECT_TRUE(sum.result);
    const auto column = [&](double hz) { return static_cast<std::size_t>(map.frequencyToX(hz) - map.plot().left); };
    for (double hz : {200.0, 1000.0, 5000.0})
        EXPECT_NEAR(sum.rows[column(hz)], map.valueToY(0), 1) << hz;

    // Without a phase for one of them there is no sum to predict.
    d.setMeasurements({flat, bandMeasurement(dsp::EqPeq1, 1000, 1.0f, 0, false)}, false);
    d.redraw();
    d.render(size);
    ASSERT_EQ(d.overlay().size(), 4u);
    EXPECT_FALSE(d.overlay().back().result);
}

TEST_F(DiagramWidgets, FramesOverSettledCurvesShowWhatAFreshDiagramShows)
{
    // Two outputs whose predictions lie 12 dB apart and never cross, so that
    // the order the moving and the settled curves are drawn in shows nowhere.
    const QSize size(800, 400);
    OutputRecords outs{};
    for (int i = 0; i < 2; ++i) {
        outs[i].name = "Out " + std::to_string(i + 1);
        outs[i].crossover.values = {0, 1000, 4, 6, 20, 4}; // high-pass far below the measurement
    }
    auto lowered = std::make_shared<zar40::measurement::Measurement>(*bandMeasurement(dsp::EqPeq1, 1000, 1, 0, true));
    for (double &db : lowered->magnitudeDb)
        db -= 12;
    CrossoverDiagram::Measurements measured{bandMeasurement(dsp::EqPeq1, 1000, 1.0f, 0, true), lowered};
    AxisLimits limits = windowLimits(DiagramKind::CrossoverMagnitude);
    const auto fresh = [&] {
        CCross_Magnitude_Diagramm f;
        f.setOutputs(outs);
        f.setMeasurements(measured, false);
        f.setLimits(limits);
        return f.render(size);
    };
    CCross_Magnitude_Diagramm d;
    d.setLimits(limits);
    const auto step = [&] {
        d.setOutputs(outs);
        d.setMeasurements(measured, false);
        d.setLimits(limits);
        d.redraw();
        return d.render(size);
    };
    EXPECT_EQ(step(), fresh());
    for (float hz : {100.0f, 60.0f}) { // a drag on output 1: output 2's curves settle
        outs[0].crossover.values[4] = hz;
        EXPECT_EQ(step(), fresh()) << hz;
    }
    outs[1].crossover.values[4] = 90; // then output 2 moves
    EXPECT_EQ(step(), fresh());
    measured[0].reset();
    EXPECT_EQ(step(), fresh());
    limits.yMin = -20;
    EXPECT_EQ(step(), fresh());
}
