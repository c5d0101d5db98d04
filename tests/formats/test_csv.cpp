// The CSV text against hand-written files, and the save with its failure cases.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstring>
#include <cerrno>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "formats/csvexport.h"
#include "frontend/savecsv.h"
#include "formats/fileerror.h"
#include "tests/support/flight_support.h"
#include "tests/support/recordinguserio.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

std::string Golden(const std::string& name) {
  return ReadFile(std::string(MORVALA_SOURCE_DIR) + "/tests/formats/golden/" + name);
}

void SetWord(SampleRecord& r, int high, uint16_t v) {
  r.b[high] = v >> 8, r.b[high + 1] = v & 0xFF;
}

// Three records with every channel of the first and degree crossings in the second.
void FillBasic(FlightData& fd) {
  fd.RecordFlags1 = 0xFF, fd.RecordFlags2 = 0x77, fd.SampleRateCode = 49;
  fd.HeaderByte6 = 1, fd.HeaderByte7 = 2, fd.HeaderByte8 = 3, fd.HeaderWord9 = 513;
  fd.LatHemisphere = 'N', fd.LatDegrees = 48, fd.LonHemisphere = 'E', fd.LonDegrees = 11;
  fd.GpsHeaderValue = 66051;
  const uint8_t r0[25] = {0x12, 0x34, 0xFF, 0x12, 1,    2,    3, 200, 1,    0,    0,   5,  10,
                          20,   30,   40,   50,   0x1B, 0x7E, 0, 0,   0xFF, 0xFF, 100, 100};
  std::memcpy(fd.SampleTable[0].b, r0, 25);
  std::memset(fd.SampleTable[1].b, 0, 25);
  fd.SampleTable[1].b[23] = 101, fd.SampleTable[1].b[24] = 99;
  std::memset(fd.SampleTable[2].b, 0, 25);
  SetWord(fd.SampleTable[2], 17, 59999);
  SetWord(fd.SampleTable[2], 19, 5);
  fd.SampleTable[2].b[23] = 100, fd.SampleTable[2].b[24] = 100;
  fd.LastSampleIndex = 2, fd.ExportFirstIndex = 0, fd.ExportLastIndex = 2;
}

class CsvTest : public ::testing::Test {
 protected:
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename());
    return v;
  }
  TempDir tmp;
  fs::path dir{tmp.Path()};
  std::unique_ptr<FlightData> fd = NewFlight();
};

}  // namespace

TEST_F(CsvTest, TextMatchesTheHandWrittenFiles) {
  FillBasic(*fd);
  EXPECT_EQ(CsvText(*fd), Golden("basic.csv"));
  fd->ExportFirstIndex = 2, fd->ExportLastIndex = 1;
  EXPECT_EQ(CsvText(*fd), Golden("header_only.csv"));
  fd->ResetIndexes();  // the window reset: one line for record 0, header kept
  EXPECT_EQ(CsvText(*fd), Golden("after_reset.csv"));
}

TEST_F(CsvTest, HemisphereSignsAndNegativeDegrees) {
  for (const char* lat : {"s", "S"}) {
    fd = NewFlight();
    fd->LatHemisphere = lat[0], fd->LatDegrees = 48;
    fd->LonHemisphere = lat[0] == 's' ? 'w' : 'W', fd->LonDegrees = 7;
    SetWord(fd->SampleTable[0], 17, 7038);
    SetWord(fd->SampleTable[0], 19, 12345);
    fd->SampleTable[0].b[23] = fd->SampleTable[0].b[24] = 100;
    EXPECT_EQ(CsvText(*fd), Golden("southwest.csv")) << lat;
  }
  fd = NewFlight();
  fd->LatHemisphere = 'N', fd->LatDegrees = 0, fd->LonHemisphere = 'W', fd->LonDegrees = 5;
  fd->LastSampleIndex = 2, fd->ExportLastIndex = 2;
  SampleRecord* t = fd->SampleTable;
  SetWord(t[0], 17, 30000), t[0].b[23] = 99, t[0].b[24] = 0;
  t[1].b[23] = 100, SetWord(t[1], 19, 1), t[1].b[24] = 100;
  t[2].b[23] = 99, t[2].b[24] = 95;
  EXPECT_EQ(CsvText(*fd), Golden("negative.csv"));
  // Other letters give no sign.
  fd->LatHemisphere = 'x', fd->LonHemisphere = 0;
  EXPECT_EQ(CsvText(*fd).substr(18, 7), "0;5;0;\r");
}

TEST_F(CsvTest, MinutesAlwaysFiveDigits) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "4800000"},    {9, "4800009"},     {10, "4800010"},   {7038, "4807038"},
      {9999, "4809999"}, {10000, "4810000"}, {65535, "4865535"}};
  for (const auto& [minutes, want] : cases) {
    std::string s;
    AppendCoordinate(s, false, 48, minutes);
    EXPECT_EQ(s, want);
  }
  std::string s;
  AppendCoordinate(s, true, 0, 7038);
  EXPECT_EQ(s, "-007038");
}

