#include "FitEqDlg.h"

#include "user_prompts.h"

#include "zar40/dsp/eq_design.h"
#include "zar40/preset/parameter_facts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace ms = zar40::measurement;
namespace dsp = zar40::dsp;
namespace preset = zar40::preset;

namespace {

constexpr int kSmoothings[] = {0, 1, 2, 3, 6, 12, 24, 48};
enum TargetIndex { TargetFlat, TargetTilt, TargetFile };

QString bandText(const dsp::EqBandSettings &b)
{
    if (b.type == dsp::EqBypass)
        return CFitEqDlg::tr("off");
    return QStringLiteral("%1 %2 Hz Q %3 %4 dB")
        .arg(QString::fromLatin1(dsp::EqBandTypeName(b.type)))
        .arg(b.frequencyHz)
        .arg(double(b.q), 0, 'f', 1)
        .arg(double(b.gainDb), 0, 'f', 1);
}

} // namespace

CFitEqDlg::CFitEqDlg(QWidget *parent, const QString &channelName, ms::Measurement measurement,
                     const ms::Bands &current, const ms::FitOptions &defaults, ApplyFunction apply)
    : QDialog(parent)
    , m_measurement(std::move(measurement))
    , m_current(current)
    , m_apply(std::move(apply))
    , m_target(new QComboBox(this))
    , m_tilt(new QDoubleSpinBox(this))
    , m_targetFileButton(new QPushButton(tr("Target File..."), this))
    , m_targetFileName(new QLabel(this))
    , m_low(new QSpinBox(this))
    , m_high(new QSpinBox(this))
    , m_maxBoost(new QDoubleSpinBox(this))
    , m_smoothing(new QComboBox(this))
    , m_fitButton(new QPushButton(tr("Fit"), this))
    , m_report(new QLabel(this))
{
    setObjectName(QStringLiteral("CFitEqDlg"));
    setWindowTitle(tr("Fit EQ - %1").arg(channelName));

    m_target->addItems({tr("Flat"), tr("Tilt"), tr("File")});
    m_target->setObjectName(QStringLiteral("fitTarget"));
    m_target->setAccessibleName(tr("Target"));
    m_tilt->setRange(-40.0, 40.0);
    m_tilt->setDecimals(1);
    m_tilt->setSingleStep(0.5);
    m_tilt->setSuffix(tr(" dB/decade"));
    m_tilt->setObjectName(QStringLiteral("fitTilt"));
    m_tilt->setAccessibleName(tr("Tilt in dB per decade"));
    m_targetFileButton->setObjectName(QStringLiteral("fitTargetFile"));
    m_targetFileButton->setAccessibleName(tr("Choose target file"));
    m_targetFileName->setAccessibleName(tr("Target file"));

    for (QSpinBox *s : {m_low, m_high}) {
        s->setRange(static_cast<int>(preset::kEqFrequencyFacts.min), static_cast<int>(preset::kEqFrequencyFacts.max));
        s->setSuffix(tr(" Hz"));
    }
    m_low->setValue(static_cast<int>(defaults.lowHz));
    m_high->setValue(static_cast<int>(defaults.highHz));
    m_low->setObjectName(QStringLiteral("fitLow"));
    m_low->setAccessibleName(tr("Lowest frequency"));
    m_high->setObjectName(QStringLiteral("fitHigh"));
    m_high->setAccessibleName(tr("Highest frequency"));

    auto *bandRow = new QHBoxLayout;
    for (std::size_t b = 0; b < m_bands.size(); ++b) {
        m_bands[b] = new QCheckBox(QString::number(b + 1), this);
        m_bands[b]->setChecked(defaults.usable[b]);
        m_bands[b]->setObjectName(QStringLiteral("fitBand%1").arg(b + 1));
        m_bands[b]->setAccessibleName(tr("Fit may set band %1").arg(b + 1));
        m_bands[b]->setToolTip(bandText(current[b]));
        bandRow->addWidget(m_bands[b]);
    }

    m_maxBoost->setRange(0.0, ms::kMaxBoostLimitDb);
    m_maxBoost->setDecimals(1);
    m_maxBoost->setValue(defaults.maxBoostDb);
    m_maxBoost->setSuffix(tr(" dB"));
    m_maxBoost->setObjectName(QStringLiteral("fitMaxBoost"));
    m_maxBoost->setAccessibleName(tr("Maximum boost"));
    for (int n : kSmoothings)
        m_smoothing->addItem(n == 0 ? tr("None") : tr("1/%1 octave").arg(n), n);
    m_smoothing->setCurrentIndex(m_smoothing->findData(defaults.smoothingFraction));
    m_smoothing->setObjectName(QStringLiteral("fitSmoothing"));
    m_smoothing->setAccessibleName(tr("Smoothing"));

    m_fitButton->setObjectName(QStringLiteral("fitRun"));
    m_fitButton->setAccessibleName(tr("Fit"));
    m_report->setObjectName(QStringLiteral("fitReport"));
    m_report->setAccessibleName(tr("Fit result"));
    m_report->setTextFormat(Qt::PlainText);
    m_report->setText(tr("Press Fit to place the bands."));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_applyButton = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    m_applyButton->setObjectName(QStringLiteral("fitApply"));
    m_applyButton->setAccessibleName(tr("Apply the fitted bands"));
    m_applyButton->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CFitEqDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_fitButton, &QPushButton::clicked, this, &CFitEqDlg::fit);
    connect(m_targetFileButton, &QPushButton::clicked, this, &CFitEqDlg::chooseTargetFile);

    // A result belongs to the options it was fitted with.
    connect(m_target, &QComboBox::currentIndexChanged, this, &CFitEqDlg::optionsChanged);
    connect(m_smoothing, &QComboBox::currentIndexChanged, this, &CFitEqDlg::optionsChanged);
    for (QSpinBox *s : {m_low, m_high})
        connect(s, &QSpinBox::valueChanged, this, &CFitEqDlg::optionsChanged);
    for (QDoubleSpinBox *s : {m_tilt, m_maxBoost})
        connect(s, &QDoubleSpinBox::valueChanged, this, &CFitEqDlg::optionsChanged);
    for (QCheckBox *c : m_bands)
        connect(c, &QCheckBox::toggled, this, &CFitEqDlg::optionsChanged);

    auto *targetRow = new QHBoxLayout;
    targetRow->addWidget(m_target);
    targetRow->addWidget(m_tilt);
    targetRow->addWidget(m_targetFileButton);
    targetRow->addWidget(m_targetFileName, 1);
    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(m_low);
    rangeRow->addWidget(new QLabel(tr("to"), this));
    rangeRow->addWidget(m_high);
    auto *form = new QFormLayout(this);
    form->addRow(tr("Target"), targetRow);
    form->addRow(tr("Range"), rangeRow);
    form->addRow(tr("Bands to set"), bandRow);
    form->addRow(tr("Maximum boost"), m_maxBoost);
    form->addRow(tr("Smoothing"), m_smoothing);
    form->addRow(m_fitButton);
    form->addRow(m_report);
    form->addRow(buttons);
    optionsChanged();
}

