#pragma once
// The dynamics panel ("Dynamik": bypass, limiter or compressor) and the
// noise-gate panel ("Noisegate") of one output. What each type stores and
// shows is the editor rules' (zar40/model/editor_rules.h); the signals carry
// the values the preset stores, never the values the panel shows.
#include "zar40/dsp/dynamics.h"
#include "zar40/model/editor_rules.h"
#include "zar40/preset/record.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;

namespace zar40::editors {

class CValueSlider;
class CValueSpin;

class CDynamicsEditor : public QGroupBox
{
    Q_OBJECT
public:
    // OUTPUT counts from 0 (output 1); it names the controls.
    explicit CDynamicsEditor(int output, QWidget *parent = nullptr);

    // Shows the stored stage as the panel shows it; emits nothing.
    void setDynamics(const zar40::preset::Dynamics &stored);
    const zar40::preset::Dynamics &dynamics() const { return m_stored; }

    QCheckBox *bypassBox() const { return m_bypass; }
    QComboBox *typeList() const { return m_type; }
    CValueSlider *thresholdSlider() const { return m_threshold; }
    CValueSlider *kneeSlider() const { return m_knee; }
    CValueSlider *gainSlider() const { return m_gain; }
    CValueSlider *ratioSlider() const { return m_ratio; }
    CValueSpin *attackField() const { return m_attack; }
    CValueSpin *releaseField() const { return m_release; }

signals:
    void dynamicsChanging(const zar40::preset::Dynamics &stored);
    void dynamicsCommitted(const zar40::preset::Dynamics &stored);

private:
    void showPanel();
    void store(std::uint32_t type);
    void onBypassClicked(bool bypass);
    void onTypeChosen(int position);
    void changeValue(float zar40::dsp::DynamicsSettings::*field, double value, bool commit);

    zar40::preset::Dynamics m_stored{};
    // What the controls hold, unrounded by slider steps.
    zar40::dsp::DynamicsSettings m_panel{};
    int m_lastPosition = 0;
    QCheckBox *m_bypass = nullptr;
    QComboBox *m_type = nullptr;
    CValueSlider *m_threshold = nullptr;
    CValueSlider *m_knee = nullptr;
    CValueSlider *m_gain = nullptr;
    CValueSlider *m_ratio = nullptr;
    CValueSpin *m_attack = nullptr;
    CValueSpin *m_release = nullptr;
};

class CNoiseGateEditor : public QGroupBox
{
    Q_OBJECT
public:
    explicit CNoiseGateEditor(int output, QWidget *parent = nullptr);

    // Shows the stored gate as the panel shows it; emits nothing.
    void setNoiseGate(const zar40::preset::NoiseGate &stored);
    const zar40::preset::NoiseGate &noiseGate() const { return m_stored; }

    QCheckBox *bypassBox() const { return m_bypass; }
    CValueSlider *thresholdSlider() const { return m_threshold; }
    CValueSpin *firstTimeField() const { return m_firstTime; }
    CValueSpin *secondTimeField() const { return m_secondTime; }

signals:
    void noiseGateChanging(const zar40::preset::NoiseGate &stored);
    void noiseGateCommitted(const zar40::preset::NoiseGate &stored);

private:
    void showPanel();
    void emitStored(bool commit);

    zar40::preset::NoiseGate m_stored{};
    zar40::model::NoiseGatePanel m_panel{};
    QCheckBox *m_bypass = nullptr;
    CValueSlider *m_threshold = nullptr;
    CValueSpin *m_firstTime = nullptr;
    CValueSpin *m_secondTime = nullptr;
};

} // namespace zar40::editors
