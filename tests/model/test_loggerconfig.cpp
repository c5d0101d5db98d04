// The configuration block: bits and boxes, interval codes, the write message, the texts
// of the window and the recording-time estimate.
#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

#include "frontend/configcontrols.h"
#include "model/loggerconfig.h"

namespace {

ConfigControls Controls(std::initializer_list<int> recorded, int rateItem) {
  ConfigControls c;
  for (int box : recorded) c.record[static_cast<size_t>(box)] = true;
  c.rateItem = rateItem;
  c.sensorItem = 0;
  c.deleteItem = 0;
  return c;
}

// The write message the window sends for its controls.
std::array<uint8_t, 11> PackWriteMessage(const ConfigControls& c) {
  return WriteMessageFor(SettingsFromControls(c));
}

bool NeedsSlowerThanFastest(const ConfigControls& c) {
  return ::NeedsSlowerThanFastest(c.record, c.tele, c.rateItem);
}

LoggerConfig Received(std::vector<uint8_t> bytes) {
  LoggerConfig cfg;
  for (size_t i = 0; i < bytes.size(); ++i) cfg.Bytes[i + 1] = bytes[i];
  cfg.CopyNamedFields();
  return cfg;
}

}  // namespace

TEST(SampleRate, CodesReadAsTheHighestItemTheyExceed) {
  const std::vector<std::pair<int, int>> cases = {{0, 0},   {1, 1},   {3, 1},  {4, 2},
                                                  {18, 2},  {19, 3},  {37, 3}, {38, 4},
                                                  {225, 4}, {226, 5}, {255, 5}};
  for (auto [code, item] : cases)
    EXPECT_EQ(SampleRateItemForCode(static_cast<uint8_t>(code)), item) << "code " << code;
}

TEST(SampleRate, WrittenCodesReadBackAsTheirItem) {
  const int codes[] = {0, 2, 12, 24, 49, 249};
  for (int item = 0; item < SampleRateItemCount; ++item) {
    EXPECT_EQ(CodeForItem(item), codes[item]);
    EXPECT_EQ(SampleRateItemForCode(CodeForItem(item)), item);
  }
  EXPECT_EQ(CodeForItem(-1), 49);
  EXPECT_EQ(CodeForItem(6), 49);
  EXPECT_DOUBLE_EQ(SamplesPerSecond(1), 16.67);
  EXPECT_DOUBLE_EQ(SamplesPerSecond(2), 3.85);
  EXPECT_DOUBLE_EQ(SamplesPerSecond(5), 0.2);
  EXPECT_DOUBLE_EQ(SamplesPerSecond(-1), 1);
}

TEST(WriteMessage, OneSecondSixteenBitAdcWithTelemetry) {
  ConfigControls c = Controls({chAD16, chTele}, 4);
  c.offsetText = "000";
  c.serialText = "012";
  const std::array<uint8_t, 11> expected = {0x63, 0x01, 0x80, 49, 0, 0, 0x00, 0x80, 0, 12, 0};
  EXPECT_EQ(PackWriteMessage(c), expected);
  c.tele[chT4800] = true;
  EXPECT_EQ(PackWriteMessage(c)[7], 0x00);
}

TEST(WriteMessage, SerialSensorOffsetAndDeleteMode) {
  ConfigControls c = Controls({}, -1);
  c.serialText = "127";
  c.sensorItem = 1;
  EXPECT_EQ(PackWriteMessage(c)[9], 255);
  c.serialText = "100";
  c.sensorItem = 0;
  c.offsetText = "105";
  auto msg = PackWriteMessage(c);
  EXPECT_EQ(msg[9], 100);
  EXPECT_EQ(msg[8], 105);
  EXPECT_EQ(msg[3], 49);  // no interval selected
  c.serialText = "005";
  EXPECT_EQ(PackWriteMessage(c)[9], 5);

  const std::pair<int, int> deletes[] = {{0, 0}, {1, 1}, {2, 255}, {-1, 0}};
  for (auto [item, mode] : deletes) {
    c.deleteItem = item;
    EXPECT_EQ(PackWriteMessage(c)[10], mode) << "item " << item;
  }
}