ms::FitOptions CFitEqDlg::options() const
{
    ms::FitOptions o;
    switch (m_target->currentIndex()) {
    case TargetTilt:
        o.target.kind = ms::TargetKind::Tilt;
        o.target.tiltDbPerDecade = m_tilt->value();
        break;
    case TargetFile:
        o.target.kind = ms::TargetKind::File;
        if (m_targetFile) o.target.file = *m_targetFile;
        break;
    default:
        break;
    }
    o.lowHz = m_low->value();
    o.highHz = m_high->value();
    for (std::size_t b = 0; b < m_bands.size(); ++b)
        o.usable[b] = m_bands[b]->isChecked();
    o.maxBoostDb = m_maxBoost->value();
    o.smoothingFraction = m_smoothing->currentData().toInt();
    return o;
}

bool CFitEqDlg::fit()
{
    ms::FitResult r = ms::fitEq(m_measurement, m_current, options());
    if (!r.ok) {
        m_result.reset();
        m_report->setText(tr("No fit: %1").arg(QString::fromStdString(r.message)));
        m_applyButton->setEnabled(false);
        return false;
    }
    QString text = tr("Residual before: RMS %1 dB, max %2 dB\nResidual after: RMS %3 dB, max %4 dB")
                       .arg(r.before.rmsDb, 0, 'f', 2)
                       .arg(r.before.maxDb, 0, 'f', 2)
                       .arg(r.after.rmsDb, 0, 'f', 2)
                       .arg(r.after.maxDb, 0, 'f', 2);
    if (!r.improved)
        text += tr("\nNo setting of the free bands lowers the residual; the bands stay as they are.");
    for (std::size_t b = 0; b < r.bands.size(); ++b)
        text += QStringLiteral("\n%1 %2: %3").arg(tr("Band")).arg(b + 1).arg(bandText(r.bands[b]));
    m_report->setText(text);
    m_applyButton->setEnabled(r.improved);
    m_result = std::move(r);
    return true;
}

bool CFitEqDlg::setTargetFile(const QString &path)
{
    const ms::ReadResult r = ms::readMeasurementFile(path.toStdString());
    if (!r.ok) {
        UserPrompts::current().message(UserPrompts::Icon::Exclamation, UserPrompts::Buttons::Ok,
                                       tr("%1: %2").arg(QFileInfo(path).fileName(), QString::fromStdString(r.errorText())),
                                       windowTitle(), this);
        return false;
    }
    m_targetFile = r.measurement;
    m_targetFileName->setText(QFileInfo(path).fileName());
    m_target->setCurrentIndex(TargetFile);
    optionsChanged();
    return true;
}

void CFitEqDlg::chooseTargetFile()
{
    UserPrompts::FileRequest request;
    request.title = tr("Target File");
    request.filter = tr("Response files (*.txt *.frd *.csv *.dat *.TXT *.FRD *.CSV *.DAT)");
    const QString path = UserPrompts::current().openFileName(request, this);
    if (!path.isEmpty()) setTargetFile(path);
}

void CFitEqDlg::optionsChanged()
{
    const int target = m_target->currentIndex();
    m_tilt->setEnabled(target == TargetTilt);
    m_targetFileButton->setEnabled(target == TargetFile || !m_targetFile);
    m_fitButton->setEnabled(target != TargetFile || m_targetFile.has_value());
    if (m_result) {
        m_result.reset();
        m_report->setText(tr("The options changed: press Fit again."));
    }
    m_applyButton->setEnabled(false);
}

void CFitEqDlg::accept()
{
    if (!m_result || !m_result->improved) return;
    if (m_apply) m_apply(m_result->bands);
    QDialog::accept();
}
