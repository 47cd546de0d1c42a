// The mark a browser leaves on every download: the saved file's
// Zone.Identifier stream says it came from the internet, so Windows' own
// checks for such programs (SmartScreen, the "downloaded from the internet"
// warning) apply to it.
#pragma once

#include <string>

namespace cveltrix {

// The stream beside the file at `path`.
std::wstring ZoneIdentifierPath(const std::wstring& path);

// The stream's text for a file fetched from `url`: the internet zone, and the
// URL without any user name or password in it.
std::wstring ZoneIdentifierText(const std::wstring& url);

// `url` without a "user:password@" before its host.
std::wstring WithoutUserInfo(const std::wstring& url);

}  // namespace cveltrix
