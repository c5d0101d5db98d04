// The value texts of the port settings, as the settings file and the setup dialog show
// them. The position of a text in its list is the enumeration's ordinal.
#pragma once

#include <string>
#include <vector>

#include "serial/comport.h"

const std::vector<std::string>& BaudRateTexts();     // "Custom", "110", ... "256000"
const std::vector<std::string>& StopBitsTexts();     // "1", "1.5", "2"
const std::vector<std::string>& DataBitsTexts();     // "5" .. "8"
const std::vector<std::string>& ParityTexts();       // "None", "Odd", "Even", "Mark", "Space"
const std::vector<std::string>& FlowControlTexts();  // "Hardware", "Software", "None", "Custom"

// The index of text in list, both sides upper-cased; -1 when it equals none.
int FindSettingText(const std::vector<std::string>& list, const std::string& text);

// Text to value with the fallbacks of the settings file: br9600, sbOneStopBit, dbEight,
// prNone, fcCustom.
TBaudRate StrToBaudRate(const std::string& text);
TStopBits StrToStopBits(const std::string& text);
TDataBits StrToDataBits(const std::string& text);
TParityBits StrToParity(const std::string& text);
TFlowControl StrToFlowControl(const std::string& text);

// An integer as the settings file writes it: optional sign and decimal digits, or a
// hexadecimal number after "0x"/"0X"; def when the text is no 32-bit number.
int32_t StrToIntDef(const std::string& text, int32_t def);
