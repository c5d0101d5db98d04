// The logbook's few calls that have no portable form, one file per system
// (posix_logbook_system.cpp, win32_logbook_system.cpp). Paths are UTF-8; the error codes
// are the system's own (errno, GetLastError), as IoErrorText (formats/fileerror.h) reads
// them. LocalTime::Now (logbook.h) is defined there too.
#pragma once

#include <string>
#include <system_error>

namespace logbook::platform {

// The system's code of the last failed call of this thread.
int LastError();
// The system's code that an error of std::filesystem stands for.
int ErrorCode(const std::error_code& ec);
// The codes for a name in the way of a folder, a full disk and a denied access.
int NotAFolderError();
int NoSpaceError();
int AccessDeniedError();
// Whether the code means that a write ran out of room (a full disk, a quota, a size limit).
bool IsOutOfRoom(int err);

// Creates a new empty file whose name is prefix and a few unique characters; its name goes
// to path. 0, or the system's code.
int CreateUniqueFile(const std::string& prefix, std::string& path);
// Puts the named file's content on the disk. 0, or the system's code.
int SyncFile(const std::string& path);

}  // namespace logbook::platform
