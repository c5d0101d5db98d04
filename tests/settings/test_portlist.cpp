// The port list on a fake sysfs and /dev tree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "serial/comport.h"
#include "serial/portlist.h"
#include <filesystem>

#include "tests/support/files.h"
#include "tests/support/pty.h"

namespace {

struct FakeTree {
  TempDir dir;
  SerialPortRoots roots;
  FakeTree() {
    roots = {dir / "sys/class/tty", dir / "dev", dir / "dev/serial/by-id"};
    std::filesystem::create_directories(roots.sysClassTty);
    std::filesystem::create_directories(roots.byId);
  }
  // A tty in sysfs; with hardware it has a device link; type "" means no type file.
  void Tty(const std::string& name, bool hardware, const std::string& type = "", bool node = true) {
    std::string entry = roots.sysClassTty + "/" + name;
    std::filesystem::create_directories(entry);
    if (hardware) std::filesystem::create_directories(entry + "/device");
    if (!type.empty()) WriteFile(entry + "/type", type + "\n");
    if (node) WriteFile(roots.dev + "/" + name, "");
  }
  void ById(const std::string& link, const std::string& target) {
    std::filesystem::create_symlink("../../" + target, roots.byId + "/" + link);
  }
  std::string Dev(const std::string& name) const { return roots.dev + "/" + name; }
};

}  // namespace

TEST(PortList, HardwareTtysByIdLinksSortedWithoutCase) {
  FakeTree t;
  t.Tty("tty0", false);
  t.Tty("ttyS0", true, "4");  // a 16550A
  t.Tty("ttyS1", true, "0");  // placeholder
  t.Tty("ttyS2", true, "0");
  t.Tty("ttyS10", true, "4");
  t.Tty("ttyUSB0", true);
  t.Tty("ttyACM0", true);
  t.Tty("ttyUSB1", true, "", false);  // no device node: nothing to open
  t.Tty("ptmx", false);
  t.ById("usb-FTDI_FT232R_A1-if00-port0", "ttyUSB0");
  t.ById("usb-stale-link", "ttyUSB9");
  t.ById("usb-placeholder", "ttyS1");

  std::vector<std::string> expected = {t.roots.byId + "/usb-FTDI_FT232R_A1-if00-port0",
                                       t.Dev("ttyACM0"), t.Dev("ttyS0"), t.Dev("ttyS10"),
                                       t.Dev("ttyUSB0")};
  EXPECT_EQ(ListSerialPorts("", t.roots), expected);
  // A listed current name adds nothing.
  EXPECT_EQ(ListSerialPorts(t.Dev("ttyS0"), t.roots), expected);
}

TEST(PortList, CaseInsensitiveOrder) {
  FakeTree t;
  for (const char* n : {"ttyb", "ttyA", "ttya2", "ttyB1"}) t.Tty(n, true);
  std::vector<std::string> expected = {t.Dev("ttyA"), t.Dev("ttya2"), t.Dev("ttyb"),
                                       t.Dev("ttyB1")};
  EXPECT_EQ(ListSerialPorts("", t.roots), expected);
}

TEST(PortList, CurrentPortOutsideTheListAndUnreadableRoot) {
  FakeTree t;
  t.Tty("ttyUSB0", true);
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  auto withPty = ListSerialPorts(pty.path, t.roots);
  ASSERT_EQ(withPty.size(), 2u);
  EXPECT_EQ(withPty[0], pty.path);  // "/dev/pts/..." sorts before the temporary tree
  EXPECT_EQ(withPty[1], t.Dev("ttyUSB0"));
  EXPECT_EQ(ListSerialPorts("/tmp/morvala-gone", t.roots).size(), 1u);  // no such device
  EXPECT_EQ(ListSerialPorts(t.dir.Path(), t.roots).size(), 1u);         // a folder, no device

  SerialPortRoots missing = t.roots;
  missing.sysClassTty = t.dir / "no/sys";
  try {
    ListSerialPorts("", missing);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), cePortList);
    EXPECT_EQ(e.SystemErrorCode(), ENOENT);
    EXPECT_STREQ(e.what(), "Registry error (win error code: 2)");
  }
  // Without a by-id folder the list is still made.
  std::filesystem::remove_all(t.roots.byId);
  EXPECT_EQ(ListSerialPorts("", t.roots).size(), 1u);
}

TEST(PortList, RealSystemListsOnlyDevicesThatExist) {
  std::vector<std::string> ports;
  try {
    ports = ListSerialPorts();
  } catch (const EComPort& e) {
    GTEST_SKIP() << "no /sys/class/tty here: " << e.what();
  }
  for (const std::string& p : ports) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << p;
  }
}
