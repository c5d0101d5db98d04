// Fault and configuration settings given as text (command line of
// build/loggersim, and tests).
#include <sstream>

#include "tools/sim/loggersim.h"
#include "tools/sim/simutil.h"

namespace loggersim {

namespace {

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// A character as itself ("E") or as a number ("0x45", "69").
bool ParseAnswerChar(const std::string& s, int& c) {
  long v;
  if (s.size() > 1 && ParseNumber(s, v) && v <= 255) {
    c = int(v);
    return true;
  }
  if (s.size() == 1) {
    c = uint8_t(s[0]);
    return true;
  }
  return false;
}

}  // namespace

bool ParseFault(const std::string& text, SimFaults& f, std::string* error) {
  size_t eq = text.find('=');
  std::string name = Trim(text.substr(0, eq));
  std::string arg = eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
  bool hasArg = eq != std::string::npos;
  long v = 0;
  auto number = [&](long lo, long hi) {
    return hasArg && ParseNumber(arg, v) && v >= lo && v <= hi;
  };
  auto bad = [&]() { return Fail(error, "bad argument for fault " + name + ": '" + arg + "'"); };

  if (name == "config-stop-after") {
    if (!number(0, 1 << 20)) return bad();
    f.configStopAfter = int(v);
  } else if (name == "download-stop-after") {
    if (!number(0, 1 << 30)) return bad();
    f.downloadStopAfter = int(v);
  } else if (name == "records-stop-after") {
    if (!number(0, 1 << 30)) return bad();
    f.recordsStopAfter = int(v);
  } else if (name == "garbage-before") {
    if (!number(0, 1 << 20)) return bad();
    f.garbageBefore = int(v);
  } else if (name == "garbage-inside") {
    size_t colon = arg.find(':');
    long at, count;
    if (colon == std::string::npos || !ParseNumber(arg.substr(0, colon), at) ||
        !ParseNumber(arg.substr(colon + 1), count) || count > (1 << 20))
      return bad();
    f.garbageInsideAt = int(at);
    f.garbageInsideCount = int(count);
  } else if (name == "endless") {
    f.endless = true;
  } else if (name == "babble") {
    f.babble = true;
  } else if (name == "all-high-bits") {
    f.allHighBits = true;
  } else if (name == "hangup-at") {
    if (!number(0, 0x7FFFFFFF)) return bad();
    f.hangupAt = v;
  } else if (name == "hangup-in-download") {
    if (!number(0, 0x7FFFFFFF)) return bad();
    f.hangupInDownloadAt = v;
  } else if (name == "download-delay") {
    if (!number(0, 600000)) return bad();
    f.downloadDelayMs = int(v);
  } else if (name == "boot-silent") {
    f.bootSilent = true;
  } else if (name == "boot-ready-on") {
    if (!number(1, 1000)) return bad();
    f.bootReadyOnTrigger = int(v);
  } else if (name == "boot-wrong-ready") {
    int c;
    if (!ParseAnswerChar(arg, c)) return bad();
    f.bootWrongReady = c;
  } else if (name == "boot-bad-answer-at") {
    size_t colon = arg.find(':');
    long m;
    int c = 'E';
    if (!ParseNumber(arg.substr(0, colon), m) || m < 1 ||
        (colon != std::string::npos && !ParseAnswerChar(arg.substr(colon + 1), c)))
      return bad();
    f.bootBadAnswerAtLine = int(m);
    f.bootBadAnswer = char(c);
  } else if (name == "boot-no-answer-at") {
    if (!number(1, 1 << 30)) return bad();
    f.bootNoAnswerAtLine = int(v);
  } else if (name == "boot-no-s") {
    f.bootNoFinalS = true;
  } else {
    return Fail(error, "unknown fault: " + name);
  }
  return true;
}

bool ParsePause(const std::string& text, SimFaults& f, std::string* error) {
  std::string rest = Trim(text);
  std::vector<SimPause>* list = &f.downloadPauses;
  if (rest.rfind("config:", 0) == 0) {
    list = &f.configPauses;
    rest = rest.substr(7);
  }
  size_t colon = rest.find(':');
  long offset, ms;
  if (colon == std::string::npos || !ParseNumber(Trim(rest.substr(0, colon)), offset) ||
      !ParseNumber(Trim(rest.substr(colon + 1)), ms) || offset < 0 || offset > (1L << 30) ||
      ms < 0 || ms > 600000)
    return Fail(error, "bad pause '" + text + "' (OFFSET:MS or config:OFFSET:MS)");
  list->push_back(SimPause{offset, int(ms)});
  return true;
}

bool ParseConfigSetting(const std::string& text, SimConfig& c, std::string* error) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) return Fail(error, "key=value expected: " + text);
  std::string key = Trim(text.substr(0, eq));
  std::string value = Trim(text.substr(eq + 1));
  long v = 0;
  auto bad = [&]() { return Fail(error, "bad value for " + key + ": '" + value + "'"); };
  if (key == "extra") {
    c.extraBytes.clear();
    std::stringstream ss(value);
    std::string item;
    while (std::getline(ss, item, ',')) {
      if (!ParseNumber(Trim(item), v) || v > 255) return bad();
      c.extraBytes.push_back(uint8_t(v));
    }
    return true;
  }
  if (!ParseNumber(value, v)) return bad();
  auto byte = [&](uint8_t& field) {
    if (v > 255) return bad();
    field = uint8_t(v);
    return true;
  };
  if (key == "recordFlags1") return byte(c.recordFlags1);
  if (key == "recordFlags2") return byte(c.recordFlags2);
  if (key == "sampleRateCode") return byte(c.sampleRateCode);
  if (key == "teleFlags1") return byte(c.teleFlags1);
  if (key == "teleFlags2") return byte(c.teleFlags2);
  if (key == "adc3Offset") return byte(c.adc3Offset);
  if (key == "serialSensor") return byte(c.serialSensor);
  if (key == "eepromSize") return byte(c.eepromSize);
  if (key == "leadByte") {
    if (v == 0x55) return bad();
    return byte(c.leadByte);
  }
  if (key == "flightNumber" || key == "dataCount") {
    if (v > 65535) return bad();
    (key == "flightNumber" ? c.flightNumber : c.dataCount) = uint16_t(v);
    return true;
  }
  if (key == "count") {
    if (v > 255) return bad();
    c.countOverride = int(v);
    return true;
  }
  return Fail(error, "unknown configuration key: " + key);
}

}  // namespace loggersim
