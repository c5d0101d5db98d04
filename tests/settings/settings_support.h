// Temporary folders and files for the settings tests.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/morvala-settings-XXXXXX";
    if (char* p = ::mkdtemp(tmpl)) path = p;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

// Sets an environment variable for the life of the object, then restores it.
struct ScopedEnv {
  std::string name;
  std::optional<std::string> old;
  ScopedEnv(const std::string& n, const char* value) : name(n) {
    if (const char* v = ::getenv(n.c_str())) old = v;
    if (value)
      ::setenv(n.c_str(), value, 1);
    else
      ::unsetenv(n.c_str());
  }
  ~ScopedEnv() {
    if (old)
      ::setenv(name.c_str(), old->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
};

#include <pty.h>
#include <termios.h>

// A pseudo-terminal pair; the port opens the slave by its path.
struct PtyPair {
  int master = -1;
  int slave = -1;
  std::string path;
  PtyPair() {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    path = ::ttyname(slave);
  }
  ~PtyPair() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  bool Ok() const { return master >= 0 && !path.empty(); }
  // The output speed the line settings left on the terminal.
  speed_t SlaveSpeed() const {
    struct termios t {};
    ::tcgetattr(slave, &t);
    return ::cfgetospeed(&t);
  }
};
