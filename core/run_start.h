// The Start button's side of a download, before a worker is launched.
#pragma once

#include <string>

#include "core/file.h"
#include "core/run_window.h"

namespace cveltrix {

// The checks: the temp file can
// be created, and a non-empty one is resumed or discarded on the user's
// answer. True when the worker should start.
bool PrepareStart(MessageBoxes& window, FileSystem& files, const std::wstring& tempPath);

}  // namespace cveltrix
