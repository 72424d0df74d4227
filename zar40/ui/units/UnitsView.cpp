#include "UnitsView.h"

#include "UnitMeters.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/values.h"

#include "user_prompts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using zar40::editor::RigJob;
using zar40::editor::RigSession;

namespace {

QPushButton *button(const QString &text, const QString &name, const QString &accessible, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAccessibleName(accessible);
    return b;
}

} // namespace

CUnitsView::CUnitsView()
{
    auto *bar = new QHBoxLayout;
    m_scan = button(tr("Scan"), QStringLiteral("scanButton"), tr("Scan the CAN bus for units"), this);
    m_scope = new QComboBox(this);
    m_scope->setObjectName(QStringLiteral("scopeCombo"));
    m_scope->setAccessibleName(tr("Units the commands go to"));
    m_scope->addItems({tr("All units"), tr("Selected units")});
    auto *slotLabel = new QLabel(tr("Slot"), this);
    m_slot = new QSpinBox(this);
    m_slot->setObjectName(QStringLiteral("slotSpin"));
    m_slot->setAccessibleName(tr("Slot to recall"));
    m_slot->setRange(1, 32);
    slotLabel->setBuddy(m_slot);
    m_recall = button(tr("Recall"), QStringLiteral("recallButton"), tr("Recall the slot on the units"), this);
    m_store = button(tr("Store"), QStringLiteral("storeButton"), tr("Store what the units play in their slots"), this);
    m_mute = button(tr("Mute All"), QStringLiteral("muteButton"), tr("Mute all outputs of the units"), this);
    m_unmute = button(tr("Unmute All"), QStringLiteral("unmuteButton"), tr("Unmute all outputs of the units"), this);
    m_backup = button(tr("Backup..."), QStringLiteral("backupButton"), tr("Back up the units into a folder"), this);
    m_restore = button(tr("Restore..."), QStringLiteral("restoreButton"), tr("Restore the units from a folder"), this);
    m_open = button(tr("Open Editor"), QStringLiteral("openEditorButton"), tr("Open an editor on the selected unit"), this);
    bar->addWidget(m_scan);
    bar->addSpacing(12);
    bar->addWidget(m_scope);
    bar->addWidget(slotLabel);
    bar->addWidget(m_slot);
    for (QWidget *w : {m_recall, m_store, m_mute, m_unmute, m_backup, m_restore}) bar->addWidget(w);
    bar->addStretch(1);
    bar->addWidget(m_open);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("unitsTable"));
    m_table->setAccessibleName(tr("Units on the bus"));
    m_table->setHorizontalHeaderLabels(
        {tr("Net-ID"), tr("Device name"), tr("Device number"), tr("Slot"), tr("Firmware"), tr("Levels"), tr("Progress"),
         tr("Status")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(34);
    // The corner button selects every row.
    if (auto *corner = m_table->findChild<QAbstractButton *>()) corner->setAccessibleName(tr("Select all units"));

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("unitsStatus"));
    m_status->setAccessibleName(tr("Units window status"));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);

    connect(m_scan, &QPushButton::clicked, this, &CUnitsView::scan);
    connect(m_recall, &QPushButton::clicked, this, &CUnitsView::recall);
    connect(m_store, &QPushButton::clicked, this, &CUnitsView::store);
    connect(m_mute, &QPushButton::clicked, this, [this] { mute(true); });
    connect(m_unmute, &QPushButton::clicked, this, [this] { mute(false); });
    connect(m_backup, &QPushButton::clicked, this, &CUnitsView::backup);
    connect(m_restore, &QPushButton::clicked, this, &CUnitsView::restore);
    connect(m_open, &QPushButton::clicked, this, &CUnitsView::openEditor);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CUnitsView::updateControls);
    connect(m_scope, &QComboBox::currentIndexChanged, this, &CUnitsView::updateControls);
    updateControls();
}

CUnitsView::~CUnitsView() = default;

void CUnitsView::onInitialUpdate()
{
    if (m_session && m_session->netIds().isEmpty()) scan();
}

