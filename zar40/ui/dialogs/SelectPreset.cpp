#include "SelectPreset.h"

#include "zar40/preset/record.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

CSelectPreset::CSelectPreset(QWidget *parent, int initialNumber)
    : QDialog(parent)
    , m_number(new QSpinBox(this))
{
    setObjectName(QStringLiteral("CSelectPreset"));
    setWindowTitle(tr("Select Preset"));
    m_number->setObjectName(QStringLiteral("presetNumber"));
    m_number->setRange(1, zar40::preset::kPresetCount);
    m_number->setValue(initialNumber);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Preset on the ZAR:"), m_number);
    layout->addRow(buttons);
}

int CSelectPreset::presetNumber() const
{
    return std::clamp(m_number->value(), 1, zar40::preset::kPresetCount);
}