TEST_F(CsvTest, NothingDependsOnTheLocale) {
  FillBasic(*fd);
  fd->HeaderWord9 = 65535;
  const std::string c = CsvText(*fd);
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string keep = old ? old : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
  std::locale::global(std::locale(std::setlocale(LC_ALL, nullptr)));
  const std::string other = CsvText(*fd);
  std::setlocale(LC_ALL, keep.c_str());
  std::locale::global(std::locale::classic());
  EXPECT_EQ(other, c);
  EXPECT_NE(c.find(";65535;\r\n"), std::string::npos);
}

TEST_F(CsvTest, SaveDialogRules) {
  FillBasic(*fd);
  RecordingUserIO io;
  std::string name = "old";
  EXPECT_FALSE(SaveCsv(io, *fd, name));  // cancelled
  EXPECT_EQ(name, "old");
  ASSERT_EQ(io.ui.fileRequests.size(), 1u);
  EXPECT_TRUE(io.ui.fileRequests[0].save);
  EXPECT_EQ(io.ui.fileRequests[0].filter, "*.csv");
  EXPECT_EQ(io.ui.fileRequests[0].initialName, "*.csv");
  io.ui.fileAnswers.push_back("*.csv");
  EXPECT_FALSE(SaveCsv(io, *fd, name));
  EXPECT_EQ(name, "*.csv");
  const std::string target = (dir / "flug").string();  // no extension added
  io.ui.fileAnswers.push_back(target);
  EXPECT_TRUE(SaveCsv(io, *fd, name));
  EXPECT_EQ(name, target);
  EXPECT_EQ(ReadFile(target), Golden("basic.csv"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"flug"});
  // An existing file is replaced without a question.
  fd->ExportFirstIndex = 2, fd->ExportLastIndex = 1;
  io.ui.fileAnswers.push_back(target);
  EXPECT_TRUE(SaveCsv(io, *fd, name));
  EXPECT_EQ(ReadFile(target), Golden("header_only.csv"));
}

TEST_F(CsvTest, FailedSavesKeepTheOldFile) {
  FillBasic(*fd);
  const std::string target = (dir / "flug.csv").string();
  { std::ofstream(target) << "previous flight"; }
  if (::geteuid() != 0) {  // root writes into read-only folders
    ::chmod(dir.c_str(), 0555);
    try {
      WriteCsvFile(target, *fd);
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Dateizugriff verweigert");
    }
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(ReadFile(target), "previous flight");
  }
  // A full disk: /dev/full as the folder's stand-in is not possible, so the write goes
  // to a file-size limit instead.
  fd->LastSampleIndex = fd->ExportLastIndex = 65535;
  struct rlimit old;
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 100000;
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  std::string what;
  try {
    WriteCsvFile(target, *fd);
  } catch (const EInOutError& e) {
    what = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(what, "Zu wenig Speicherplatz");
  EXPECT_EQ(ReadFile(target), "previous flight");
  EXPECT_EQ(Entries(), std::vector<std::string>{"flug.csv"});  // temporary file gone

  // No such folder; an empty name.
  try {
    WriteCsvFile((dir / "nicht" / "da.csv").string(), *fd);
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Ungültiger Dateiname");
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  EXPECT_THROW(WriteCsvFile("", *fd), EInOutError);
  // The temporary file is made, the final rename refuses the name: nothing is left.
  try {
    WriteCsvFile((dir / std::string(300, 'a')).string(), *fd);
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Ungültiger Dateiname");
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"flug.csv"});
  // A folder of that name.
  fs::create_directories(dir / "ordner");
  EXPECT_THROW(WriteCsvFile((dir / "ordner").string(), *fd), EInOutError);
  EXPECT_TRUE(fs::is_directory(dir / "ordner"));
}

TEST(FileError, Texts) {
  EXPECT_EQ(IoErrorText(EACCES), "Dateizugriff verweigert");
  EXPECT_EQ(IoErrorText(EROFS), "Dateizugriff verweigert");
  EXPECT_EQ(IoErrorText(ENOSPC), "Zu wenig Speicherplatz");
  EXPECT_EQ(IoErrorText(EDQUOT), "Zu wenig Speicherplatz");
  EXPECT_EQ(IoErrorText(ENAMETOOLONG), "Ungültiger Dateiname");
  EXPECT_EQ(IoErrorText(ENOENT), "Ungültiger Dateiname");
  EXPECT_EQ(IoErrorText(ENOENT, FileOp::Read), "Datei nicht gefunden");
  EXPECT_EQ(IoErrorText(EIO), "E/A-Fehler 5");
}
