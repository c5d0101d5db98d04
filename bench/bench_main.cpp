// The benchmark program. Each subcommand prints its figures as "name: value" lines that
// bench/run.sh collects; nothing here judges them.
//
//   morvala_bench download   --records N --flags1 X --flags2 Y [--variant V] [--reps R]
//                            [--baud B] [--queue BYTES] [--port PATH] [--sample]
//   morvala_bench components
//   morvala_bench firmware   --lines N
//   morvala_bench analysis   [--records N] [--width W] [--height H] [--reps R]
//   morvala_bench logbook    [--flights N] [--reps R]
//   morvala_bench write-flight --records N --flags1 X --flags2 Y --out FILE
#include <QStyleFactory>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "app/application.h"
#include "bench/bench.h"

namespace bench {

Args::Args(int argc, char** argv, int first) {
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0) continue;
    a = a.substr(2);
    if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
      values_[a] = argv[++i];
    else
      values_[a] = "";
  }
}

std::string Args::Str(const std::string& name, const std::string& fallback) const {
  auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

long Args::Int(const std::string& name, long fallback) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return fallback;
  return std::strtol(it->second.c_str(), nullptr, 0);
}

loggersim::SimFlight MakeFlight(int records, uint8_t flags1, uint8_t flags2) {
  loggersim::SimFlight f;
  f.recordFlags1 = flags1;
  f.recordFlags2 = flags2;
  f.sampleRateCode = 49;
  f.latHemisphere = 'N';
  f.latDegrees = 47;
  f.lonHemisphere = 'E';
  f.lonDegrees = 8;
  f.records.resize(static_cast<size_t>(records));
  for (int i = 0; i < records; ++i) {
    loggersim::SimRecord& r = f.records[static_cast<size_t>(i)];
    // A climb and glide of a few minutes' period with some noise on it.
    const double phase = i / 300.0;
    r.adc16 = static_cast<uint16_t>(30000 + 8000 * std::sin(phase) + (i * 7919) % 200);
    for (int k = 0; k < 4; ++k) r.adc[k] = static_cast<uint16_t>((i * (k + 3)) % 1024);
    r.adc4 = static_cast<uint8_t>(i % 256);
    r.freq = static_cast<uint16_t>(1000 + i % 500);
    r.rpm = static_cast<uint16_t>(3000 + i % 1000);
    for (int k = 0; k < 3; ++k) r.rc[k] = static_cast<uint8_t>((i + 40 * k) % 256);
    r.tempInt = 25;
    r.tempExt = static_cast<uint8_t>(10 + i % 5);
    r.latMin = static_cast<uint16_t>((12000 + i * 3) % 60000);
    r.lonMin = static_cast<uint16_t>((30000 + i * 5) % 60000);
    r.gps3 = static_cast<uint16_t>(i % 1000);
  }
  return f;
}

Session::Session() {
  onFailure = [](const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(2);
  };
}

TForm1& ShowWindow(Session& session) {
  TForm1& form = session.CreateWindow();
  Pump(200);
  return form;
}

bool ReadConfiguration(Session& session) {
  session.SwitchOnWhenAsked([&] { session.form->StartbuttonClick(); });
  return session.form->Flags.ConfigRead;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace bench

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: morvala_bench download|components|firmware|analysis|logbook|write-flight "
                 "[options]\n");
    return 2;
  }
  const std::string command = argv[1];
  const bench::Args args(argc, argv, 2);
  if (command == "write-flight") return bench::WriteFlightFile(args);

  // As the program itself starts (app/main.cpp): the classic style unless one is chosen.
  const bool userStyle = std::getenv("QT_STYLE_OVERRIDE") != nullptr;
  MorvalaApplication app(argc, argv);
  if (!userStyle)
    if (QStyle* classic = QStyleFactory::create("Windows")) QApplication::setStyle(classic);
  InstallMainThreadWake();
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (command == "download") return bench::RunDownload(args);
  if (command == "components") return bench::RunComponents(args);
  if (command == "firmware") return bench::RunFirmware(args);
  if (command == "analysis") return bench::RunAnalysis(args);
  if (command == "logbook") return bench::RunLogbook(args);
  std::fprintf(stderr, "unknown command %s\n", command.c_str());
  return 2;
}
