// The entry point of ZAR40-report.so, the only symbol it exports.
#include "zar40/ui/report/report_module.h"
#include "zar40/ui/report/HtmlReportWindow.h"

#include "vrn_plugin_api_export.h"

#include <type_traits>

VRN_PLUGIN_EXPORT void zar40ShowHtmlReport(const zar40::preset::PresetRecord &record, const QStringList &measurements,
                                           const zar40::report::ReportMeasurements &measured, QWidget *parent)
{
    zar40::report::HtmlReportWindow window(record, parent);
    window.setMeasurementLines(measurements);
    window.setMeasurements(measured);
    window.exec();
}

static_assert(std::is_same_v<decltype(zar40ShowHtmlReport), Zar40ShowHtmlReportFunction>);
