// How pipeway prints what the provider answered: text for a person, or one JSON object a line.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>

namespace pipeway {

// What a person reads and types is UTF-8; text that does not convert is shown as nothing.
std::string Narrow(const std::wstring& wide);
std::wstring Widen(const std::string& text);

// One JSON object per line. Text that is not UTF-8 is written with replacement characters, so
// the line stays valid JSON whatever bytes a module answered.
void PrintJson(const nlohmann::ordered_json& object);

// An HRESULT as "0x8004100E", and its name when pipeway knows it.
std::string HexResult(HRESULT hr);
std::string ResultName(HRESULT hr);

// Prints a failed WMI call and returns the exit status for it.
int ReportFailure(HRESULT hr, bool json);

}  // namespace pipeway
