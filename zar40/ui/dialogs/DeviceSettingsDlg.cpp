#include "DeviceSettingsDlg.h"

#include "user_prompts.h"

#include "zar40/preset/record.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QValidator>

namespace {

constexpr int kDeviceNameWidth = 16;

// Refuses the characters the unit cannot show in its name.
class NameValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        if (input.size() > kDeviceNameWidth) return Invalid;
        for (QChar c : input)
            if (c.unicode() > 0xFF || !zar40::preset::isNameCharacterAllowed(static_cast<char>(c.unicode())))
                return Invalid;
        return Acceptable;
    }
};

} // namespace

CDeviceSettingsDlg::CDeviceSettingsDlg(QWidget *parent, const QString &deviceName, bool keyboardLocked)
    : QDialog(parent)
    , m_name(new QLineEdit(this))
    , m_lock(new QCheckBox(tr("Keyboard lock"), this))
    , m_password(new QLineEdit(this))
    , m_confirm(new QLineEdit(this))
{
    setObjectName(QStringLiteral("CDeviceSettingsDlg"));
    setWindowTitle(tr("Devicesettings"));
    m_name->setObjectName(QStringLiteral("deviceName"));
    m_name->setMaxLength(kDeviceNameWidth);
    m_name->setValidator(new NameValidator(m_name));
    m_name->setText(deviceName.left(kDeviceNameWidth));
    m_lock->setObjectName(QStringLiteral("keyboardLock"));
    m_lock->setChecked(keyboardLocked);
    m_password->setObjectName(QStringLiteral("newPassword"));
    m_confirm->setObjectName(QStringLiteral("confirmPassword"));
    for (QLineEdit *e : {m_password, m_confirm})
        e->setEchoMode(QLineEdit::Password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDeviceSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(tr("Devicename"), m_name);
    form->addRow(QString(), m_lock);
    form->addRow(tr("New Password"), m_password);
    form->addRow(tr("Confirm Password"), m_confirm);
    form->addRow(buttons);
}

QString CDeviceSettingsDlg::deviceName() const
{
    return m_name->text();
}

bool CDeviceSettingsDlg::keyboardLocked() const
{
    return m_lock->isChecked();
}

QString CDeviceSettingsDlg::password() const
{
    return m_password->text();
}

void CDeviceSettingsDlg::accept()
{
    if (m_password->text() != m_confirm->text()) {
        UserPrompts::current().error(QString::fromLatin1(kPasswordMismatchText), this);
        return;
    }
    QDialog::accept();
}
