// The logbook's system calls on POSIX.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "logbook/logbook.h"
#include "logbook/logbook_system.h"

namespace logbook {

LocalTime LocalTime::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {static_cast<int64_t>(now), static_cast<int32_t>(tm.tm_gmtoff)};
}

namespace platform {

int LastError() { return errno; }
int ErrorCode(const std::error_code& ec) { return ec.value(); }
int NotAFolderError() { return ENOTDIR; }
int NoSpaceError() { return ENOSPC; }
int AccessDeniedError() { return EACCES; }
bool IsOutOfRoom(int err) { return err == ENOSPC || err == EFBIG || err == EDQUOT; }

int CreateUniqueFile(const std::string& prefix, std::string& path) {
  const std::string tmpl = prefix + "XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  path = name.data();
  return 0;
}

int SyncFile(const std::string& path) {
  const int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (f < 0) return errno;
  const int err = ::fsync(f) == 0 ? 0 : errno;
  ::close(f);
  return err;
}

}  // namespace platform
}  // namespace logbook
