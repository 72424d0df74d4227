#pragma once

#include "zar40/model/channel_copy.h"
#include "zar40/preset/record.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QListWidget;

// "Copy Channel": copies parts of one channel's setup to another within the
// current preset. It stays open for several copies; every copy is handed to
// the editor at once, which makes it an edit of its own.
class CCopyChannelDlg : public QDialog
{
    Q_OBJECT
public:
    // The lists name RECORD's channels; COPY does each copy and says how
    // many items it copied.
    using CopyFunction = std::function<int(const zar40::model::ChannelCopy &)>;
    CCopyChannelDlg(QWidget *parent, const zar40::preset::PresetRecord &record, CopyFunction copy);

    // Copies what is checked, inputs then outputs; the number of items.
    int copyChecked();

private:
    CopyFunction m_copy;
    QListWidget *m_inputFrom;
    QListWidget *m_inputTo;
    QListWidget *m_outputFrom;
    QListWidget *m_outputTo;
    std::array<QCheckBox *, 3> m_inputItems{};
    std::array<QCheckBox *, 8> m_outputItems{};
};
