// The test's side of a serial line on a pseudo-terminal. Every write and read is bounded,
// so a test whose peer went quiet fails instead of hanging.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One end of a line, owned as a non-blocking file descriptor.
class LineEnd {
 public:
  LineEnd() = default;
  explicit LineEnd(int fd);                   // takes the descriptor
  explicit LineEnd(const std::string& path);  // the program's end of a terminal, raw
  ~LineEnd() { Close(); }
  LineEnd(LineEnd&& other) noexcept;
  LineEnd& operator=(LineEnd&& other) noexcept;
  LineEnd(const LineEnd&) = delete;
  LineEnd& operator=(const LineEnd&) = delete;

  int Fd() const { return fd_; }
  bool Ok() const { return fd_ >= 0; }
  void Close();
  // The far end closed the line (seen by a read).
  bool HungUp() const { return hungUp_; }

  // All bytes, within timeoutMs; false when the line did not take them.
  bool Write(const void* data, size_t size, int timeoutMs = 5000);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }

  // Up to n bytes, waiting at most timeoutMs in all.
  std::vector<uint8_t> Read(size_t n, int timeoutMs);
  // Everything that arrives within ms.
  std::vector<uint8_t> ReadFor(int ms) { return Read(SIZE_MAX, ms); }
  // Everything until the line has been silent for silenceMs, at most maxMs in all.
  std::vector<uint8_t> ReadUntilSilent(int silenceMs, int maxMs = 5000);

 private:
  bool WaitFor(short events, int ms) const;
  void ReadSome(std::vector<uint8_t>& got, size_t max, int waitMs);

  int fd_ = -1;
  bool hungUp_ = false;
};

// A pseudo-terminal pair: the test holds the master end, the program opens the slave by
// its path. The slave stays open too, so the line lives while the port closes and opens.
struct PtyPair {
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return master.Ok() && !path.empty(); }
  void CloseMaster() { master.Close(); }

  // What the logger sends.
  bool Send(std::string_view bytes) { return master.Write(bytes); }
  bool Send(const std::vector<uint8_t>& bytes) { return master.Write(bytes); }
  // What the program sent, collected until the line has been quiet for quietMs.
  std::vector<uint8_t> Received(int quietMs = 100) { return master.ReadUntilSilent(quietMs); }
  std::string ReceivedText(int quietMs = 100);

  // The output speed the line settings left on the terminal.
  speed_t SlaveSpeed() const;

  LineEnd master;
  int slave = -1;
  std::string path;
};
