#pragma once

#include "zar40/preset/record.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QListWidget;

// "Copy Channel": copies parts of one channel's setup to another within the
// current preset. It stays open for several copies; every copy is handed to
// the editor at once (which marks the preset modified and refreshes).
class CCopyChannelDlg : public QDialog
{
    Q_OBJECT
public:
    // RECORD must outlive the dialog; COPIED runs after each copy with the
    // number of items copied.
    CCopyChannelDlg(QWidget *parent, zar40::preset::PresetRecord &record, std::function<void(int)> copied);

    // Copies what is checked, inputs then outputs; the number of items.
    int copyChecked();

private:
    zar40::preset::PresetRecord &m_record;
    std::function<void(int)> m_copied;
    QListWidget *m_inputFrom;
    QListWidget *m_inputTo;
    QListWidget *m_outputFrom;
    QListWidget *m_outputTo;
    std::array<QCheckBox *, 3> m_inputItems{};
    std::array<QCheckBox *, 8> m_outputItems{};
};
