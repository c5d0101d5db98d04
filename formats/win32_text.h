// Paths and texts are UTF-8 inside the program and UTF-16 at the Win32 calls: the two
// conversions, for every Windows file of the program.
#pragma once

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
