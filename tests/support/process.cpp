#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/clock.h"

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::close(out[0]), ::close(out[1]), ::close(err[0]), ::close(err[1]);
    for (const std::string& e : env) ::putenv(::strdup(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
  ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

void ChildProcess::ReadSome(int ms) {
  struct pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (::poll(fds, 2, ms) <= 0) return;
  char buf[65536];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
    if (n > 0) (i == 0 ? result_.out : result_.err).append(buf, static_cast<size_t>(n));
  }
}

bool ChildProcess::WaitForError(const std::string& text, int ms) {
  const int64_t end = NowMs() + ms;
  while (result_.err.find(text) == std::string::npos) {
    if (NowMs() >= end || pid_ <= 0) return false;
    int status = 0;
    ReadSome(20);
    if (result_.err.find(text) != std::string::npos) return true;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      ReadSome(0);
      pid_ = -(pid_);  // ended; Wait reports it
      result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return result_.err.find(text) != std::string::npos;
    }
  }
  return true;
}

void ChildProcess::Signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

ProcessResult ChildProcess::Wait(int ms) {
  const int64_t end = NowMs() + ms;
  while (pid_ > 0) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      pid_ = -1;
      break;
    }
    if (NowMs() >= end) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      result_.timedOut = true;
      break;
    }
    ReadSome(20);
  }
  pid_ = -1;
  // What the pipes still hold.
  for (int i = 0; i < 50; ++i) {
    const size_t before = result_.out.size() + result_.err.size();
    ReadSome(10);
    if (result_.out.size() + result_.err.size() == before) break;
  }
  return result_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int ms) {
  ChildProcess p(argv, env);
  return p.Wait(ms);
}
