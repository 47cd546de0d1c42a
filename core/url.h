// URLs as the run follows them: where a redirect points, read as RFC 3986
// resolves a reference, and which moves are refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cveltrix {

// The absolute URL a Location value names, read against the URL that was
// asked for as RFC 3986 resolves a reference; nothing when it names a
// scheme other than http and https, or no host.
std::optional<std::wstring> ResolveLocation(const std::wstring& base, const std::wstring& location);

// The URL as it goes on the wire: a fragment stays with the client.
std::wstring WithoutFragment(const std::wstring& url);

// The URL's path alone: no query, no fragment.
std::wstring PathOf(const std::wstring& url);

// The URL as a debug line shows it: without its query, where a signed
// link keeps its key, and without its fragment.
std::wstring WithoutQuery(const std::wstring& url);

// `text` with every %XX read as a byte of UTF-8; nothing when an escape is
// malformed or the bytes are no UTF-8.
std::optional<std::wstring> PercentDecoded(std::wstring_view text);

// A redirect from `from` to `to` would leave https for plain http.
bool IsDowngrade(const std::wstring& from, const std::wstring& to);

}  // namespace cveltrix
