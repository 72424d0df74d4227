#pragma once
// The numbers of the response diagrams, with no painting: where the plot
// sits in the window, how frequencies and levels map to pixels and back,
// the grid step, which curves are drawn, the marker hit tests and what a
// drag may change, and the read-out texts. The widgets only paint what
// these functions decide, so everything here is tested without pixels.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/dynamics.h"
#include "zar40/dsp/filter_section.h"
#include "zar40/preset/parameter_facts.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zar40::diagrams {

enum class DiagramKind { EqMagnitude, EqPhase, CrossoverMagnitude, CrossoverPhase, Dynamics };

bool isFrequencyDiagram(DiagramKind kind);
bool isMagnitudeDiagram(DiagramKind kind); // the two with draggable markers

// Axis record: horizontal then vertical limits.
// The frequency axis spans what a band or crossover can be set to.
inline constexpr std::int32_t kFrequencyAxisMin = static_cast<std::int32_t>(preset::kEqFrequencyFacts.min);
inline constexpr std::int32_t kFrequencyAxisMax = static_cast<std::int32_t>(preset::kEqFrequencyFacts.max);

struct AxisLimits {
    std::int32_t xMin = kFrequencyAxisMin;
    std::int32_t xMax = kFrequencyAxisMax;
    std::int32_t yMin = -20;
    std::int32_t yMax = 20;
    friend bool operator==(const AxisLimits &, const AxisLimits &) = default;
};

// The limits a diagram has before its window exists, and those it sets once
// the window (and its spin buttons) exist.
AxisLimits constructionLimits(DiagramKind kind);
AxisLimits windowLimits(DiagramKind kind);

// The two spin buttons of a frequency diagram: position ranges, the value of
// one step and the positions they start at once the window exists.
struct SpinSetup {
    int lowerMin, lowerMax;
    int upperMin, upperMax;
    int valuePerStep;
    int lowerStart, upperStart;
};
std::optional<SpinSetup> spinSetupFor(DiagramKind kind); // none for dynamics
inline constexpr int kUpperSpinId = 10;
inline constexpr int kLowerSpinId = 11;
inline constexpr int kLowerEditId = 20;
inline constexpr int kUpperEditId = 21;

struct PlotRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // The mouse read-out and the drags count only strictly inside the edges.
    bool strictlyContains(int x, int y) const { return x > left && x < right && y > top && y < bottom; }
    friend bool operator==(const PlotRect &, const PlotRect &) = default;
};
PlotRect plotRectFor(DiagramKind kind, int clientWidth, int clientHeight);

// Vertical grid step for a vertical range (vmax - vmin).
int gridStep(DiagramKind kind, int range);

// Pixel mappings of one diagram at one size and set of limits. Values are
// clamped to the vertical limits before they are mapped (so -infinity and
// NaN land on the lower limit), which keeps every curve inside the plot.
class Mapping {
public:
    Mapping(DiagramKind kind, PlotRect plot, AxisLimits limits);

    int frequencyToX(double frequencyHz) const;
    double xToFrequency(double x) const;
    // The dynamics diagram maps its input level linearly onto x.
    int inputToX(double level) const;
    double xToInput(double x) const;
    int valueToY(double value) const;
    double yToValue(double y) const;
    double clampValue(double value) const;

    const PlotRect &plot() const { return m_plot; }
    const AxisLimits &limits() const { return m_limits; }

private:
    DiagramKind m_kind;
    PlotRect m_plot;
    AxisLimits m_limits;
};

// Read-outs and dragged values are truncated toward zero; NaN and values
// beyond the int range saturate instead of being undefined.
int truncateToInt(double v);

// " %2i Hz, %2i dBu", " %2i Hz, %2i degree" or " Input %2i dBu, Output %2i dBu"
// for the mouse at (x, y); "" outside the plot.
std::string readOutText(DiagramKind kind, const Mapping &map, int x, int y);

// ---- Colours ------------------------------------------------------------------

// 0x00BBGGRR, slot 0 to 5 (the sixth is "Result" in the equalizer diagrams).
std::uint32_t curveColour(DiagramKind kind, int slot);
inline constexpr std::uint32_t kResultColour = 0xFFFFFF;
inline constexpr std::uint32_t kDynamicsCurveColour = 0x499BEF; // RGB(239, 155, 73)
inline constexpr int kResultPenWidth = 2;

// ---- Equalizer diagrams -------------------------------------------------------

struct BandRecord {
    std::uint32_t type = 0;
    float frequency = 1000.0f;
    float q = 0.7f;
    float gain = 0.0f;
    float gainMin = 0.0f;
    float gainMax = 0.0f;
};
// A band record with its gain limits taken from its type.
BandRecord makeBandRecord(std::uint32_t type, float frequency, float q, float gain);
using BandRecords = std::array<BandRecord, dsp::kEqBands>;

// The design inputs of a band as the diagrams draw it: the frequency
// truncated, the gain 0 for the types without gain.
dsp::EqBandSettings bandSettingsOf(const BandRecord &band);
dsp::EqChain eqChainOf(const BandRecords &bands);
bool anyBandActive(const BandRecords &bands);

