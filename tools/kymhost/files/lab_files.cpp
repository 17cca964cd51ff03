#include "files/lab_files.h"

#include "files/edf_writer.h"
#include "files/xdf_writer.h"

namespace kymhost {

std::vector<std::unique_ptr<RunListener>> LabFiles(const std::string& bdf, const std::string& edf,
                                                   const std::string& xdf) {
  std::vector<std::unique_ptr<RunListener>> files;
  if (!bdf.empty()) files.push_back(std::make_unique<EdfWriter>(bdf, edf::kBdf));
  if (!edf.empty()) files.push_back(std::make_unique<EdfWriter>(edf, edf::kEdf));
  if (!xdf.empty()) files.push_back(std::make_unique<XdfWriter>(xdf));
  return files;
}

}  // namespace kymhost
