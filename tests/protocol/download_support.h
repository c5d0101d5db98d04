// The front end of a download as the window is: it records the download's events, draws
// the live graph on a bitmap, shows the status through the recording user, and ends the
// download as the window does (Finish): buttons hidden, then the final graph or the
// no-data box, then the port's error passed on.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "protocol/download.h"
#include "tests/support/flight_support.h"
#include "tests/support/recordinguserio.h"

class FakeView : public StatusOnUserIO<DownloadObserver> {
 public:
  FakeView(UserIO& io, GraphCanvas& bitmap) : StatusOnUserIO(io), box(473, 137), bitmap_(bitmap) {}

  void DownloadRequested() override { calls.push_back("hide groups"); }
  void HeaderBegun() override {
    ShowPaintBox();
    live_ = LiveGraph();
    live_.PrepareLiveGraph(bitmap_);
    ShowLiveGraph();
  }
  void RecordDecoded(const FlightData& fd, int32_t index) override {
    if (index % graphStep == 0) live_.PlotLivePoint(bitmap_, fd, index, graphStep);
    ShowLiveGraph();
  }
  void RecordsSoFar(int32_t count) override {
    io_.SetStatusText(0, std::to_string(count));
    io_.RepaintStatus();
  }
  void RecordsStored(const FlightData&) override {
    saveEnabled = true;
    calls.push_back("enable save");
  }
  virtual void ShowLiveGraph() { ++liveShows; }

  // The window's steps after the exchange.
  DownloadResult Finish(const DownloadResult& result, const FlightData& fd) {
    calls.push_back("hide buttons");
    if (fd.LastSampleIndex < 5) {
      if (!result.portError) io_.ShowMessage(BoxKind::Information, kTextNoData);
    } else {
      ShowPaintBox();
      calls.push_back("final graph");
      DrawFinalGraph(box, fd, bitmap_.Width(), bitmap_.Height());
    }
    if (result.portError) std::rethrow_exception(result.portError);
    return result;
  }

  int32_t graphStep = 1;
  RasterCanvas box;
  bool paintBoxVisible = false;
  bool saveEnabled = false;
  int liveShows = 0;
  std::vector<std::string> calls;

 private:
  void ShowPaintBox() {
    if (!paintBoxVisible) calls.push_back("show paint box");
    paintBoxVisible = true;
  }
  GraphCanvas& bitmap_;
  LiveGraph live_;
};
