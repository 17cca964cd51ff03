// Eyes closed against eyes open: each measure of both recordings and their ratio, the Romberg
// quotient of posturography.
#pragma once

#include "analysis/run_report.h"

#include <string>

namespace kymhost {

// Prints the table and, when summaryPath is not empty, writes it as JSON. False when the file
// could not be written.
bool ReportRomberg(const Analysis& open, const Analysis& closed, const std::string& openName,
                   const std::string& closedName, const std::string& summaryPath);

}  // namespace kymhost
