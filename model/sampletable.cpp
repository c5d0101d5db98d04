#include "model/sampletable.h"

#include <cstring>

void FlightData::ZeroFirstRecords() {
  std::memset(SampleTable, 0, sizeof(SampleRecord) * kZeroedOnConfigRead);
}

namespace {
// One step of a degree counter: a minute value that drops from above 50000 to below
// 10000 went over a whole degree upwards, the other way round downwards.
void CountWrap(uint32_t prev, uint32_t now, int& counter) {
  if (prev > 50000 && now < 10000 && counter < 255) ++counter;
  if (prev < 10000 && now > 50000 && counter > 0) --counter;
}
}  // namespace

void FlightData::GradFilter() {
  if (LastSampleIndex < 0) return;
  const int32_t last = LastSampleIndex < kSampleTableSize ? LastSampleIndex : kSampleTableSize - 1;
  int latCount = 100;
  int lonCount = 100;
  uint32_t prevLat = 0;
  uint32_t prevLon = 0;
  for (int32_t i = 0; i <= last; ++i) {
    SampleRecord& r = SampleTable[i];
    const uint32_t lat = Word(r, kLatMinutesHigh);
    if (i > 0) CountWrap(prevLat, lat, latCount);
    r.b[kLatDegreeOffset] = static_cast<uint8_t>(latCount);
    const uint32_t lon = Word(r, kLonMinutesHigh);
    if (i > 0) CountWrap(prevLon, lon, lonCount);
    r.b[kLonDegreeOffset] = static_cast<uint8_t>(lonCount);
    prevLat = lat;
    prevLon = lon;
  }
}
