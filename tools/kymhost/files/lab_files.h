// The files labs open beside the CSV, each a listener of the run: BDF+, EDF+ and XDF.
#pragma once

#include "host/run_listener.h"

#include <memory>
#include <string>
#include <vector>

namespace kymhost {

// A writer for each path that is not empty.
std::vector<std::unique_ptr<RunListener>> LabFiles(const std::string& bdf, const std::string& edf,
                                                   const std::string& xdf);

}  // namespace kymhost
