// morvala-cli and the logbook: a download kept at once (unless --no-log), and the `log`
// commands: list, export, import, dump. A build without SQLite has no logbook; the
// commands then say so.
#pragma once

#include <string>

#include "cli/args.h"
#include "model/loggerconfig.h"
#include "model/rawdump.h"
#include "model/sampletable.h"

namespace cli {

// Keeps the download in the logbook. Returns "" or a line for standard error; an error
// of the logbook is thrown as std::runtime_error with its German text.
std::string KeepDownload(const RawDump& dump, const LoggerConfig& cfg, const FlightData& fd);

// `log list [--json]`, `log export ID -o FILE`, `log import FILE…`, `log dump ID -o FILE`.
int LogCommand(const Args& args);

}  // namespace cli
