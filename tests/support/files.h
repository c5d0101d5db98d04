// Temporary folders and files, whole-file reads and writes, and environment variables
// set for a while.
#pragma once

#include <optional>
#include <string>

// A folder of its own, removed with everything in it
// (even where a test took the write permission away).
class TempDir {
 public:
  // In base, or in the system's temporary folder when base is empty.
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool Ok() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes the bytes exactly as given to the named file and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// One folder for the whole program (test, fuzz target), removed when it ends; in memory
// (/dev/shm) where the machine allows, as fuzz targets write a file for every input.
const TempDir& ProgramTempDir();

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with exactly these bytes; false when that failed.
bool WriteFile(const std::string& path, const std::string& bytes);

// Sets an environment variable (or removes it, for nullptr) for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};
