#pragma once
// The "Html-Report" window lives in a library of its own, ZAR40-report.so,
// beside ZAR40.vpi: the editor loads it, and with it the browser engine,
// the first time a report is asked for.
#include "zar40/preset/record.h"
#include "zar40/ui/report/pages/report_pages.h"

#include <QStringList>

class QWidget;

#define ZAR40_REPORT_MODULE_FILE "ZAR40-report.so"
#define ZAR40_SHOW_REPORT_SYMBOL "zar40ShowHtmlReport"

// Shows the report of RECORD, with the window's MEASUREMENTS listed in its
// printout and MEASURED drawn in its diagrams, in the modal report window
// over PARENT and returns when the window is closed.
using Zar40ShowHtmlReportFunction = void(const zar40::preset::PresetRecord &record, const QStringList &measurements,
                                         const zar40::report::ReportMeasurements &measured, QWidget *parent);
