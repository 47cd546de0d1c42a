// The application object: common controls, then the main window, modally.
#pragma once

namespace cveltrix {

class CveltrixApp {
public:
    // Runs the main window until it closes. Returns false: there is no
    // message loop of the application's own after it.
    bool InitInstance();
};

}  // namespace cveltrix
