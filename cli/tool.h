// morvala-cli's commands on the same core as the window: ports, config, download, flash,
// convert. Run returns the exit status (see HelpText).
#pragma once

#include <string>
#include <vector>

namespace cli {

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitFile = 2,
  kExitNoLogger = 3,
  kExitBadAnswer = 4,
  kExitSigint = 130,
  kExitSigterm = 143,
};

int Run(const std::vector<std::string>& argv);

}  // namespace cli