void CUnitsView::setSession(std::unique_ptr<RigSession> session)
{
    m_session = std::move(session);
    if (m_session) {
        connect(m_session.get(), &RigSession::scanFinished, this, [this] {
            rebuildRows();
            const int n = int(m_session->netIds().size());
            QString text = n == 1 ? tr("1 unit found") : tr("%1 units found").arg(n);
            if (!m_session->inUse().isEmpty())
                text += tr("; Net-IDs in use by an editor: %1").arg(unitList(m_session->inUse()));
            m_status->setText(text);
            updateControls();
        });
        connect(m_session.get(), &RigSession::unitChanged, this, &CUnitsView::updateRow);
        connect(m_session.get(), &RigSession::levelsChanged, this, &CUnitsView::updateMeters);
        connect(m_session.get(), &RigSession::commandFinished, this, [this](int ok, int failed) {
            m_status->setText(failed ? tr("%1 of %2 units failed; see their status").arg(failed).arg(ok + failed)
                                     : tr("Done on %1 units").arg(ok));
            updateControls();
        });
    } else {
        m_status->setText(tr("There is no CAN bus in this program."));
    }
    updateControls();
}

void CUnitsView::updateControls()
{
    const bool idle = m_session && !m_session->isScanning() && !m_session->isRunning();
    const bool haveUnits = idle && !targetUnits().isEmpty();
    m_scan->setEnabled(idle);
    for (QWidget *w : {static_cast<QWidget *>(m_recall), static_cast<QWidget *>(m_store), static_cast<QWidget *>(m_mute),
                       static_cast<QWidget *>(m_unmute), static_cast<QWidget *>(m_backup),
                       static_cast<QWidget *>(m_restore)})
        w->setEnabled(haveUnits);
    m_open->setEnabled(idle && m_table->selectionModel()->selectedRows().size() == 1);
}

