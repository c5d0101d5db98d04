// How the tool meets its console, one file per system (posix_console.cpp,
// win32_console.cpp); the interrupt handlers are declared in interrupt.h.
#pragma once

#include <cstdio>

namespace cli {

// Standard output carries the bytes as written: on Windows it is switched to binary
// mode, so that a CSV keeps its CR LF and nothing is added to a JSON text.
void PrepareStandardOutput();

// Whether the stream is a terminal (a console), where progress updates in place.
bool IsTerminal(std::FILE* stream);
// Whether questions can be asked: standard input and error are both a terminal.
bool CanAsk();

}  // namespace cli
