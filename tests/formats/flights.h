// Flights for the analysis tests: a sample table filled as a download fills it.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "model/sampletable.h"

namespace testflights {

// A table of n records with every channel recorded and values across each channel's
// range; the GPS minutes walk over whole degrees in both directions.
inline std::unique_ptr<FlightData> Download(int n, char latH = 'N', uint32_t latDeg = 47,
                                            char lonH = 'E', uint32_t lonDeg = 8,
                                            uint32_t seed = 7) {
  auto fd = std::make_unique<FlightData>();
  fd->RecordFlags1 = 0xFF;
  fd->RecordFlags2 = 0x77;
  fd->SampleRateCode = 12;
  fd->HeaderByte6 = 1;
  fd->HeaderByte7 = 200;
  fd->HeaderByte8 = 3;
  fd->HeaderWord9 = 40000;
  fd->LatHemisphere = latH;
  fd->LatDegrees = latDeg;
  fd->LonHemisphere = lonH;
  fd->LonDegrees = lonDeg;
  fd->GpsHeaderValue = 4000000000u;
  std::mt19937 rng(seed);
  uint32_t lat = 59000, lon = 1000;
  for (int i = 0; i < n; ++i) {
    SampleRecord& r = fd->SampleTable[i];
    for (int k = 0; k < 17; ++k) r.b[k] = static_cast<uint8_t>(rng());
    // Minutes that cross whole degrees upwards (latitude) and downwards (longitude).
    lat = (lat + 397) % 60000;
    lon = (lon + 60000 - 211) % 60000;
    r.b[17] = static_cast<uint8_t>(lat >> 8);
    r.b[18] = static_cast<uint8_t>(lat);
    r.b[19] = static_cast<uint8_t>(lon >> 8);
    r.b[20] = static_cast<uint8_t>(lon);
    r.b[21] = static_cast<uint8_t>(rng());
    r.b[22] = static_cast<uint8_t>(rng());
  }
  fd->LastSampleIndex = n - 1;
  fd->ExportFirstIndex = 0;
  fd->ExportLastIndex = n - 1;
  fd->GradFilter();
  return fd;
}

}  // namespace testflights
