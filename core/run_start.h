// The Start button's side of a download, before a worker is launched.
#pragma once

#include <cstdint>
#include <string>

#include "core/failure.h"
#include "core/file.h"
#include "core/run_window.h"

namespace cveltrix {

// The checks: the temp file can
// be created, and a non-empty one is resumed or discarded on the user's
// answer. True when the worker should start.
bool PrepareStart(MessageBoxes& window, FileSystem& files, const std::wstring& tempPath);

// What a temp file that cannot be opened with the platform's error `error`
// means: one held by another copy of the tool, which is downloading it, is
// no fault of the disk.
FailureKind TempFileOpenFailure(std::uint32_t error);

}  // namespace cveltrix
