// A program of the build run as a real process: its standard output and error caught,
// its exit status or signal, every wait bounded (a program that does not end in time is
// killed and reported as timed out).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // exit status, -1 when it ended by a signal or timed out
  int signal = 0;   // the signal that ended it
  bool timedOut = false;
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Starts argv[0] (a path) with argv; env entries "NAME=value" are set on top of ours.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  ~ChildProcess();  // kills and reaps a process still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits until standard error holds text; false when the process ended or ms passed first.
  bool WaitForError(const std::string& text, int ms);
  void Signal(int sig);
  // Waits for the end, at most ms; then it is killed.
  ProcessResult Wait(int ms);

 private:
  void ReadSome(int ms);
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  ProcessResult result_;
};

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {}, int ms = 60000);
