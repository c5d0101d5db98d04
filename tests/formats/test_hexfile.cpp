// The HEX file reader: the line rule, the file read once into memory, and the check of
// whole files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <vector>

#include "formats/fileerror.h"
#include "formats/hexfile.h"
#include "tests/support/files.h"

using firmware::CheckHexFile;
using firmware::CountLines;
using firmware::HexLineReader;
using firmware::IsHexRecord;
using firmware::ScanHexFile;

namespace {

// A record from hex text of its length, address, type and data; the checksum is added.
std::string WithSum(const std::string& body) {
  unsigned sum = 0;
  for (size_t i = 0; i + 1 < body.size(); i += 2) sum += std::stoul(body.substr(i, 2), nullptr, 16);
  char cs[3];
  std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return ":" + body + cs;
}

std::vector<std::string> Lines(const std::string& path) {
  HexLineReader r(path);
  std::vector<std::string> out;
  std::string line;
  while (r.NextLine(line)) out.push_back(line);
  return out;
}

// A classic program image in the usual output of an assembler: LF line ends.
const char* const kAssemblerOutput =
    ":020000040000FA\n"
    ":10010000214601360121470136007EFE09D2190140\n"
    ":100110002146017E17C20001FF5F16002148011928\n"
    ":10012000194E79234623965778239EDA3F01B2CAA7\n"
    ":100130003F0156702B5E712B722B732146013421C7\n"
    ":00000001FF\n";

class HexFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string Put(const std::string& bytes) { return dir.Write("f.hex", bytes); }
};

TEST_F(HexFileTest, LineEndsCountAlike) {
  struct Case {
    const char* what;
    std::string bytes;
    int lines;
  };
  const std::vector<Case> cases = {
      {"empty file", "", 0},
      {"CR only", "a\rb\rc\r", 3},
      {"CR LF", "a\r\nb\r\n", 2},
      {"LF only", "a\nb\nc\n", 3},
      {"mixed", "a\r\nb\nc\rd\r\n", 4},
      {"last line without end", "a\r\nb", 2},
      {"single char no end", "x", 1},
      {"blank lines count", "a\r\n\r\n\nb\r\n", 4},
      {"only line ends", "\n\r\n\r", 3},
      {"LF CR is two ends", "a\n\rb", 3},
      {"0x1A ends the file", std::string("a\r\nb\032c\r\nd\r\n"), 2},
      {"0x1A at start", std::string("\032abc\r\n"), 0},
      {"0x1A after CR", std::string("a\r\x1A\nb"), 1},
      {"0x1A after line end", std::string("a\r\n\x1A"), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(CountLines(Put(c.bytes)), c.lines) << c.what;
}

TEST_F(HexFileTest, ReaderGivesTextWithoutLineEndsAndStartsAgain) {
  const std::string p = Put(std::string("one\r\ntwo\nthree\r\rfour\032five"));
  EXPECT_THAT(Lines(p), ::testing::ElementsAre("one", "two", "three", "", "four"));

  HexLineReader r(p);
  std::string line;
  ASSERT_TRUE(r.NextLine(line));
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, "two");
  r.Rewind();
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, "one");
  EXPECT_EQ(r.LinesRead(), 1);
  r.Close();
  EXPECT_FALSE(r.IsOpen());
  EXPECT_FALSE(r.NextLine(line));
}

TEST_F(HexFileTest, FileIsReadOnceSoCheckAndTransferSeeTheSameBytes) {
  const std::string p = Put(kAssemblerOutput);
  HexLineReader r(p);
  EXPECT_EQ(ScanHexFile(r).badLine, 0);
  // An editor saves a broken file after the check; what is read stays the checked file.
  Put(":10010000FFFFFFFF\n");
  std::string line;
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, ":020000040000FA");
  r.Rewind();
  EXPECT_EQ(ScanHexFile(r).lines, 6);
  EXPECT_EQ(ScanHexFile(r).badLine, 0);
  // The scan leaves the reader at the first line.
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, ":020000040000FA");
  EXPECT_EQ(CheckHexFile(p), 1);  // a new read sees the new file
}

