#include "ZARDocumentView.h"

#include "ZARDocument.h"

#include "zar40/comm/communicationmodul.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

QString muteText(std::uint8_t mute)
{
    return mute ? QStringLiteral("muted") : QStringLiteral("on");
}

} // namespace

CZARDocumentView::CZARDocumentView()
{
    setObjectName(QStringLiteral("CZARDocumentView"));
    setAutoFillBackground(true);

    QWidget *connectionBar = buildConnectionBar();

    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName(QStringLiteral("presetSummary"));
    m_summary->setReadOnly(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(connectionBar);
    layout->addWidget(m_summary, 1);
}

CZARDocumentView::~CZARDocumentView()
{
    // The connection talks to this view (prompts, wait window): it goes first.
    delete m_link;
    m_link = nullptr;
}

CZARDocument *CZARDocumentView::zarDocument() const
{
    return qobject_cast<CZARDocument *>(document());
}

void CZARDocumentView::onInitialUpdate()
{
    CView::onInitialUpdate();
    refreshSummary();
}

void CZARDocumentView::refreshSummary()
{
    const CZARDocument *doc = zarDocument();
    if (!doc) {
        m_summary->clear();
        return;
    }
    using namespace zar40::preset;
    const PresetRecord &r = doc->presets.currentRecord();
    QStringList lines;
    lines << tr("Preset %1: %2").arg(doc->presets.current() + 1).arg(QString::fromStdString(textOf(r.NAME)));
    lines << tr("Author: %1").arg(QString::fromStdString(textOf(r.AUTHOR)));
    for (int i = 0; i < kOutputCount; ++i) {
        const OutputChannel &out = r.outputs[static_cast<std::size_t>(i)];
        lines << tr("Output %1: %2  gain %3 dB  %4")
                     .arg(i + 1)
                     .arg(QString::fromStdString(textOf(out.NAME)))
                     .arg(static_cast<double>(out.GAIN), 0, 'f', 1)
                     .arg(muteText(out.MUTE));
    }
    m_summary->setPlainText(lines.join(QLatin1Char('\n')));
}
