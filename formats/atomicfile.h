// A file written complete or not at all: the text goes to a temporary file in the target's
// folder, which replaces the target only when all of it is written and on the disk. On
// failure the temporary file is removed, the old file stays as it was, and EInOutError
// (formats/fileerror.h) tells why. Reading a whole file lives here too. One file per
// system (posix_atomicfile.cpp, win32_atomicfile.cpp); paths are UTF-8.
#pragma once

#include <string>
#include <vector>

class AtomicFile {
 public:
  // Creates the temporary file next to target; it gets the mode a plain create would
  // give, or the old file's mode when there is one.
  explicit AtomicFile(const std::string& target);
  ~AtomicFile();  // removes the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(const std::string& data);
  // Puts the file on the disk and puts it in place of the target (POSIX: rename;
  // Windows: ReplaceFileW, or MoveFileExW when there is no target yet). A target that
  // another program holds open so that it cannot be replaced raises EInOutError, and
  // the target stays as it was.
  void Commit();

  // The whole text under exactly this name.
  static void WriteWhole(const std::string& path, const std::string& text);

 private:
  std::string target_;
  std::vector<char> path_;  // the temporary file
  int fd_ = -1;             // POSIX: its descriptor
  void* handle_ = nullptr;  // Windows: its handle
  bool committed_ = false;
};

// A plain file read whole, at most limit + 1 bytes (so that a larger one is told apart
// without being read whole). Opened without waiting, so that a pipe or a device cannot
// hold the caller; a folder raises EInOutError as access denied, anything else that is
// no plain file as an invalid name; other failures with the system's code.
std::string ReadPlainFile(const std::string& path, size_t limit);