TEST_F(HexFileTest, BlanksAfterTheChecksumAndAByteOrderMarkAreNotPartOfTheRecord) {
  const std::string withBlanks = ":020000040000FA \t\r\n:00000001FF\t\t\r\n";
  EXPECT_THAT(Lines(Put(withBlanks)), ::testing::ElementsAre(":020000040000FA", ":00000001FF"));
  EXPECT_EQ(CheckHexFile(Put(withBlanks)), 0);
  EXPECT_EQ(CheckHexFile(Put("\xEF\xBB\xBF" + std::string(kAssemblerOutput))), 0);
  EXPECT_EQ(Lines(Put("\357\273\277:00000001FF\n"))[0], ":00000001FF");
  EXPECT_EQ(CountLines(Put("\xEF\xBB\xBF")), 0);
  // Only the first three bytes of the file are a mark; anywhere else it is text.
  EXPECT_EQ(CheckHexFile(Put(":020000040000FA\n\xEF\xBB\xBF:00000001FF\n")), 2);
  EXPECT_EQ(CheckHexFile(Put("\xEF\xBB:00000001FF\n")), 1);
  // Blanks in front of a record, and blanks inside it, stay errors.
  EXPECT_EQ(CheckHexFile(Put(" :020000040000FA\n:00000001FF\n")), 1);
  EXPECT_EQ(CheckHexFile(Put(":02000004 0000FA\n:00000001FF\n")), 1);
  // The length limit counts the record without its trailing blanks.
  const std::string longest = WithSum("FF000000" + std::string(510, '0'));
  EXPECT_EQ(CheckHexFile(Put(longest + std::string(300, ' ') + "\n:00000001FF\n")), 0);
  EXPECT_EQ(CheckHexFile(Put(longest + "00" + std::string(3, ' ') + "\n:00000001FF\n")), 1);
}

TEST_F(HexFileTest, LongLinesAreReadWhole) {
  const std::string big(3 * 1000 * 1000, 'A');
  const std::string p = Put(big + "\nnext\n");
  HexLineReader r(p);
  std::string line;
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, big);
  ASSERT_TRUE(r.NextLine(line));
  EXPECT_EQ(line, "next");
  EXPECT_EQ(CountLines(p), 2);
  EXPECT_EQ(CheckHexFile(p), 1);
}

TEST_F(HexFileTest, FilesOverFourMebibytesAreRefused) {
  // Exactly 4 MiB: a program and blank lines after its end record.
  std::string text = kAssemblerOutput;
  text += std::string(firmware::kMaxHexFileBytes - text.size() - 1, ' ') + "\n";
  ASSERT_EQ(text.size(), 4u * 1024 * 1024);
  EXPECT_EQ(ScanHexFile(Put(text)).badLine, 0);
  EXPECT_EQ(ScanHexFile(Put(text)).lines, 7);
  try {
    CheckHexFile(Put(text + "\n"));
    ADD_FAILURE() << "a file of 4 MiB and one byte is taken";
  } catch (const firmware::EHexFileTooLarge& e) {
    EXPECT_STREQ(e.what(), "Die Datei ist größer als 4 MiB");
  }
  // A 0x1A early in the file does not make the rest of a large file small.
  EXPECT_THROW(HexLineReader(Put(":00000001FF\n\x1A" + text)), firmware::EHexFileTooLarge);
}

TEST_F(HexFileTest, ManyLinesStream) {
  std::string text;
  const std::string rec = WithSum("0400000001020304");
  for (int i = 0; i < 200000; ++i) text += rec + "\n";
  text += ":00000001FF\n";
  const std::string p = Put(text);
  const auto scan = ScanHexFile(p);
  EXPECT_EQ(scan.lines, 200001);
  EXPECT_EQ(scan.badLine, 0);
}

TEST_F(HexFileTest, AssemblerOutputPasses) {
  const std::string lf = Put(kAssemblerOutput);
  EXPECT_EQ(CountLines(lf), 6);
  EXPECT_EQ(CheckHexFile(lf), 0);
  EXPECT_EQ(Lines(lf)[1], ":10010000214601360121470136007EFE09D2190140");

  // The sample firmware in both line-end styles.
  for (const char* name : {"/data/sample_firmware.hex", "/data/sample_firmware_crlf.hex"}) {
    const std::string p = std::string(MORVALA_SOURCE_DIR) + name;
    const auto scan = ScanHexFile(p);
    EXPECT_EQ(scan.badLine, 0) << name;
    EXPECT_EQ(scan.lines, 58) << name;
    for (const std::string& l : Lines(p)) EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos);
  }
}

TEST_F(HexFileTest, SingleRecords) {
  EXPECT_TRUE(IsHexRecord(":00000001FF"));
  EXPECT_TRUE(IsHexRecord(":10010000214601360121470136007efe09d2190140"));  // lower case
  EXPECT_TRUE(IsHexRecord(WithSum("0400000501020304")));                    // type 05
  EXPECT_FALSE(IsHexRecord(WithSum("0400000601020304")));                   // type 06
  EXPECT_FALSE(IsHexRecord(":00000001FE"));                                 // checksum
  EXPECT_FALSE(IsHexRecord(WithSum("05000000010203")));                     // length 5, 3 data
  EXPECT_FALSE(IsHexRecord(WithSum("0200000001020304")));                   // length 2, 4 data
  EXPECT_FALSE(IsHexRecord("00000001FF"));                                  // no colon
  EXPECT_FALSE(IsHexRecord(":00000001F"));                                  // odd digits
  EXPECT_FALSE(IsHexRecord(":000001FF"));                                   // too short
  EXPECT_FALSE(IsHexRecord(":00000001FF "));                                // trailing blank
  EXPECT_FALSE(IsHexRecord(" :00000001FF"));
  EXPECT_FALSE(IsHexRecord(":0000G001FF"));  // not hex
  EXPECT_FALSE(IsHexRecord(""));
  // The longest possible record passes, one pair more does not.
  const std::string longest = WithSum("FF000000" + std::string(510, '0'));
  EXPECT_EQ(longest.size(), firmware::kMaxHexLineLength);
  EXPECT_TRUE(IsHexRecord(longest));
  EXPECT_FALSE(IsHexRecord(WithSum("FF000000" + std::string(512, '0'))));
}

