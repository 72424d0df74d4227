#include "report_pages.h"

#include "zar40/ui/diagrams/diagrams.h"
#include "zar40/diagrams/from_preset.h"
#include "zar40/preset/channel_names.h"
#include "zar40/preset/text_codec.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace zar40::report {
namespace {

// Where things go on a page, in the painter's coordinates (the printable
// area of the device, in its pixels).
struct PageFrame {
    QRectF header;
    QRectF body;
    QRectF footer;
};

QFont decorationFont()
{
    QFont f(QStringLiteral("serif"));
    f.setPointSizeF(8.0);
    return f;
}

PageFrame frameOf(QPagedPaintDevice &device)
{
    const QFontMetricsF fm(decorationFont(), &device);
    const qreal w = device.width();
    const qreal h = device.height();
    // A text line plus as much again between it and the body.
    const qreal band = 2.0 * fm.height();
    PageFrame f;
    f.header = QRectF(0, 0, w, fm.height());
    f.body = QRectF(0, band, w, h - 2.0 * band);
    f.footer = QRectF(0, h - fm.height(), w, fm.height());
    return f;
}

void paintDecoration(QPainter &p, const PageFrame &f, const PageTexts &texts)
{
    p.save();
    p.setFont(decorationFont());
    p.setPen(Qt::black);
    p.drawText(f.header, Qt::AlignLeft | Qt::AlignVCenter, texts.header);
    p.drawText(f.footer, Qt::AlignLeft | Qt::AlignVCenter, texts.footer);
    p.restore();
}

// The HTML page cut into body-sized slices, each on a page of its own with
// header and footer. The text layout breaks pages between table rows, so a
// row is never cut in two.
int paintHtmlPages(QPainter &p, QPagedPaintDevice &device, const PageFrame &f, const QString &html,
                   const PageTexts &texts)
{
    QTextDocument doc;
    QFont base(QStringLiteral("serif"));
    base.setPointSizeF(10.0);
    doc.setDefaultFont(base);
    doc.setHtml(html);
    // Fonts and lengths measured for the device, not for the screen.
    doc.documentLayout()->setPaintDevice(&device);
    doc.setPageSize(f.body.size());

    const int pages = doc.pageCount();
    const qreal step = f.body.height();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) device.newPage();
        paintDecoration(p, f, texts);
        p.save();
        p.translate(f.body.left(), f.body.top() - i * step);
        const QRectF slice(0, i * step, f.body.width(), step);
        p.setClipRect(slice);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = slice;
        context.palette.setColor(QPalette::Text, Qt::black);
        doc.documentLayout()->draw(&p, context);
        p.restore();
    }
    return pages;
}

// Diagrams are drawn at a width like the editor's and scaled to the page.
constexpr int kDiagramWidth = 1000;

void paintDiagram(QPainter &p, diagrams::ResponseDiagram &diagram, const QRectF &area)
{
    const qreal scale = area.width() / kDiagramWidth;
    const QSize size(kDiagramWidth, static_cast<int>(area.height() / scale));
    p.save();
    p.translate(area.topLeft());
    p.scale(scale, scale);
    diagram.paintVector(p, size);
    p.restore();
}

