#pragma once
// The crossover of one output: a "Low Cut" and a "High Cut" side, each with
// "Bypass", the type list "Butterworth", "Linkwitz-Riley", "Bessel", the
// frequency and the order. The codes of each side and what a bypassed side
// stores are the editor rules' (zar40/model/editor_rules.h).
#include "zar40/model/editor_rules.h"
#include "zar40/preset/record.h"

#include <QGroupBox>
#include <QWidget>

class QCheckBox;
class QComboBox;

namespace zar40::editors {

class CValueSpin;

// One side; the editor below holds two of them.
class CCrossoverSideEditor : public QGroupBox
{
    Q_OBJECT
public:
    CCrossoverSideEditor(zar40::model::CrossoverSide side, QWidget *parent = nullptr);

    zar40::model::CrossoverSide side() const { return m_side; }
    // Shows FILTER; emits nothing.
    void setFilter(const zar40::preset::CrossoverFilter &filter);
    const zar40::preset::CrossoverFilter &filter() const { return m_filter; }
    void setControlNamePrefix(const QString &prefix);

    QCheckBox *bypassBox() const { return m_bypass; }
    QComboBox *typeList() const { return m_type; }
    CValueSpin *frequencyField() const { return m_frequency; }
    CValueSpin *orderField() const { return m_order; }

signals:
    void filterChanging(const zar40::preset::CrossoverFilter &filter);
    void filterCommitted(const zar40::preset::CrossoverFilter &filter);

private:
    void showFilter();
    void onBypassClicked(bool bypass);
    void onTypeChosen(int position);
    void changeField(bool commit);
    void emitBoth();

    zar40::model::CrossoverSide m_side;
    zar40::preset::CrossoverFilter m_filter{};
    int m_lastPosition = 0;
    QCheckBox *m_bypass = nullptr;
    QComboBox *m_type = nullptr;
    CValueSpin *m_frequency = nullptr;
    CValueSpin *m_order = nullptr;
};

class CCrossoverEditor : public QWidget
{
    Q_OBJECT
public:
    // OUTPUT counts from 0 (output 1); it names the controls.
    explicit CCrossoverEditor(int output, QWidget *parent = nullptr);

    int output() const { return m_output; }
    // Show both sides of an output; emit nothing.
    void setOutput(const zar40::preset::OutputChannel &output);
    // In the record's order: high cut (the low-pass), then low cut.
    void setFilters(const zar40::preset::CrossoverFilter &highCut, const zar40::preset::CrossoverFilter &lowCut);
    void setFilter(zar40::model::CrossoverSide side, const zar40::preset::CrossoverFilter &filter);
    const zar40::preset::CrossoverFilter &filter(zar40::model::CrossoverSide side) const;

    CCrossoverSideEditor *sideEditor(zar40::model::CrossoverSide side) const;

signals:
    void filterChanging(zar40::model::CrossoverSide side, const zar40::preset::CrossoverFilter &filter);
    void filterCommitted(zar40::model::CrossoverSide side, const zar40::preset::CrossoverFilter &filter);

private:
    int m_output;
    CCrossoverSideEditor *m_lowCut = nullptr;
    CCrossoverSideEditor *m_highCut = nullptr;
};

} // namespace zar40::editors
