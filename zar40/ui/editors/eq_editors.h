#pragma once
// The equalizer editors: one band (type list, "Bypass", frequency, Q and
// gain) and the five bands of one channel. Signals carry the band as the
// preset stores it; only the field the user touched changes, so a value
// that a file stored outside the editor's ranges survives edits of the
// other fields.
#include "zar40/preset/record.h"

#include <QGroupBox>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;

namespace zar40::editors {

class CValueSpin;

class CEqBandEditor : public QGroupBox
{
    Q_OBJECT
public:
    // BAND counts from 0; the box is titled "Band 1" to "Band 5".
    explicit CEqBandEditor(int band, QWidget *parent = nullptr);

    // Shows BAND; emits nothing.
    void setBand(const zar40::preset::EqBand &band);
    const zar40::preset::EqBand &band() const { return m_band; }
    int bandIndex() const { return m_index; }

    // The start of the controls' accessible names, e.g. "Input A band 1".
    void setControlNamePrefix(const QString &prefix);

    QComboBox *typeList() const { return m_type; }
    QCheckBox *bypassBox() const { return m_bypass; }
    CValueSpin *frequencyField() const { return m_frequency; }
    CValueSpin *qField() const { return m_q; }
    CValueSpin *gainField() const { return m_gain; }

signals:
    void bandChanging(const zar40::preset::EqBand &band);
    void bandCommitted(const zar40::preset::EqBand &band);

private:
    void showBand();
    void updateEnabling();
    void onTypeChosen(int position);
    void onBypassClicked(bool bypass);
    void changeField(bool commit);

    int m_index;
    zar40::preset::EqBand m_band{};
    // The list position that "Bypass" returns to when it is cleared.
    int m_lastPosition = 0;
    QComboBox *m_type = nullptr;
    QCheckBox *m_bypass = nullptr;
    CValueSpin *m_frequency = nullptr;
    CValueSpin *m_q = nullptr;
    CValueSpin *m_gain = nullptr;
};

// The five bands of one channel side by side.
class CEqChannelEditor : public QWidget
{
    Q_OBJECT
public:
    using Bands = std::array<zar40::preset::EqBand, zar40::preset::kBandCount>;

    // CHANNEL is the channel index (0 input A ... 8 output 6); it names the
    // controls.
    explicit CEqChannelEditor(int channel, QWidget *parent = nullptr);

    int channel() const { return m_channel; }
    // Show the bands; emit nothing. setBand ignores an index outside 0..4.
    void setBands(const Bands &bands);
    void setBand(int band, const zar40::preset::EqBand &value);
    Bands bands() const;

    CEqBandEditor *bandEditor(int band) const;

signals:
    void bandChanging(int band, const zar40::preset::EqBand &value);
    void bandCommitted(int band, const zar40::preset::EqBand &value);

private:
    int m_channel;
    std::array<CEqBandEditor *, zar40::preset::kBandCount> m_editors{};
};

} // namespace zar40::editors
