#include "startup.h"

#include "Main.h"
#include "Settings.h"
#include "application.h"
#include "exception_display.h"

#include <windows.h>

#include <commctrl.h>

int RunGuarded(const std::function<void()>& steps) {
    try {
        steps();
    } catch (...) {
        ShowCurrentException();
    }
    return 0;
}

int RunProgram() {
    return RunGuarded([] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);          // the tooltips of the hint
        TFMain mainWindow;                        // runs FormCreate while still hidden
        TFSettings settings(mainWindow.Handle()); // hidden until "Setup Comm"
        mainWindow.Show();
        Application::Run(); // until the main window has been closed
    });
}
