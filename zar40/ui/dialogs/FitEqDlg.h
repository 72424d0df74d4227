#pragma once
// "Fit EQ...": fits a channel's free equalizer bands to its measurement and
// shows the residual before and after; Apply hands the bands to the editor,
// which makes them one edit.
#include "zar40/measurement/fit.h"
#include "zar40/measurement/measurement_file.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

class CFitEqDlg : public QDialog
{
    Q_OBJECT
public:
    using ApplyFunction = std::function<void(const zar40::measurement::Bands &)>;
    // DEFAULTS gives the range and the free bands; CURRENT the channel's bands.
    CFitEqDlg(QWidget *parent, const QString &channelName, zar40::measurement::Measurement measurement,
              const zar40::measurement::Bands &current, const zar40::measurement::FitOptions &defaults,
              ApplyFunction apply);

    zar40::measurement::FitOptions options() const;
    // Runs the fit with the dialog's options; false (with the reason shown)
    // when it cannot.
    bool fit();
    const std::optional<zar40::measurement::FitResult> &result() const { return m_result; }
    // Reads a target file for the "File" target; false with the reason shown.
    bool setTargetFile(const QString &path);

    void accept() override;

private:
    void chooseTargetFile();
    void optionsChanged();

    zar40::measurement::Measurement m_measurement;
    zar40::measurement::Bands m_current;
    ApplyFunction m_apply;
    std::optional<zar40::measurement::Measurement> m_targetFile;
    std::optional<zar40::measurement::FitResult> m_result;

    QComboBox *m_target;
    QDoubleSpinBox *m_tilt;
    QPushButton *m_targetFileButton;
    QLabel *m_targetFileName;
    QSpinBox *m_low;
    QSpinBox *m_high;
    std::array<QCheckBox *, 5> m_bands{};
    QDoubleSpinBox *m_maxBoost;
    QComboBox *m_smoothing;
    QPushButton *m_fitButton;
    QLabel *m_report;
    QPushButton *m_applyButton;
};
