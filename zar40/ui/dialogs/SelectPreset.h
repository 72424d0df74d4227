#pragma once

#include <QDialog>

class QSpinBox;

// Asked right after connecting: which of the unit's 32 slots to work on.
// The number shown counts from 1.
class CSelectPreset : public QDialog
{
    Q_OBJECT
public:
    CSelectPreset(QWidget *parent, int initialNumber);

    // The chosen number, kept within 1 to 32 whatever was typed.
    int presetNumber() const;

private:
    QSpinBox *m_number;
};