TEST_F(HexFileTest, BrokenFilesNameTheirFirstBadLine) {
  std::vector<std::string> lines;
  for (const std::string& l : Lines(std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware.hex"))
    lines.push_back(l);
  ASSERT_GT(lines.size(), 20u);
  auto join = [](const std::vector<std::string>& ls) {
    std::string s;
    for (const auto& l : ls) s += l + "\r\n";
    return s;
  };

  auto badSum = lines;
  badSum[16].back() = badSum[16].back() == '0' ? '1' : '0';
  badSum[18].back() = badSum[18].back() == '0' ? '1' : '0';  // only the first one counts
  EXPECT_EQ(CheckHexFile(Put(join(badSum))), 17);

  auto badLength = lines;
  badLength[4] = WithSum("0F" + badLength[4].substr(3, badLength[4].size() - 5));
  EXPECT_EQ(CheckHexFile(Put(join(badLength))), 5);

  auto nonHex = lines;
  nonHex[2][9] = 'x';
  EXPECT_EQ(CheckHexFile(Put(join(nonHex))), 3);

  auto noEnd = lines;
  noEnd.pop_back();
  const auto scan = ScanHexFile(Put(join(noEnd)));
  EXPECT_EQ(scan.badLine, static_cast<int64_t>(noEnd.size()) + 1);
  EXPECT_EQ(scan.lines, static_cast<int32_t>(noEnd.size()));

  auto overlong = lines;
  overlong[7] = ":" + std::string(600, '0');
  EXPECT_EQ(CheckHexFile(Put(join(overlong))), 8);

  auto blankInside = lines;
  blankInside.insert(blankInside.begin() + 3, "");
  EXPECT_EQ(CheckHexFile(Put(join(blankInside))), 4);

  EXPECT_EQ(CheckHexFile(Put("")), 1);
  EXPECT_EQ(CheckHexFile(Put("\r\n\r\n")), 1);
}

TEST_F(HexFileTest, AfterTheEndRecordOnlyBlankLines) {
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + "\n  \n\t\n")), 0);
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + "\n; comment\n")), 8);
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + ":00000001FF\n")), 7);
  // Text hidden behind a run of blanks longer than any record is still text.
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + std::string(530, ' ') + "x\n")), 7);
  // A blank line is empty once its trailing blanks are gone, however long it was.
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + std::string(522, '\t') + "\n")), 0);
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + std::string(5000, ' ') + "\n")), 0);
  // A long run of blanks and tabs, then text on the next line: the text is the bad line.
  EXPECT_EQ(CheckHexFile(std::string(MORVALA_SOURCE_DIR) +
                         "/fuzz/corpus/hexfile/blank_run_after_end.hex"),
            4);
  // Past a 0x1A nothing counts.
  EXPECT_EQ(CheckHexFile(Put(std::string(kAssemblerOutput) + "\032garbage\n")), 0);
}

TEST_F(HexFileTest, FileErrorsCarryGermanTexts) {
  EXPECT_EQ(IoErrorText(ENOENT, FileOp::Read), "Datei nicht gefunden");
  EXPECT_EQ(IoErrorText(EACCES, FileOp::Read), "Dateizugriff verweigert");
  EXPECT_EQ(IoErrorText(EIO, FileOp::Read), "E/A-Fehler 5");

  try {
    CountLines(dir / "missing.hex");
    ADD_FAILURE() << "no error for a missing file";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Datei nicht gefunden");
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  try {
    CheckHexFile(dir.Path());
    ADD_FAILURE() << "no error for a directory";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Dateizugriff verweigert");  // the same text the CSV export gives
  }
  if (::geteuid() != 0) {
    const std::string p = Put(kAssemblerOutput);
    ::chmod(p.c_str(), 0);
    try {
      HexLineReader r(p);
      ADD_FAILURE() << "no error for an unreadable file";
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Dateizugriff verweigert");
    }
  }
}

}  // namespace
