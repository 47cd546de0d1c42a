// JSON and UTF-8 helpers shared by the driver and its in-process probe.
#pragma once

#include <string>

namespace driver {

// A JSON string literal (quotes included) holding `text` exactly.
std::wstring Json(const std::wstring& text);

std::wstring Bool(bool value);

std::string Utf8(const std::wstring& text);

}  // namespace driver
