// How the tool meets its console, one file per system (posix_console.cpp,
// win32_console.cpp); the interrupt handlers are declared in interrupt.h.
#pragma once

namespace cli {

// Standard output carries the bytes as written: on Windows it is switched to binary
// mode, so that a CSV keeps its CR LF and nothing is added to a JSON text.
void PrepareStandardOutput();

}  // namespace cli
