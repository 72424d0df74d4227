#pragma once
// The units window: the ZAR40 found on the CAN bus, each with its identity,
// its meters and mutes, and the progress of the command running on it;
// commands on all or on the selected units; "Open Editor" for one.
#include "doc_view.h"

#include "zar40/editor/RigSession.h"

#include <QMap>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class CUnitMeters;

class CUnitsView : public CView
{
    Q_OBJECT
public:
    enum Column { NetId, Name, Number, Slot, Firmware, Meters, Progress, Status, ColumnCount };

    CUnitsView();
    ~CUnitsView() override;

    // The bus to work on. Without one (no CAN window in this program) every
    // control stays disabled and the status says why.
    void setSession(std::unique_ptr<zar40::editor::RigSession> session);
    zar40::editor::RigSession *session() const { return m_session.get(); }
    // How "Open Editor" opens an editor on a Net-ID; the plug-in sets it.
    using OpenEditor = std::function<void(int netId)>;
    void setOpenEditor(OpenEditor open) { m_openEditor = std::move(open); }

    void onInitialUpdate() override;

    // The commands, as the buttons run them (tests call them too).
    void scan();
    void recall();
    void store();
    void mute(bool on);
    void backup();
    void restore();
    void openEditor();

    // The units a command goes to: the selected rows, or all with "All units".
    QList<int> targetUnits() const;
    QTableWidget *table() const { return m_table; }

private:
    void rebuildRows();
    void updateRow(int netId);
    void updateMeters(int netId);
    void updateControls();
    bool runJob(const zar40::editor::RigJob &job, const QList<int> &units);
    QString unitList(const QList<int> &units) const;
    std::optional<QString> askFolder(const QString &title);

    std::unique_ptr<zar40::editor::RigSession> m_session;
    OpenEditor m_openEditor;
    QMap<int, int> m_rows; // Net-ID -> row
    QTableWidget *m_table = nullptr;
    QPushButton *m_scan = nullptr;
    QComboBox *m_scope = nullptr;
    QSpinBox *m_slot = nullptr;
    QPushButton *m_recall = nullptr;
    QPushButton *m_store = nullptr;
    QPushButton *m_mute = nullptr;
    QPushButton *m_unmute = nullptr;
    QPushButton *m_backup = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_open = nullptr;
    QLabel *m_status = nullptr;
};
