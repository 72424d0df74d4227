#include "CopyChannelDlg.h"


#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QListWidget *channelList(const QString &name, const QStringList &channels, QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->addItems(channels);
    list->setCurrentRow(0);
    list->setMaximumHeight(list->sizeHintForRow(0) * (static_cast<int>(channels.size()) + 1) + 6);
    return list;
}

template <std::size_t N>
QGroupBox *copyGroup(const QString &title, QListWidget *from, QListWidget *to, std::array<QCheckBox *, N> &boxes,
                     const std::array<const char *, N> &names, QWidget *parent)
{
    auto *group = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QObject::tr("From"), group), 0, 0);
    grid->addWidget(new QLabel(QObject::tr("To"), group), 0, 1);
    grid->addWidget(from, 1, 0);
    grid->addWidget(to, 1, 1);
    auto *checks = new QVBoxLayout;
    for (std::size_t i = 0; i < N; ++i) {
        boxes[i] = new QCheckBox(QString::fromLatin1(names[i]), group);
        boxes[i]->setObjectName(title + QLatin1Char(':') + QString::fromLatin1(names[i]));
        checks->addWidget(boxes[i]);
    }
    checks->addStretch();
    grid->addLayout(checks, 1, 2);
    return group;
}

template <std::size_t N>
std::uint32_t checkedMask(const std::array<QCheckBox *, N> &boxes)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (boxes[i]->isChecked()) mask |= 1u << i;
    return mask;
}

} // namespace

CCopyChannelDlg::CCopyChannelDlg(QWidget *parent, const zar40::preset::PresetRecord &record, CopyFunction copyFunction)
    : QDialog(parent)
    , m_copy(std::move(copyFunction))
{
    using namespace zar40::preset;
    setObjectName(QStringLiteral("CCopyChannelDlg"));
    setWindowTitle(tr("Copy Channel"));
    QStringList inputs;
    for (const InputChannel &in : record.inputs)
        inputs << QString::fromLatin1(textOf(in.NAME));
    QStringList outputs;
    for (const OutputChannel &out : record.outputs)
        outputs << QString::fromLatin1(textOf(out.NAME));
    m_inputFrom = channelList(QStringLiteral("inputFrom"), inputs, this);
    m_inputTo = channelList(QStringLiteral("inputTo"), inputs, this);
    m_outputFrom = channelList(QStringLiteral("outputFrom"), outputs, this);
    m_outputTo = channelList(QStringLiteral("outputTo"), outputs, this);

    // Bit order of the copy items in channel_copy.h.
    QGroupBox *in = copyGroup(tr("Inputs"), m_inputFrom, m_inputTo, m_inputItems, {"Gain", "Delay", "PEQ"}, this);
    QGroupBox *out = copyGroup(tr("Outputs"), m_outputFrom, m_outputTo, m_outputItems,
                               {"Route", "Delay", "Gain", "Phase", "PEQ", "XOver", "Dynamik", "Noisgate"}, this);

    auto *copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName(QStringLiteral("copyButton"));
    auto *close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(copy, &QPushButton::clicked, this, [this] { copyChecked(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(in);
    layout->addWidget(out);
    layout->addLayout(buttons);
}

int CCopyChannelDlg::copyChecked()
{
    zar40::model::ChannelCopy copy;
    copy.inputFrom = m_inputFrom->currentRow();
    copy.inputTo = m_inputTo->currentRow();
    copy.inputItems = checkedMask(m_inputItems);
    copy.outputFrom = m_outputFrom->currentRow();
    copy.outputTo = m_outputTo->currentRow();
    copy.outputItems = checkedMask(m_outputItems);
    return m_copy ? m_copy(copy) : 0;
}
