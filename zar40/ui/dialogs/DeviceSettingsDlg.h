#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

// "Devicesettings": the unit's name, its keyboard lock and a new password.
// OK with two different passwords says so and stays open; the editor
// writes the values once the dialog is accepted.
class CDeviceSettingsDlg : public QDialog
{
    Q_OBJECT
public:
    CDeviceSettingsDlg(QWidget *parent, const QString &deviceName, bool keyboardLocked);

    QString deviceName() const;
    bool keyboardLocked() const;
    QString password() const;

    void accept() override;

private:
    QLineEdit *m_name;
    QCheckBox *m_lock;
    QLineEdit *m_password;
    QLineEdit *m_confirm;
};

inline constexpr const char *kPasswordMismatchText = "The passwords you entered did not match!";
