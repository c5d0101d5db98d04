// build/loggersim: the simulated logger as a program, for trying the window
// by hand and for tests that run the program under test as a whole. Only the dump file
// of --replay is read with the program's own reader (formats/rawdumpfile.h); the wire
// format stays the simulator's own coding.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "formats/rawdumpfile.h"
#include "tools/sim/loggersim.h"

using namespace loggersim;

namespace {

const char kHelp[] =
    "usage: loggersim [options]\n"
    "Plays the flight data logger on a pseudo-terminal. Prints the slave path\n"
    "(open it as the serial port) and runs until its lifetime ends or SIGTERM.\n"
    "\n"
    "  --link PATH             make a symlink PATH to the slave (removed at the end)\n"
    "  --flight FILE           stored flight from a flight file (see data/README.md)\n"
    "  --sample                the built-in 20-minute sample flight (default)\n"
    "  --empty                 no stored flight\n"
    "  --replay DUMPFILE       answer a download with exactly the bytes of a raw dump\n"
    "                          (morvala-cli download --dump, log dump)\n"
    "  --data-length N|auto    DataLength announced in the download header\n"
    "  --truncate              stop the download after DataLength record bytes\n"
    "  --baud N                pace the output at the line rate of N baud (default 38400)\n"
    "  --bits N                bits per byte on the line (default 11, 8N2)\n"
    "  --fast                  send as fast as the pty takes it\n"
    "  --bootloader            start in the bootloader (firmware update)\n"
    "  --image-out FILE        at the end, write the programmed image as Intel HEX\n"
    "  --log FILE              log every received byte with its time (ms)\n"
    "  --lifetime SEC          end after SEC seconds (default: run until SIGTERM)\n"
    "  --announce-every SEC    announce again every SEC seconds until acknowledged\n"
    "                          (default 3; 0 = announce once)\n"
    "  --power-on-delay MS     from start to the first announce (default 300)\n"
    "  --reannounce-ms MS      from a write message to the new announce (default 300)\n"
    "  --delete-ms MS          time a delete takes (default 3000)\n"
    "  --reon-after MS         switched on again MS after a download\n"
    "                          (default 2000 when announcing repeatedly, else never)\n"
    "  --sync N                0x55 bytes before an announce (default 3)\n"
    "  --config key=value ...  configuration: recordFlags1 recordFlags2 sampleRateCode\n"
    "                          teleFlags1 teleFlags2 adc3Offset serialSensor\n"
    "                          flightNumber dataCount eepromSize leadByte\n"
    "                          count (count byte N) extra=b1,b2,...\n"
    "  --fault NAME[=ARG] ...  faults:\n"
    "      config-stop-after=K      every announce stops after K bytes\n"
    "      download-stop-after=K    the download answer stops after K bytes\n"
    "      records-stop-after=K     the records stop after K bytes\n"
    "      garbage-before=N         N garbage bytes before every message\n"
    "      garbage-inside=K:N       N garbage bytes after byte K of every message\n"
    "      endless                  the download never ends\n"
    "      babble                   garbage without a pause from power-on\n"
    "      all-high-bits            record byte 2 carries unrecorded ADC bits too\n"
    "      hangup-at=K              close the line after K bytes sent in all\n"
    "      hangup-in-download=K     close the line after K bytes of a download\n"
    "      download-delay=MS        delay before the download answer (default 2)\n"
    "      boot-silent              the bootloader answers no trigger\n"
    "      boot-ready-on=K          \"r\" only from the K-th trigger on\n"
    "      boot-wrong-ready=C       answer C to the triggers before that\n"
    "      boot-bad-answer-at=M[:C] record M is answered C (default E)\n"
    "      boot-no-answer-at=M      record M gets no answer\n"
    "      boot-no-s                the end record is answered \".\", not \"S\"\n"
    "  --pause OFFSET:MS       hold the download answer MS ms after its first OFFSET\n"
    "                          bytes (counted from the 0x55 run); repeatable\n"
    "  --pause config:OFFSET:MS  the same inside every configuration message\n"
    "  --write-sample-flight FILE  write the built-in flight as a flight file and end\n"
    "  --write-sample-hex FILE     write the sample firmware as Intel HEX and end\n"
    "  --crlf                  CR LF line ends for --write-sample-hex\n"
    "  --help                  this text\n";

bool Number(const char* s, long& v) {
  char* end;
  v = std::strtol(s, &end, 10);
  return *s && !*end;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions opt;
  opt.announceEveryMs = 3000;
  bool reonGiven = false;
  SimFlight flight = SampleFlight();
  bool flightGiven = false, emptyFlight = false;
  std::vector<std::string> configSettings;
  std::string imageOut, sampleFlightOut, sampleHexOut, dataLength;
  bool truncate = false, crlf = false;
  RawDump replay;

  std::vector<std::string> args(argv + 1, argv + argc);
  auto fail = [](const std::string& what) {
    std::cerr << "loggersim: " << what << " (see --help)\n";
    return 2;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto number = [&](long& out) {
      std::string s;
      return value(s) && Number(s.c_str(), out) && out >= 0;
    };
    long n;
    std::string s;
    if (a == "--help" || a == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (a == "--link") {
      if (!value(opt.linkPath)) return fail("--link needs a path");
    } else if (a == "--flight") {
      if (!value(s)) return fail("--flight needs a file");
      try {
        flight = LoadFlight(s);
      } catch (const std::exception& e) {
        return fail(e.what());
      }
      flightGiven = true;
    } else if (a == "--sample") {
      flight = SampleFlight();
    } else if (a == "--empty") {
      emptyFlight = true;
    } else if (a == "--replay") {
      if (!value(s)) return fail("--replay needs a dump file");
      try {
        replay = ReadRawDumpFile(s);
      } catch (const std::exception& e) {
        return fail(s + ": " + e.what());
      }
      if (replay.bytes.empty()) return fail(s + ": the dump holds no bytes");
    } else if (a == "--data-length") {
      if (!value(dataLength)) return fail("--data-length needs N or auto");
    } else if (a == "--truncate") {
      truncate = true;
    } else if (a == "--baud") {
      if (!number(n) || n == 0) return fail("--baud needs a rate");
      opt.baud = int(n);
    } else if (a == "--bits") {
      if (!number(n) || n == 0) return fail("--bits needs a number");
      opt.bitsPerByte = int(n);
    } else if (a == "--fast") {
      opt.baud = 0;
    } else if (a == "--bootloader") {
      opt.mode = SimMode::Bootloader;
    } else if (a == "--image-out") {
      if (!value(imageOut)) return fail("--image-out needs a file");
    } else if (a == "--log") {
      if (!value(opt.logPath)) return fail("--log needs a file");
    } else if (a == "--lifetime") {
      if (!value(s)) return fail("--lifetime needs seconds");
      opt.lifetimeMs = int(std::atof(s.c_str()) * 1000);
    } else if (a == "--announce-every") {
      if (!value(s)) return fail("--announce-every needs seconds");
      opt.announceEveryMs = int(std::atof(s.c_str()) * 1000);
    } else if (a == "--power-on-delay") {
      if (!number(n)) return fail("--power-on-delay needs ms");
      opt.powerOnDelayMs = int(n);
    } else if (a == "--reannounce-ms") {
      if (!number(n)) return fail("--reannounce-ms needs ms");
      opt.reannounceDelayMs = int(n);
    } else if (a == "--delete-ms") {
      if (!number(n)) return fail("--delete-ms needs ms");
      opt.deleteMs = int(n);
    } else if (a == "--reon-after") {
      if (!number(n)) return fail("--reon-after needs ms");
      opt.reonAfterDownloadMs = int(n);
      reonGiven = true;
    } else if (a == "--sync") {
      if (!number(n) || n == 0) return fail("--sync needs a count");
      opt.syncCount = int(n);
    } else if (a == "--config" || a == "--fault") {
      size_t before = i;
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        const std::string& item = args[++i];
        std::string err;
        if (a == "--fault") {
          if (!ParseFault(item, opt.faults, &err)) return fail(err);
        } else {
          configSettings.push_back(item);
        }
      }
      if (i == before) return fail(a + " needs an argument");
    } else if (a == "--pause") {
      std::string err;
      if (!value(s)) return fail("--pause needs OFFSET:MS or config:OFFSET:MS");
      if (!ParsePause(s, opt.faults, &err)) return fail(err);
    } else if (a == "--write-sample-flight") {
      if (!value(sampleFlightOut)) return fail("--write-sample-flight needs a file");
    } else if (a == "--write-sample-hex") {
      if (!value(sampleHexOut)) return fail("--write-sample-hex needs a file");
    } else if (a == "--crlf") {
      crlf = true;
    } else {
      return fail("unknown option " + a);
    }
  }

  if (!sampleFlightOut.empty() || !sampleHexOut.empty()) {
    try {
      if (!sampleFlightOut.empty()) SaveFlight(SampleFlight(), sampleFlightOut);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
    if (!sampleHexOut.empty() && !WriteHexFile(SampleFirmwareImage(), sampleHexOut, crlf))
      return fail("cannot write " + sampleHexOut);
    return 0;
  }

  (void)flightGiven;
  if (emptyFlight) flight.records.clear();
  if (!dataLength.empty()) {
    long v;
    if (dataLength == "auto")
      flight.dataLength = -1;
    else if (Number(dataLength.c_str(), v) && v >= 0 && v <= 65535)
      flight.dataLength = int(v);
    else
      return fail("bad --data-length " + dataLength);
  }
  if (truncate) flight.truncateToDataLength = true;
  SimConfig config = ConfigForFlight(flight);
  if (!replay.bytes.empty()) {
    opt.replay = replay.bytes;
    config = ConfigForReplay(replay.bytes, replay.eepromKByte);
  }
  for (const std::string& c : configSettings) {
    std::string err;
    if (!ParseConfigSetting(c, config, &err)) return fail(err);
  }
  if (!reonGiven && opt.announceEveryMs > 0) opt.reonAfterDownloadMs = 2000;

  // Signals are taken by sigtimedwait below; the simulator's thread
  // inherits the blocked mask.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  LoggerSim sim(opt, config, flight);
  try {
    sim.Start();
  } catch (const std::exception& e) {
    std::cerr << "loggersim: " << e.what() << "\n";
    return 1;
  }
  std::cout << sim.SlavePath() << std::endl;

  while (sim.Running()) {
    timespec ts{0, 200 * 1000 * 1000};
    int sig = sigtimedwait(&set, nullptr, &ts);
    if (sig > 0) break;
  }
  bool hungUp = sim.HungUp();
  sim.Stop();
  if (!imageOut.empty() && !sim.WriteImageHex(imageOut)) {
    std::cerr << "loggersim: cannot write " << imageOut << "\n";
    return 1;
  }
  if (hungUp) std::cerr << "loggersim: line closed (hang-up fault)\n";
  return 0;
}
