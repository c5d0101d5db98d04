// The console on Windows: Ctrl-C, Ctrl-Break and closing the console are noted as SIGINT
// (the console's handler thread returns at once and the exchange ends at its next look);
// standard output is switched to binary mode.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <cstdio>

#include "cli/console.h"
#include "cli/interrupt.h"

namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: cli::NoteInterrupt(SIGINT); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

namespace cli {

void CatchInterrupts() { ::SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void PrepareStandardOutput() { ::_setmode(::_fileno(stdout), _O_BINARY); }

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }

bool CanAsk() { return ::_isatty(0) != 0 && ::_isatty(2) != 0; }

}  // namespace cli
