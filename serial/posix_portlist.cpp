// Port list from sysfs and /dev/serial/by-id.
#include "serial/portlist.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "serial/comport.h"

namespace {

std::vector<std::string> Entries(DIR* dir) {
  std::vector<std::string> names;
  while (const struct dirent* e = ::readdir(dir)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  return names;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDeviceNode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  std::string out;
  if (char* r = ::realpath(path.c_str(), nullptr)) {
    out = r;
    std::free(r);
  }
  return out;
}

// A ttyS port whose UART type is unknown (0) has no hardware: the 8250 driver makes a
// handful of them whether or not a UART is there. The sysfs attribute tells it; older
// kernels without it are asked through TIOCGSERIAL.
bool IsPlaceholder(const std::string& sysEntry, const std::string& node) {
  std::ifstream type(sysEntry + "/type");
  if (type) {
    std::string text;
    std::getline(type, text);
    return std::atoi(text.c_str()) == 0;
  }
  int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct serial_struct ss {};
  bool placeholder = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type == PORT_UNKNOWN;
  ::close(fd);
  return placeholder;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names differing only in case keep a fixed order
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::string& currentPort,
                                         const SerialPortRoots& roots) {
  DIR* sys = ::opendir(roots.sysClassTty.c_str());
  if (sys == nullptr) throw EComPort(cePortList, errno);
  std::vector<std::string> names = Entries(sys);
  ::closedir(sys);

  std::vector<std::string> ports;
  std::vector<std::string> realPorts;  // the resolved device nodes, for the by-id links
  for (const std::string& name : names) {
    std::string entry = roots.sysClassTty + "/" + name;
    if (!Exists(entry + "/device")) continue;
    std::string node = roots.dev + "/" + name;
    if (!IsDeviceNode(node)) continue;
    if (name.rfind("ttyS", 0) == 0 && IsPlaceholder(entry, node)) continue;
    ports.push_back(node);
    realPorts.push_back(RealPath(node));
  }

  if (DIR* byId = ::opendir(roots.byId.c_str())) {
    std::vector<std::string> links = Entries(byId);
    ::closedir(byId);
    for (const std::string& link : links) {
      std::string path = roots.byId + "/" + link;
      std::string target = RealPath(path);
      if (!target.empty() &&
          std::find(realPorts.begin(), realPorts.end(), target) != realPorts.end())
        ports.push_back(path);
    }
  }

  // The current name is offered whenever its device exists, even when that device is
  // listed under another name ("COM2" for /dev/ttyS1): the dialog then shows the
  // current choice instead of an empty Port, which OK would store.
  if (!currentPort.empty() && IsDeviceNode(TCustomComPort::DevicePath(currentPort))) {
    bool listed = std::any_of(ports.begin(), ports.end(),
                              [&](const std::string& p) { return SameNoCase(p, currentPort); });
    if (!listed) ports.push_back(currentPort);
  }

  std::sort(ports.begin(), ports.end(), LessNoCase);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}