struct MarkerPoint {
    int x, y;
};
MarkerPoint bandMarkerPoint(const Mapping &map, const BandRecord &band);
// A band has a marker when it is active and its gain lies strictly between
// the vertical limits.
bool bandHasMarker(const Mapping &map, const BandRecord &band);

inline constexpr int kNoMarker = 100;
// The first band with a marker within 13 pixels across and 9 up or down.
int hitBand(const Mapping &map, const BandRecords &bands, int x, int y);
// Applies a drag move of band `index` to (x, y); true when the band changed.
bool dragBand(const Mapping &map, BandRecord &band, int x, int y);

// ---- Crossover diagrams ---------------------------------------------------------

struct CrossoverRecord {
    // low-pass type, frequency, order, high-pass type, frequency, order
    std::array<float, 6> values{0.0f, 1000.0f, 4.0f, 4.0f, 1000.0f, 4.0f};
    dsp::CrossoverSettings lowPass() const;
    dsp::CrossoverSettings highPass() const;
    bool bothBypassed() const;
};

struct OutputRecord {
    BandRecords bands{};
    CrossoverRecord crossover;
    std::string name;
    bool shown = true;
    bool locked = false;
};
using OutputRecords = std::array<OutputRecord, dsp::kOutputs>;

struct CrossoverOptions {
    bool peq = true;
    bool result = true;
};

dsp::OutputChain outputChainOf(const OutputRecord &output, bool withPeq);
// Outputs that draw their own curve: shown or locked, and not both filters
// bypassed.
bool outputDrawsCurve(const OutputRecord &output);
// The outputs summed into "Result": the locked ones, in output order.
std::vector<int> outputsInSum(const OutputRecords &outputs);
bool resultDrawn(const OutputRecords &outputs, const CrossoverOptions &options);

// Marker index 2*output (low-pass) or 2*output + 1 (high-pass), 0 to 11.
int hitCrossoverMarker(const Mapping &map, const OutputRecords &outputs, int x, int y);
bool crossoverMarkerActive(const OutputRecord &output, bool highPass);
int crossoverMarkerX(const Mapping &map, const OutputRecord &output, bool highPass);
bool dragCrossoverMarker(const Mapping &map, OutputRecords &outputs, int marker, int x, int y);

// Context menu item IDs.
inline constexpr int kMenuFirstOutput = 23000; // to 23005
inline constexpr int kMenuPeq = 23006;
inline constexpr int kMenuResult = 23007;

// Notification codes to the view.
inline constexpr int kCrossoverDragMove = 52200;
inline constexpr int kCrossoverDragEnd = 52201;
inline constexpr int kEqDragMove = 52300;
inline constexpr int kEqDragEnd = 52301;
inline constexpr int kDragMoveItem = 2;

// ---- Curves -----------------------------------------------------------------------

// One value per pixel column x = L .. R - 2, evaluated on unit-circle points
// prepared once per plot width, then mapped to clamped pixel rows.
class CurveSampler {
public:
    // Prepares the frequencies of the columns; cheap when nothing changed.
    void prepare(const Mapping &map);
    std::size_t columns() const { return m_points.size(); }
    int firstX() const { return m_firstX; }
    std::span<const float> frequencies() const { return m_frequencies; }

    enum class Quantity { Magnitude, Phase };
    std::vector<double> cascade(Quantity q, const dsp::FilterSection *sections, std::size_t count) const;
    // The same into OUT, whose storage is kept from call to call.
    void cascade(Quantity q, const dsp::FilterSection *sections, std::size_t count, std::vector<double> &out) const;
    std::vector<double> sum(Quantity q, const dsp::ResultBuffer &buffer) const;

private:
    int m_firstX = 0;
    PlotRect m_plot;
    AxisLimits m_limits;
    bool m_prepared = false;
    std::vector<float> m_frequencies;
    std::vector<dsp::UnitCirclePoint> m_points;
};

// Pixel rows of values, clamped to the limits.
std::vector<int> curveRows(const Mapping &map, std::span<const double> values);

// The curves a diagram draws, in painting order, as pixel rows starting at
// the plot's left edge. slot is the colour slot; result marks "Result".
struct Curve {
    int slot = 0;
    bool result = false;
    std::vector<int> rows;
};
std::vector<Curve> eqCurves(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                            CurveSampler::Quantity q);
std::vector<Curve> crossoverCurves(const Mapping &map, const CurveSampler &sampler, const OutputRecords &outputs,
                                   const CrossoverOptions &options, CurveSampler::Quantity q);

// The dynamics diagram's data.
struct DynamicsRecord {
    float threshold = 0.0f;
    float knee = 0.0f;
    float ratio = 1.0f;
    float gain = 0.0f;
    std::uint32_t type = 0;
};
// Points (x, y) of the dynamics curve; empty when nothing is drawn.
std::vector<MarkerPoint> dynamicsCurve(const Mapping &map, const DynamicsRecord &d);

} // namespace zar40::diagrams
