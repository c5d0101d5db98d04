#include "export/csvexport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fileerror/fileerror.h"
#include "serial/userio.h"

namespace {

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void Value(std::string& out, int64_t v) {
  AppendInt(out, v);
  out.push_back(';');
}

void EndLine(std::string& out) { out.append("\r\n"); }

bool IsLower(char hemisphere, char letter) {
  return hemisphere == letter || hemisphere == static_cast<char>(letter - 'a' + 'A');
}

}  // namespace

// A degree value below zero (header degrees + offset byte - 100 < 0, after crossing
// degrees downwards from a small header value, or on a zeroed record) is written as one
// integer whose sign is the product of the hemisphere's sign and the degrees' sign:
// negative degrees in the north or east give "-", negative degrees in the south or west
// cancel to no sign. So a column is never "--" nor a sign inside the number.
void AppendCoordinate(std::string& out, bool southOrWest, int64_t degrees, uint32_t minutes) {
  const bool negative = southOrWest != (degrees < 0);
  if (negative) out.push_back('-');
  AppendInt(out, degrees < 0 ? -degrees : degrees);
  for (uint32_t threshold : {10000u, 1000u, 100u, 10u})
    if (minutes < threshold) out.push_back('0');
  AppendInt(out, minutes);
}

void AppendCsvHeader(std::string& out, const FlightData& fd) {
  Value(out, fd.RecordFlags1);
  Value(out, fd.RecordFlags2);
  Value(out, fd.SampleRateCode);
  Value(out, static_cast<int64_t>(fd.LastSampleIndex) + 1);
  Value(out, fd.HeaderByte6);
  Value(out, fd.HeaderByte7);
  Value(out, fd.HeaderByte8);
  Value(out, fd.HeaderWord9);
  EndLine(out);
  if (IsLower(fd.LatHemisphere, 's')) out.push_back('-');
  Value(out, fd.LatDegrees);
  if (IsLower(fd.LonHemisphere, 'w')) out.push_back('-');
  Value(out, fd.LonDegrees);
  Value(out, fd.GpsHeaderValue);
  EndLine(out);
}

void AppendCsvRecord(std::string& out, const FlightData& fd, int32_t i) {
  const uint8_t* b = fd.SampleTable[i].b;
  Value(out, b[0] * 256 + b[1]);
  Value(out, (b[2] & 3) * 256 + b[3]);
  Value(out, ((b[2] >> 2) & 3) * 256 + b[4]);
  Value(out, ((b[2] >> 4) & 3) * 256 + b[5]);
  Value(out, ((b[2] >> 6) & 3) * 256 + b[6]);
  Value(out, b[7]);
  Value(out, b[8] * 256 + b[9]);
  Value(out, b[10] * 256 + b[11]);
  Value(out, b[12]);
  Value(out, b[13]);
  Value(out, b[14]);
  Value(out, b[15]);
  Value(out, b[16]);
  AppendCoordinate(out, IsLower(fd.LatHemisphere, 's'),
                   static_cast<int64_t>(fd.LatDegrees) + b[23] - 100, b[17] * 256u + b[18]);
  out.push_back(';');
  AppendCoordinate(out, IsLower(fd.LonHemisphere, 'w'),
                   static_cast<int64_t>(fd.LonDegrees) + b[24] - 100, b[19] * 256u + b[20]);
  out.push_back(';');
  Value(out, b[21] * 256 + b[22]);
  EndLine(out);
}

namespace {

int32_t ClampIndex(int32_t i) {
  if (i < 0) return 0;
  return i < kSampleTableSize ? i : kSampleTableSize - 1;
}

// Calls f for every record of the export range (both ends inclusive, within the table).
template <typename F>
void ForEachExported(const FlightData& fd, F&& f) {
  if (fd.ExportLastIndex < fd.ExportFirstIndex) return;
  const int32_t first = ClampIndex(fd.ExportFirstIndex);
  const int32_t last = ClampIndex(fd.ExportLastIndex);
  for (int32_t i = first; i <= last; ++i) f(i);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The temporary file next to the target; removed on destruction unless committed.
class TempFile {
 public:
  explicit TempFile(const std::string& target) {
    std::string name = FolderOf(target) + "/.morvala-csv-XXXXXX";
    path_.assign(name.begin(), name.end());
    path_.push_back('\0');
    fd_ = ::mkstemp(path_.data());
    if (fd_ < 0) throw EInOutError(errno);
    // The mode a plain create would give, or the old file's mode when there is one.
    mode_t mode;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.data());
  }
  void Write(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EInOutError(errno);
      }
      if (n == 0) throw EInOutError(ENOSPC);
      done += static_cast<size_t>(n);
    }
  }
  void Commit(const std::string& target) {
    if (::fsync(fd_) != 0) throw EInOutError(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw EInOutError(errno);
    if (::rename(path_.data(), target.c_str()) != 0) throw EInOutError(errno);
    committed_ = true;
    // The new directory entry on the disk too; a failure here loses nothing written.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  std::vector<char> path_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

std::string CsvText(const FlightData& fd) {
  std::string out;
  AppendCsvHeader(out, fd);
  ForEachExported(fd, [&](int32_t i) { AppendCsvRecord(out, fd, i); });
  return out;
}

void WriteCsvFile(const std::string& path, const FlightData& fd) {
  if (path.empty()) throw EInOutError(ENOENT);
  if (path.back() == '/') throw EInOutError(EISDIR);
  TempFile file(path);
  std::string chunk;
  chunk.reserve(70000);
  AppendCsvHeader(chunk, fd);
  ForEachExported(fd, [&](int32_t i) {
    AppendCsvRecord(chunk, fd, i);
    if (chunk.size() >= 65536) {
      file.Write(chunk);
      chunk.clear();
    }
  });
  file.Write(chunk);
  file.Commit(path);
}

bool SaveCsv(UserIO& io, const FlightData& fd, std::string& exportFileName) {
  const auto chosen = io.SaveFileName("*.csv", "*.csv");
  if (!chosen) return false;
  exportFileName = *chosen;
  // The dialog hands back the mask with its folder in front when the user saves
  // without naming a file.
  const size_t slash = exportFileName.find_last_of('/');
  const std::string filePart =
      slash == std::string::npos ? exportFileName : exportFileName.substr(slash + 1);
  if (filePart == "*.csv") return false;
  WriteCsvFile(exportFileName, fd);
  return true;
}
