// The channel profiles in the settings folder, one file per logger in the project's
// profile-file layout ("kanaele-012.ini", "kanaele-ohne-seriennummer.ini"). A profile is
// written whole or not at all; a damaged file is put aside as "….defekt" and reported, and
// the channels then show their raw values.
#pragma once

#include <string>
#include <vector>

#include "analysis/calibration.h"

namespace analysis {

// The file's name in the settings folder, and its path.
std::string ProfileFileName(const std::string& serial);
std::string ProfileFilePath(const std::string& serial);

// The file's text: section [Kanalprofil] with Format=1 and the altitude method, then one
// section [Kanal N] (N = 1 … 16, the CSV's column order) per channel. Numbers with a point.
std::string ProfileText(const ChannelProfile& p);

struct LoadedProfile {
  ChannelProfile profile;  // the raw profile when the file is missing or damaged
  std::string problem;     // German, empty when all is well
};
LoadedProfile LoadChannelProfile(const std::string& serial);

// The serial numbers of the profiles saved in the settings folder ("" for the one
// without), sorted.
std::vector<std::string> SavedProfileSerials();

// Throws EInOutError (formats/fileerror.h) with its German text; the old file then stays.
void SaveChannelProfile(const ChannelProfile& p);

}  // namespace analysis