int paintMeasurementPage(QPainter &p, QPagedPaintDevice &device, const PageFrame &f, const PageTexts &texts)
{
    if (texts.measurements.isEmpty()) return 0;
    device.newPage();
    paintDecoration(p, f, texts);
    QFont titleFont(QStringLiteral("serif"));
    titleFont.setPointSizeF(12.0);
    titleFont.setBold(true);
    QFont lineFont(QStringLiteral("serif"));
    lineFont.setPointSizeF(10.0);
    const qreal titleHeight = 1.5 * QFontMetricsF(titleFont, &device).height();
    const qreal lineHeight = 1.3 * QFontMetricsF(lineFont, &device).height();
    p.save();
    p.setPen(Qt::black);
    p.setFont(titleFont);
    p.drawText(QRectF(f.body.left(), f.body.top(), f.body.width(), titleHeight), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Measurements"));
    p.setFont(lineFont);
    qreal y = f.body.top() + titleHeight;
    for (const QString &line : texts.measurements) {
        p.drawText(QRectF(f.body.left(), y, f.body.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop, line);
        y += lineHeight;
    }
    p.restore();
    return 1;
}

int paintDiagramPages(QPainter &p, QPagedPaintDevice &device, const PageFrame &f, const preset::PresetRecord &record,
                      const PageTexts &texts, const ReportMeasurements &measured)
{
    diagrams::CCross_Magnitude_Diagramm magnitude;
    diagrams::CCross_Phase_Diagramm phase;
    diagrams::CPEQ_Frequenz_Diagramm equalizer;
    diagrams::CrossoverDiagram::Measurements outputs;
    for (int o = 0; o < preset::kOutputCount; ++o)
        outputs[static_cast<std::size_t>(o)] = measured.channels[static_cast<std::size_t>(preset::kFirstOutput + o)];
    magnitude.setMeasurements(outputs, measured.normalise);
    phase.setMeasurements(outputs, measured.normalise);

    QFont titleFont(QStringLiteral("serif"));
    titleFont.setPointSizeF(12.0);
    titleFont.setBold(true);
    const QFontMetricsF fm(titleFont, &device);
    const qreal titleHeight = 1.5 * fm.height();
    const qreal gap = 0.5 * fm.height();
    const qreal diagramHeight = (f.body.height() - titleHeight - 2.0 * gap) / 3.0;

    for (int o = 0; o < preset::kOutputCount; ++o) {
        device.newPage();
        paintDecoration(p, f, texts);
        const auto &channel = record.outputs[static_cast<std::size_t>(o)];
        p.save();
        p.setFont(titleFont);
        p.setPen(Qt::black);
        p.drawText(QRectF(f.body.left(), f.body.top(), f.body.width(), titleHeight), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(preset::channelName(preset::kFirstOutput + o, preset::ChannelNameForm::Title)) +
                       QStringLiteral(" - ") + fromWindows1252(preset::textOf(channel.NAME)));
        p.restore();

        magnitude.setOutputs(diagrams::outputsOf(record, o));
        magnitude.redraw();
        phase.setOutputs(diagrams::outputsOf(record, o));
        phase.redraw();
        equalizer.setBands(diagrams::bandRecordsOf(record, preset::kFirstOutput + o));
        const auto measuredChannel = static_cast<std::size_t>(preset::kFirstOutput + o);
        equalizer.setMeasurement(measured.channels[measuredChannel], measured.names[measuredChannel],
                                 measured.normalise);
        equalizer.redraw();

        qreal y = f.body.top() + titleHeight;
        for (diagrams::ResponseDiagram *d : {static_cast<diagrams::ResponseDiagram *>(&magnitude),
                                             static_cast<diagrams::ResponseDiagram *>(&phase),
                                             static_cast<diagrams::ResponseDiagram *>(&equalizer)}) {
            paintDiagram(p, *d, QRectF(f.body.left(), y, f.body.width(), diagramHeight));
            y += diagramHeight + gap;
        }
    }
    return preset::kOutputCount;
}

} // namespace

QString fromWindows1252(std::string_view bytes) { return QString::fromStdString(preset::cp1252ToUtf8(bytes)); }

report::ReportTime localReportTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

int printHtml(QPagedPaintDevice &device, const QString &html, const PageTexts &texts)
{
    QPainter p;
    if (!p.begin(&device)) return 0;
    const int pages = paintHtmlPages(p, device, frameOf(device), html, texts);
    p.end();
    return pages;
}

PdfResult writeReportPdf(const preset::PresetRecord &record, const QString &path, const PageTexts &texts,
                         const ReportMeasurements &measured)
{
    PdfResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter));
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("ZAR40 Plug-in"));
        writer.setTitle(QStringLiteral("HTML Report"));
        QPainter p;
        if (!p.begin(&writer)) {
            file.cancelWriting();
            result.error = QStringLiteral("cannot draw the PDF pages");
            return result;
        }
        const PageFrame f = frameOf(writer);
        const std::string page = report::reportDocument(record);
        result.pages = paintHtmlPages(p, writer, f, fromWindows1252(page), texts);
        result.pages += paintMeasurementPage(p, writer, f, texts);
        result.pages += paintDiagramPages(p, writer, f, record, texts, measured);
        p.end();
    }
    if (!file.commit()) {
        result.error = file.errorString();
        result.pages = 0;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace zar40::report
