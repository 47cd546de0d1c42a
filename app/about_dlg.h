// The version box: product name, version and copyright from the version resource.
#pragma once

#include "platform/dialog_win.h"

namespace cveltrix {

class CAboutDlg final : public win::Dialog {
public:
    CAboutDlg();

private:
    void DoDataExchange(win::DataExchange& exchange) override;
};

}  // namespace cveltrix