QList<int> CUnitsView::targetUnits() const
{
    if (!m_session) return {};
    if (m_scope->currentIndex() == 0) return m_session->netIds();
    QList<int> ids;
    for (const QModelIndex &row : m_table->selectionModel()->selectedRows())
        ids << m_table->item(row.row(), NetId)->data(Qt::UserRole).toInt();
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString CUnitsView::unitList(const QList<int> &units) const
{
    QStringList names;
    for (int id : units) {
        const RigSession::Unit *u = m_session ? m_session->unit(id) : nullptr;
        names << (u && !u->found.deviceName.isEmpty() ? tr("Net-ID %1 \"%2\"").arg(id).arg(u->found.deviceName)
                                                      : tr("Net-ID %1").arg(id));
    }
    return names.join(QStringLiteral(", "));
}

void CUnitsView::rebuildRows()
{
    m_table->setRowCount(0);
    m_rows.clear();
    const QList<int> ids = m_session->netIds();
    m_table->setRowCount(int(ids.size()));
    for (int row = 0; row < ids.size(); ++row) {
        const int id = ids[row];
        m_rows[id] = row;
        const RigSession::Unit *u = m_session->unit(id);
        auto item = [](const QString &text) {
            auto *i = new QTableWidgetItem(text);
            return i;
        };
        auto *netId = item(QString::number(id));
        netId->setData(Qt::UserRole, id);
        m_table->setItem(row, NetId, netId);
        m_table->setItem(row, Name, item(u->found.deviceName));
        m_table->setItem(row, Number,
                         item(QString::fromLatin1(zar40::codec::deviceNumberText(u->found.deviceNumber)).trimmed()));
        m_table->setItem(row, Slot, item(u->found.currentPreset ? QString::number(u->found.currentPreset) : tr("?")));
        m_table->setItem(row, Firmware,
                         item(u->found.revision ? QStringLiteral("%1.%2")
                                                      .arg(zar40::codec::revisionMajor(u->found.revision))
                                                      .arg(zar40::codec::revisionMinor(u->found.revision))
                                                : tr("?")));
        auto *meters = new CUnitMeters(m_table);
        meters->setAccessibleName(tr("Levels and output mutes of Net-ID %1").arg(id));
        m_table->setCellWidget(row, Meters, meters);
        auto *bar = new QProgressBar(m_table);
        bar->setAccessibleName(tr("Progress of Net-ID %1").arg(id));
        bar->setRange(0, 1);
        bar->setValue(0);
        bar->setTextVisible(false);
        m_table->setCellWidget(row, Progress, bar);
        m_table->setItem(row, Status, item(QString()));
    }
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(Progress, 140);
    m_table->horizontalHeader()->setSectionResizeMode(Status, QHeaderView::Stretch);
}

void CUnitsView::updateRow(int netId)
{
    const auto it = m_rows.constFind(netId);
    const RigSession::Unit *u = m_session->unit(netId);
    if (it == m_rows.constEnd() || !u) return;
    auto *bar = qobject_cast<QProgressBar *>(m_table->cellWidget(*it, Progress));
    if (bar) {
        if (u->busy && u->total == 0) {
            bar->setRange(0, 0); // going, no count yet
        } else {
            bar->setRange(0, std::max(1, u->total));
            bar->setValue(u->busy || !u->failed ? u->done : 0);
        }
    }
    QTableWidgetItem *status = m_table->item(*it, Status);
    status->setText(u->status);
    status->setForeground(u->failed ? QColor(200, 0, 0) : palette().color(QPalette::Text));
}

void CUnitsView::updateMeters(int netId)
{
    const auto it = m_rows.constFind(netId);
    const RigSession::Unit *u = m_session->unit(netId);
    if (it == m_rows.constEnd() || !u) return;
    if (auto *m = qobject_cast<CUnitMeters *>(m_table->cellWidget(*it, Meters))) {
        m->setLevels(u->levels);
        m->setMuteState(u->muteState, u->hasMuteState);
    }
}

bool CUnitsView::runJob(const RigJob &job, const QList<int> &units)
{
    if (!m_session || units.isEmpty()) return false;
    const bool started = m_session->run(units, job);
    if (started)
        m_status->setText(units.size() > 4
                              ? tr("%1 on %2 units").arg(zar40::editor::commandName(job.command)).arg(units.size())
                              : tr("%1 on %2").arg(zar40::editor::commandName(job.command), unitList(units)));
    updateControls();
    return started;
}

void CUnitsView::scan()
{
    if (!m_session) return;
    m_status->setText(tr("Scanning Net-IDs 1 to 63 ..."));
    m_session->scan();
    updateControls();
}

void CUnitsView::recall()
{
    RigJob job;
    job.command = RigJob::Command::Recall;
    job.slot = m_slot->value();
    runJob(job, targetUnits());
}

void CUnitsView::store()
{
    RigJob job;
    job.command = RigJob::Command::Store;
    runJob(job, targetUnits());
}

void CUnitsView::mute(bool on)
{
    const QList<int> units = targetUnits();
    if (units.isEmpty()) return;
    // Muting a rig silences a show: say exactly which units.
    const QString question = (on ? tr("Mute all outputs of %1?") : tr("Unmute all outputs of %1?")).arg(unitList(units));
    if (!UserPrompts::current().questionYesNo(question, this, on ? tr("Mute All") : tr("Unmute All"))) return;
    RigJob job;
    job.command = on ? RigJob::Command::Mute : RigJob::Command::Unmute;
    runJob(job, units);
}

std::optional<QString> CUnitsView::askFolder(const QString &title)
{
    UserPrompts::TextRequest request;
    request.title = title;
    request.label = tr("Folder (one folder net-id-NN per unit below it):");
    request.initialText = QDir::home().filePath(
        QStringLiteral("ZAR40-units-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm"))));
    const auto folder = UserPrompts::current().textInput(request, this);
    if (!folder || folder->trimmed().isEmpty()) return std::nullopt;
    return folder->trimmed();
}

void CUnitsView::backup()
{
    const QList<int> units = targetUnits();
    const auto folder = askFolder(tr("Backup"));
    if (!folder) return;
    RigJob job;
    job.command = RigJob::Command::Backup;
    job.dir = *folder;
    runJob(job, units);
}

void CUnitsView::restore()
{
    const QList<int> units = targetUnits();
    const auto folder = askFolder(tr("Restore"));
    if (!folder) return;
    if (!UserPrompts::current().questionYesNo(
            tr("Overwrite the presets and settings of %1 from %2?").arg(unitList(units), *folder), this, tr("Restore")))
        return;
    RigJob job;
    job.command = RigJob::Command::Restore;
    job.dir = *folder;
    runJob(job, units);
}

void CUnitsView::openEditor()
{
    const auto rows = m_table->selectionModel()->selectedRows();
    if (rows.size() != 1 || !m_openEditor) return;
    m_openEditor(m_table->item(rows.front().row(), NetId)->data(Qt::UserRole).toInt());
}
