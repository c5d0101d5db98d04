// The console on POSIX: SIGINT and SIGTERM only note the signal; standard output needs
// nothing.
#include <unistd.h>

#include <csignal>

#include "cli/console.h"
#include "cli/interrupt.h"

namespace {

extern "C" void NoteSignal(int signal) { cli::NoteInterrupt(signal); }

}  // namespace

namespace cli {

void CatchInterrupts() {
  struct sigaction sa = {};
  sa.sa_handler = NoteSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocking call returns and the wait looks again
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void PrepareStandardOutput() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool CanAsk() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

}  // namespace cli
