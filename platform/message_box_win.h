// Catalogue messages as modal message boxes.
#pragma once

#include <windows.h>

#include "resources/catalogue.h"

namespace cveltrix::win {

// Shows entry `id` owned by `owner`, captioned with the application name;
// returns the button pressed.
int ShowMessage(HWND owner, CatalogueId id, BoxKind kind);

}  // namespace cveltrix::win
