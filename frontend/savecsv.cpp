#include "frontend/savecsv.h"

#include "formats/csvexport.h"
#include "frontend/userio.h"

bool SaveCsv(UserIO& io, const FlightData& fd, std::string& exportFileName) {
  const auto chosen = io.SaveFileName("*.csv", "*.csv");
  if (!chosen) return false;
  exportFileName = *chosen;
  // The dialog hands back the mask with its folder in front when the user saves
  // without naming a file.
  const size_t slash = exportFileName.find_last_of('/');
  const std::string filePart =
      slash == std::string::npos ? exportFileName : exportFileName.substr(slash + 1);
  if (filePart == "*.csv") return false;
  WriteCsvFile(exportFileName, fd);
  return true;
}
