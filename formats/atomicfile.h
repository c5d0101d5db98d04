// A file written complete or not at all: the text goes to a temporary file in the target's
// folder, which replaces the target only when all of it is written and on the disk. On
// failure the temporary file is removed, the old file stays as it was, and EInOutError
// (formats/fileerror.h) tells why.
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
  // Puts the file on the disk and renames it to the target.
  void Commit();

  // The whole text under exactly this name.
  static void WriteWhole(const std::string& path, const std::string& text);

 private:
  std::string target_;
  std::vector<char> path_;
  int fd_ = -1;
  bool committed_ = false;
};
