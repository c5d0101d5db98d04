#include "cli/logbookcmd.h"

#include <charconv>
#include <cstdio>

#include "cli/jsontext.h"
#include "cli/tool.h"
#include "formats/rawdumpfile.h"
#include "logbook/logbook.h"

namespace cli {

namespace {

std::unique_ptr<logbook::Logbook> OpenLogbook() {
  auto book = logbook::Logbook::Open(logbook::Logbook::DefaultPath());
  if (!book->Notice().empty()) std::fprintf(stderr, "morvala-cli: %s\n", book->Notice().c_str());
  return book;
}

int64_t FlightId(const std::string& text) {
  int64_t id = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (ec != std::errc() || p != text.data() + text.size() || id <= 0)
    throw UsageError("keine Flugnummer im Flugbuch: " + text);
  return id;
}

std::string EntryJson(const logbook::Entry& e) {
  JsonObject j("    ");
  j.Number("id", e.id);
  j.Text("downloaded", e.downloaded);
  j.Text("source", e.source == logbook::Source::Download ? "download" : "import");
  j.Number("records", e.summary.records);
  j.Real("durationS", e.summary.durationS, 2);
  j.Number("serialNumber", e.serialNumber);
  j.Text("sensor", e.sensor);
  j.Number("flightNumber", e.flightNumber);
  j.Text("channels", e.summary.Channels());
  j.Text("fileName", e.fileName);
  j.Text("model", e.model);
  j.Text("note", e.note);
  return j.Close("  ");
}

int List(const Args& args) {
  const auto book = OpenLogbook();
  const std::vector<logbook::Entry> entries = book->List();
  if (args.json) {
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i)
      out += std::string(i ? ",\n  " : "\n  ") + EntryJson(entries[i]);
    out += entries.empty() ? "]\n" : "\n]\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
  }
  for (const logbook::Entry& e : entries) {
    const std::string who =
        e.serialNumber >= 0 ? "Logger " + ThreeDigits(e.serialNumber) : "Import " + e.fileName;
    std::printf("%4lld  %s  %s  %d Datensätze  %.0f s  %s%s%s\n", static_cast<long long>(e.id),
                e.DateText().c_str(), who.c_str(), e.summary.records, e.summary.durationS,
                e.model.c_str(), e.note.empty() ? "" : "  ", e.note.c_str());
  }
  return kExitOk;
}

}  // namespace

std::string KeepDownload(const RawDump& dump, const LoggerConfig& cfg, const FlightData& fd) {
  if (fd.LastSampleIndex + 1 < logbook::kMinRecordsKept) return "";
  const auto book = OpenLogbook();
  const logbook::AddResult r =
      book->AddDownload(dump, logbook::LoggerIdentity::FromConfig(cfg), logbook::LocalTime::Now());
  return r.duplicate ? "der Download ist bereits im Flugbuch (Nr. " + std::to_string(r.id) + ")"
                     : "im Flugbuch als Nr. " + std::to_string(r.id);
}

int LogCommand(const Args& args) {
  const std::string& what = args.files[0];
  if (what == "list") return List(args);
  if (what == "export" || what == "dump") {
    if (args.files.size() != 2) throw UsageError("log " + what + " braucht eine ID");
    if (args.out.empty()) throw UsageError("log " + what + " braucht -o DATEI");
    const auto book = OpenLogbook();
    const int64_t id = FlightId(args.files[1]);
    if (!book->Get(id)) throw UsageError("kein Flug " + args.files[1] + " im Flugbuch");
    if (what == "export")
      book->Export(id, args.out);
    else
      WriteRawDumpFile(args.out, book->Dump(id));
    return kExitOk;
  }
  if (what == "import") {
    if (args.files.size() < 2) throw UsageError("log import braucht Dateien oder Ordner");
    const auto book = OpenLogbook();
    int refused = 0;
    for (const logbook::ImportOutcome& o :
         book->ImportFiles({args.files.begin() + 1, args.files.end()})) {
      if (o.taken && !o.duplicate)
        std::printf("%s: aufgenommen als Nr. %lld\n", o.path.c_str(), static_cast<long long>(o.id));
      else if (o.duplicate)
        std::printf("%s: bereits im Flugbuch (Nr. %lld)\n", o.path.c_str(),
                    static_cast<long long>(o.id));
      else {
        ++refused;
        std::fprintf(stderr, "morvala-cli: %s: %s\n", o.path.c_str(), o.reason.c_str());
      }
    }
    return refused ? kExitFile : kExitOk;
  }
  throw UsageError("log kennt list, export, import und dump, nicht " + what);
}

}  // namespace cli
