#include "startup.h"

#include "Main.h"
#include "Settings.h"
#include "application.h"
#include "close_on_signal.h"
#include "error_box.h"
#include "exception_display.h"

#include <memory>

int RunGuarded(const std::function<void()>& steps) {
    try {
        steps();
    } catch (...) {
        ShowCurrentException();
    }
    return 0;
}

int RunProgram(int& argc, char** argv) {
    // Outlives the steps, so that what escapes them can still be shown in a box.
    std::unique_ptr<Application> application;
    return RunGuarded([&] {
        application = std::make_unique<Application>(argc, argv);
        InstallSerialErrorBox();
        TFMain mainWindow;   // runs FormCreate while still hidden
        TFSettings settings; // hidden until "Setup Comm"
        CloseOnSignal signalClose(mainWindow);
        mainWindow.show();
        Application::exec(); // until the main window has been closed
    });
}