TEST(WriteMessage, EveryBoxLandsOnItsOwnBitAndNothingElseIsSent) {
  for (int box = 0; box < chCount; ++box) {
    ConfigControls c = Controls({box}, 0);
    c.tele[chT4800] = true;  // bit 7 of TeleFlags2 clear
    auto msg = PackWriteMessage(c);
    const int byte = box < 8 ? 1 : 2;
    EXPECT_EQ(msg[byte], 1u << (box % 8)) << "record box " << box;
    EXPECT_EQ(msg[byte == 1 ? 2 : 1], 0) << "record box " << box;
    EXPECT_EQ(msg[6] | msg[7], 0) << "record box " << box;

    ConfigControls t = Controls({}, 0);
    t.tele[static_cast<size_t>(box)] = true;
    if (box != chT4800) t.tele[chT4800] = true;
    msg = PackWriteMessage(t);
    const uint8_t flags1 = msg[6], flags2 = msg[7];
    if (box < 8) {
      EXPECT_EQ(flags1, 1u << box);
      EXPECT_EQ(flags2, 0);
    } else if (box == chT4800) {
      EXPECT_EQ(flags1, 0);
      EXPECT_EQ(flags2, 0x00);  // checked: bit clear
    } else {
      EXPECT_EQ(flags1, 0);
      EXPECT_EQ(flags2, 1u << (box - 8));
    }
  }
  // The data count goes out as 0, 0 and the flight number's low byte never leaves.
  LoggerConfig cfg = Received({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  auto msg = WriteMessage(cfg);
  EXPECT_EQ(msg[4], 0);
  EXPECT_EQ(msg[5], 0);
  EXPECT_EQ(msg[10], 10);  // the delete mode's place is the flight number's high byte
}

TEST(ConfigBlock, LoadAndPackAreInverse) {
  // Every box pattern that a logger can report comes back unchanged through the controls.
  for (int v : {0x00, 0x01, 0x5A, 0xA5, 0x80, 0x7F, 0xFF}) {
    LoggerConfig cfg = Received({uint8_t(v), uint8_t(v ^ 0xFF), 24, 0, 0, uint8_t(v),
                                 uint8_t(v ^ 0x0F), 200, uint8_t(v), 0, 0});
    ConfigControls c = ControlsFromConfig(cfg);
    auto msg = PackWriteMessage(c);
    EXPECT_EQ(msg[1], cfg.RecordFlags1);
    EXPECT_EQ(msg[2], cfg.RecordFlags2);
    EXPECT_EQ(msg[3], 24);
    EXPECT_EQ(msg[6], cfg.TeleFlags1);
    EXPECT_EQ(msg[7], cfg.TeleFlags2);
    EXPECT_EQ(msg[8], 200);
    EXPECT_EQ(msg[9], cfg.SerialSensor);
    EXPECT_EQ(msg[10], 0);  // the load selects "kein"
  }
}

TEST(ConfigBlock, EmptyMessageAndTheFourEightHundredSwitch) {
  LoggerConfig cfg;
  cfg.EepromKByte = 64;
  cfg.CopyNamedFields();
  ConfigControls c = ControlsFromConfig(cfg);
  for (int box = 0; box < chCount; ++box) {
    EXPECT_FALSE(c.record[static_cast<size_t>(box)]) << box;
    EXPECT_EQ(c.tele[static_cast<size_t>(box)], box == chT4800) << box;
  }
  EXPECT_EQ(c.rateItem, 0);
  EXPECT_EQ(c.sensorItem, 0);
  EXPECT_EQ(c.serialText, "000");
  EXPECT_EQ(c.offsetText, "000");
  EXPECT_EQ(cfg.EepromKByte, 64);
  EXPECT_EQ(DataCountText(cfg.DataCount), "Daten: 0");
  EXPECT_EQ(FlightNumberText(cfg.FlightNumber()), "Flugnummer: 00000");

  cfg.Bytes[7] = 0x80;
  cfg.CopyNamedFields();
  EXPECT_FALSE(ControlsFromConfig(cfg).tele[chT4800]);
}

TEST(ConfigBlock, NumbersAndEepromSize) {
  LoggerConfig cfg = Received({0, 0, 226, 0x01, 0x2C, 0, 0, 7, 0x80 | 5, 0x00, 0x07});
  EXPECT_EQ(cfg.DataCount, 300);
  EXPECT_EQ(DataCountText(cfg.DataCount), "Daten: 300");
  EXPECT_EQ(FlightNumberText(cfg.FlightNumber()), "Flugnummer: 00007");
  EXPECT_EQ(cfg.EepromKByte, 32);  // 11 bytes: no size reported
  ConfigControls c = ControlsFromConfig(cfg);
  EXPECT_EQ(c.rateItem, 5);
  EXPECT_EQ(c.serialText, "005");
  EXPECT_EQ(c.offsetText, "007");
  EXPECT_EQ(c.sensorItem, 1);

  cfg.Bytes[12] = 8;
  cfg.CopyNamedFields();
  EXPECT_EQ(cfg.EepromKByte, 256);
  EXPECT_EQ(EepromText(cfg.EepromKByte), "EEPROM: 256kByte");
  cfg.Bytes[12] = 0;
  cfg.CopyNamedFields();
  EXPECT_EQ(cfg.EepromKByte, 256);  // kept
  cfg.ResetForWindow();
  EXPECT_EQ(cfg.EepromKByte, 256);
  EXPECT_EQ(cfg.SerialSensor, 0);
  EXPECT_EQ(cfg.Adc3Offset, 0);
}

TEST(Texts, FlightNumberReceivedAndPadding) {
  EXPECT_EQ(FlightNumberText(12345), "Flugnummer: 12345");
  EXPECT_EQ(FlightNumberText(0), "Flugnummer: 00000");
  EXPECT_EQ(FlightNumberText(7), "Flugnummer: 00007");
  EXPECT_EQ(FlightNumberText(99), "Flugnummer: 00099");
  EXPECT_EQ(FlightNumberText(1000), "Flugnummer: 01000");
  EXPECT_EQ(FlightNumberText(65535), "Flugnummer: 65535");
  const uint8_t bytes[] = {3, 7};
  EXPECT_EQ(ConfigReceivedText(0, bytes), "Konfiguration empfangen : 0 3 7 ");
  EXPECT_EQ(ConfigReceivedText(9, {}), "Konfiguration empfangen : 9 ");
  EXPECT_EQ(ThreeDigits(7), "007");
  EXPECT_EQ(ThreeDigits(10), "010");
  EXPECT_EQ(ThreeDigits(255), "255");
}

TEST(Texts, NumberFields) {
  EXPECT_EQ(NormalizeSerialText("200").text, "127");
  EXPECT_EQ(NormalizeSerialText("200").value, 127);
  EXPECT_EQ(NormalizeOffsetText("999").text, "255");
  EXPECT_EQ(NormalizeOffsetText("999").value, 255);
  EXPECT_EQ(NormalizeOffsetText("7").text, "007");
  EXPECT_EQ(NormalizeSerialText("7").text, "007");
  EXPECT_EQ(NormalizeSerialText("").text, "000");
  EXPECT_EQ(NormalizeOffsetText("   ").text, "000");
  EXPECT_EQ(NormalizeOffsetText("12 ").text, "012");
  EXPECT_EQ(NormalizeOffsetText("2555").text, "255");  // a fourth digit is not taken
  // The write-back is a fixed point: a second pass changes nothing.
  for (const char* t : {"", "5", "99", "127", "128", "300"}) {
    auto once = NormalizeSerialText(t);
    EXPECT_EQ(NormalizeSerialText(once.text).text, once.text) << t;
  }
  EXPECT_EQ(DisplayedNumber("007"), 7);
  EXPECT_EQ(DisplayedNumber("120"), 120);
  EXPECT_EQ(DisplayedNumber("100"), 100);
  EXPECT_EQ(DisplayedNumber("   "), 0);
}

TEST(RecordingTime, WorkedExamples) {
  EXPECT_EQ(
      RecordingTimeText(BytesPerSample(Controls({chAD16}, 0).record), SamplesPerSecond(0), 32),
      "max. 5m 28s");
  auto c = Controls({chAD16, chAD0, chRC1}, 4);
  EXPECT_EQ(BytesPerSample(c.record), 5);
  EXPECT_EQ(RecordingTimeText(5, SamplesPerSecond(4), 256), "max. 14h 33m 49s");
  // T exactly 3600 has no hour part.
  EXPECT_EQ(RecordingTimeText(1024, 1, 3600), "max. 60m 0s");
  EXPECT_EQ(RecordingTimeText(1024, 1, 3601), "max. 1h 0m 1s");
  EXPECT_EQ(RecordingTimeText(0, 50, 32), " ");
}

TEST(RecordingTime, HalvesGoToTheEvenNeighbour) {
  // k * 1024 / 1024 / 2 = k / 2 exactly.
  EXPECT_EQ(RecordingTimeText(1024, 2, 5), "max. 0m 2s");   // 2.5 -> 2
  EXPECT_EQ(RecordingTimeText(1024, 2, 7), "max. 0m 4s");   // 3.5 -> 4
  EXPECT_EQ(RecordingTimeText(1024, 2, 9), "max. 0m 4s");   // 4.5 -> 4
  EXPECT_EQ(RecordingTimeText(1024, 2, 11), "max. 0m 6s");  // 5.5 -> 6
  const int saved = std::fegetround();
  std::fesetround(FE_UPWARD);
  EXPECT_EQ(RecordingTimeText(1024, 2, 5), "max. 0m 2s");
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  std::fesetround(saved);
}

TEST(RecordingTime, ByteCountOfTheChannels) {
  EXPECT_EQ(BytesPerSample(Controls({chAD0, chAD1, chAD2, chAD3, chAD4}, 0).record), 6);
  for (int adc : {chAD0, chAD1, chAD2, chAD3, chAD4})
    EXPECT_EQ(BytesPerSample(Controls({adc}, 0).record), 2) << adc;
  EXPECT_EQ(BytesPerSample(Controls({chSpeed}, 0).record), 2);
  EXPECT_EQ(BytesPerSample(Controls({chFrq}, 0).record), 2);
  EXPECT_EQ(BytesPerSample(Controls({chGps}, 0).record), 6);
  EXPECT_EQ(BytesPerSample(Controls({chRC1, chRC2, chRC3, chFrei, chE1, chE2}, 0).record), 6);
  EXPECT_EQ(BytesPerSample(Controls({chTele}, 0).record), 0);
  ConfigControls teleOnly = Controls({}, 0);
  teleOnly.tele.fill(true);
  EXPECT_EQ(BytesPerSample(teleOnly.record), 0);
  EXPECT_EQ(EstimateRecordingTime(teleOnly, 32).text, " ");
  EXPECT_FALSE(EstimateRecordingTime(teleOnly, 32).showLabel);
}

TEST(RecordingTime, FastestIntervalOnlyForTheFastChannels) {
  for (int box : {chRC1, chGps, chSpeed, chFrq, chE2}) {
    EXPECT_TRUE(NeedsSlowerThanFastest(Controls({chAD16, box}, 0))) << box;
    EXPECT_FALSE(NeedsSlowerThanFastest(Controls({chAD16, box}, 2))) << box;
  }
  for (int box : {chAD16, chAD2, chTele})
    EXPECT_FALSE(NeedsSlowerThanFastest(Controls({box}, 0))) << box;
  ConfigControls t = Controls({chAD16}, 0);
  t.tele[chAD16] = true;
  t.tele[chT4800] = true;
  EXPECT_FALSE(NeedsSlowerThanFastest(t));
  t.tele[chFrei] = true;  // "Manchester"
  EXPECT_TRUE(NeedsSlowerThanFastest(t));

  auto e = EstimateRecordingTime(t, 32);
  EXPECT_TRUE(e.moved);
  EXPECT_EQ(e.rateItem, 1);
  EXPECT_EQ(e.text, RecordingTimeText(2, 16.67, 32));
  EXPECT_TRUE(e.showLabel);
}

TEST(Acknowledgement, ThirtyOneTimesFifteen) {
  auto ack = Acknowledgement();
  EXPECT_EQ(ack.size(), 31u);
  for (uint8_t b : ack) EXPECT_EQ(b, 0x0F);
}
