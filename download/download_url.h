// The one file this tool fetches, fixed when the tool is built.
#pragma once

namespace cveltrix {

extern const wchar_t* const DownloadUrl;

}  // namespace cveltrix
