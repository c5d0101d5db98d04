// The disk button's flow: the save dialog, then the CSV file of the export range.
#pragma once

#include <string>

#include "model/sampletable.h"

class UserIO;

// SaveButtonClick: the save dialog (filter "*.csv", name "*.csv"); cancelled, or the
// name left at "*.csv": nothing is written. The chosen name is kept in exportFileName.
// True when a file was written.
bool SaveCsv(UserIO& io, const FlightData& fd, std::string& exportFileName);
