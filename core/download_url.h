// The one file this tool fetches, fixed when the tool is built.
#pragma once

namespace cveltrix {

extern const wchar_t* const DownloadUrl;
// The installer's SHA-256 in hexadecimal, or empty when the build pins none.
extern const wchar_t* const DownloadSha256;
// The name the installer's signer must have, or empty when the build checks
// no signature.
extern const wchar_t* const DownloadSigner;
// How long the server (or proxy) may stay silent before a run gives up on it.
extern const unsigned SilenceLimitSeconds;
// How many times in a row a run tries again, without a new byte, after a
// failure that another try may mend; 0: never.
extern const unsigned DownloadRetries;

}  // namespace cveltrix
