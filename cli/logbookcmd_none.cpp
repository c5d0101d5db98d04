// A build without SQLite for its system (the Windows cross-build) has no logbook.
#include "cli/logbookcmd.h"

namespace cli {

std::string KeepDownload(const RawDump&, const LoggerConfig&, const FlightData&) { return ""; }

int LogCommand(const Args&) { throw UsageError("dieses morvala-cli ist ohne Flugbuch gebaut"); }

}  // namespace cli
