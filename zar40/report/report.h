#pragma once
// The printable report of one preset: every setting of every channel as
// HTML tables, for installers to hand to a venue.
//
// The page is 8-bit Windows-1252 text (it says so in its head), so record
// names go in as their bytes. Names are escaped, so that a name holding
// "<", "&" or a quote cannot break the page.
#include "zar40/preset/record.h"

#include <string>
#include <string_view>

namespace zar40::report {

using preset::PresetRecord;

// The fixed head and tail around the body.
std::string_view reportHead();
std::string_view reportTail();

// The tables: preset information, channel names, the three inputs, the six
// outputs, separated by "<br>\n".
std::string reportBody(const PresetRecord &record);

// Head, body and tail: the whole page as it is saved.
std::string reportDocument(const PresetRecord &record);

// The local time a printout is made at, as the clock gives it.
struct ReportTime {
    int year = 0;   // four digits
    int month = 0;  // 1 to 12
    int day = 0;    // day of the month
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The footer printed on every page: "ZAR40 Plug-in, 05.01.2010 - 14:07:09".
std::string reportFooter(const ReportTime &time);
// The header printed on every page.
inline constexpr std::string_view kReportHeader = "VRN-Control";

// TEXT with &, <, > and both quotes as character references.
std::string escapeHtml(std::string_view text);

} // namespace zar40::report
