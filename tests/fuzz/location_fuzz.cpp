// A redirect's Location read against the URL that was asked for, and the
// check that keeps an https download from going on over plain http. Input:
// the URL asked for, a line break, the Location.
#include <algorithm>
#include <optional>

#include "core/url.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

struct UrlParts {
    std::wstring_view scheme, authority, path, rest;  // rest: "?query#fragment"
};

// An absolute http or https URL with a host: "scheme://authority", then a
// path that is empty or starts with "/", then a query or fragment.
std::optional<UrlParts> HttpUrl(std::wstring_view url) {
    const std::size_t colon = url.find(L"://");
    if (colon == std::wstring_view::npos) return std::nullopt;
    UrlParts parts;
    parts.scheme = url.substr(0, colon);
    if (!StartsWithNoCase(parts.scheme, L"http") ||
        !(parts.scheme.size() == 4 || (parts.scheme.size() == 5 && Lower(parts.scheme[4]) == L's'))) {
        return std::nullopt;
    }
    url.remove_prefix(colon + 3);
    parts.authority = url.substr(0, url.find_first_of(L"/?#"));
    url.remove_prefix(parts.authority.size());
    parts.path = url.substr(0, url.find_first_of(L"?#"));
    parts.rest = url.substr(parts.path.size());
    if (parts.authority.empty()) return std::nullopt;
    return parts;
}

// Printable ASCII without blanks and backslashes: a reference whose reading
// leaves a resolver no choice.
bool Plain(std::wstring_view text) {
    for (const wchar_t c : text) {
        if (c <= L' ' || c > L'~' || c == L'\\') return false;
    }
    return true;
}

bool HasDotSegment(std::wstring_view path) {
    while (!path.empty()) {
        const std::wstring_view segment = path.substr(0, path.find(L'/'));
        if (segment == L"." || segment == L"..") return true;
        path.remove_prefix(std::min(segment.size() + 1, path.size()));
    }
    return false;
}

// A reference without scheme or authority.
bool IsRelative(std::wstring_view location) {
    return !location.starts_with(L"//") && location.find(L':') >= location.find_first_of(L"/?#");
}

// The path a relative reference with a path leads to: its own when it starts
// with "/", else appended to the base's folder.
std::wstring MergedPath(std::wstring_view basePath, std::wstring_view refPath) {
    if (refPath.starts_with(L'/')) return std::wstring(refPath);
    const std::size_t slash = basePath.rfind(L'/');
    return (slash == std::wstring_view::npos ? L"/" : std::wstring(basePath.substr(0, slash + 1))) +
           std::wstring(refPath);
}

std::wstring LowerScheme(const UrlParts& url) {
    std::wstring scheme;
    for (const wchar_t c : url.scheme) scheme += Lower(c);
    return scheme;
}

void CheckRelative(const UrlParts& base, std::wstring_view location, const std::optional<std::wstring>& result) {
    Require(result.has_value(), "a relative reference always resolves against an http(s) URL");
    const UrlParts resolved = *HttpUrl(*result);
    Require(resolved.scheme.size() == base.scheme.size() && StartsWithNoCase(resolved.scheme, LowerScheme(base)) &&
                resolved.authority == base.authority,
            "a relative reference keeps the scheme and the host");
    const std::wstring_view refPath = location.substr(0, location.find_first_of(L"?#"));
    if (refPath.empty() || HasDotSegment(refPath) || HasDotSegment(base.path)) return;
    Require(resolved.path == MergedPath(base.path, refPath),
            "a reference's path replaces the base's last segment, or all of it when it starts with \"/\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const std::size_t lineBreak = text.find(L'\n');
    if (lineBreak == std::wstring::npos) return 0;
    const std::wstring base = text.substr(0, lineBreak);
    const std::wstring location = text.substr(lineBreak + 1);
    const auto baseParts = HttpUrl(base);
    // The URL asked for is the build's or one the resolver gave before.
    if (!baseParts || !ResolveLocation(base, base)) return 0;

    const auto result = ResolveLocation(base, location);
    if (result) {
        Require(HttpUrl(*result).has_value(), "a resolved location is an http(s) URL with a host, or nothing");
        if (StartsWithNoCase(base, L"https:") && StartsWithNoCase(*result, L"http:")) {
            Require(IsDowngrade(base, *result), "https to http is caught");
        }
    }
    if (Plain(location) && IsRelative(location)) CheckRelative(*baseParts, location, result);
    return 0;
}
