// A small helper that looks at the running program's windows from outside, as the window
// tests under Wine need: it reads texts with WM_GETTEXT, waits for windows and lines with a
// deadline, and measures captions against their controls.
//
//   brisko-probe log                          the status log
//   brisko-probe wait-log LINE MS             waits until the log's last line is LINE
//   brisko-probe wait-box TEXT MS             waits for a message box with TEXT; prints its title
//   brisko-probe wait-window TITLE MS         waits until a visible window has this title
//   brisko-probe gone TITLE MS                waits until no visible window has this title
//   brisko-probe wait-tooltip TEXT MS         waits until a tooltip shows TEXT ("": none shows)
//   brisko-probe state                        whether each window is visible, minimised, enabled
//   brisko-probe layout                       positions, sizes and styles of both windows
//   brisko-probe fit                          the captions' widths against their controls
//   brisko-probe selected                     the set-up dialog's selected item, -1 for none
//   brisko-probe focus                        the focused control's identifier
//
// Exit status 0 on success, 1 when the condition was not met in time, 2 on a bad command line.
#include "TFMAIN.h"
#include "TFSETTINGS.h"
#include "window_font.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollInterval = 50; // ms between two looks

std::string Text(HWND window) {
    // WM_GETTEXT works across processes, where GetWindowText does not read a control's text.
    const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

HWND MainWindow() {
    return FindWindowA(TFMAIN::kClassName, nullptr);
}

HWND SettingsWindow() {
    return FindWindowA(TFSETTINGS::kClassName, nullptr);
}

// Polls check until it is true or ms have passed.
template <typename Check> bool WaitFor(DWORD ms, Check check) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (check())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(kPollInterval);
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

std::string LastLine(const std::string& text) {
    const auto lines = Lines(text);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty())
            return *it;
    }
    return {};
}

struct FoundWindow {
    const char* title;
    HWND window;
};

BOOL CALLBACK FindVisibleTitled(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<FoundWindow*>(data);
    if (IsWindowVisible(window) && Text(window) == found->title) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindowTitled(const char* title) {
    FoundWindow found{title, nullptr};
    EnumWindows(FindVisibleTitled, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

constexpr int kMessageBoxTextId = 0xFFFF; // the static control that holds a box's text

BOOL CALLBACK FindMessageBox(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<FoundWindow*>(data);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    const HWND text = GetDlgItem(window, kMessageBoxTextId);
    if (IsWindowVisible(window) && std::string(className) == "#32770" && text != nullptr &&
        Text(text) == found->title) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// The visible message box that shows text.
HWND MessageBoxWindow(const char* text) {
    FoundWindow found{text, nullptr};
    EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

void PrintWindow(const char* name, HWND window) {
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const auto style = static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE));
    std::printf("%s outer=%ld,%ld client=%ldx%ld caption=%s thickframe=%d minimize=%d "
                "maximize=%d sysmenu=%d\n",
                name, outer.left, outer.top, client.right, client.bottom, Text(window).c_str(),
                (style & WS_THICKFRAME) != 0, (style & WS_MINIMIZEBOX) != 0,
                (style & WS_MAXIMIZEBOX) != 0, (style & WS_SYSMENU) != 0);
}

void PrintControl(HWND parent, int id) {
    const HWND control = GetDlgItem(parent, id);
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    const auto style = static_cast<unsigned long>(GetWindowLongA(control, GWL_STYLE));
    std::printf("control %d at=%ld,%ld size=%ldx%ld caption=%s tabstop=%d\n", id, box.left, box.top,
                box.right - box.left, box.bottom - box.top, Text(control).c_str(),
                (style & WS_TABSTOP) != 0);
}

int Layout() {
    const HWND main = MainWindow();
    const HWND settings = SettingsWindow();
    if (main == nullptr || settings == nullptr)
        return 1;
    PrintWindow("TFMain", main);
    for (int id : {TFMAIN::kLabel1, TFMAIN::kLog, TFMAIN::kBtnSet, TFMAIN::kBtnSend})
        PrintControl(main, id);
    PrintWindow("TFSettings", settings);
    for (int id = TFSETTINGS::kBtnOK; id < TFSETTINGS::kRCommItem0 + 4; ++id)
        PrintControl(settings, id);
    // The tab order: the controls in creation order.
    std::printf("order");
    for (HWND child = GetWindow(main, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        std::printf(" %d", GetDlgCtrlID(child));
    std::printf("\n");
    return 0;
}

// Room that a control's frame and indicator leave for its caption, in pixels.
int TextRoom(HWND control, int id) {
    RECT box{};
    GetClientRect(control, &box);
    const int width = box.right - box.left;
    if (id == TFMAIN::kLabel1)
        return width;
    if (id >= TFSETTINGS::kRCommItem0)
        return width - GetSystemMetrics(SM_CXMENUCHECK) - 4; // indicator and gap
    if (id == TFSETTINGS::kRComm)
        return width - 2 * 8; // the caption sits between the frame's corners
    return width - 2 * 3;     // a push button's border and focus mark
}

int Fit() {
    const HWND main = MainWindow();
    const HWND settings = SettingsWindow();
    if (main == nullptr || settings == nullptr)
        return 1;
    const HDC dc = GetDC(nullptr);
    SelectObject(dc, WindowFont());
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    std::printf("font %s height=%ld\n", face, metrics.tmHeight);
    int status = 0;
    auto check = [&](HWND parent, int id) {
        const HWND control = GetDlgItem(parent, id);
        const std::string text = Text(control);
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        const int room = TextRoom(control, id);
        const bool fits = size.cx <= room;
        std::printf("%s \"%s\" width=%ld room=%d\n", fits ? "fits" : "CLIPPED", text.c_str(),
                    size.cx, room);
        if (!fits)
            status = 1;
    };
    for (int id : {TFMAIN::kLabel1, TFMAIN::kBtnSet, TFMAIN::kBtnSend})
        check(main, id);
    for (int id = TFSETTINGS::kBtnOK; id < TFSETTINGS::kRCommItem0 + 4; ++id)
        check(settings, id);
    ReleaseDC(nullptr, dc);
    return status;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: brisko-probe log | wait-log LINE MS | wait-box TEXT MS | wait-tooltip TEXT MS | "
        "wait-window TITLE MS | gone TITLE MS | layout | fit | selected | focus\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "log" && argc == 2) {
        const HWND main = MainWindow();
        if (main == nullptr)
            return 1;
        std::fputs(Text(GetDlgItem(main, TFMAIN::kLog)).c_str(), stdout);
        return 0;
    }
    if (command == "wait-log" && argc == 4) {
        const std::string line = argv[2];
        std::string log;
        const bool seen = WaitFor(static_cast<DWORD>(std::atol(argv[3])), [&] {
            const HWND main = MainWindow();
            if (main == nullptr)
                return false;
            log = Text(GetDlgItem(main, TFMAIN::kLog));
            return LastLine(log) == line;
        });
        std::fputs(log.c_str(), stdout);
        return seen ? 0 : 1;
    }
    if (command == "wait-box" && argc == 4) {
        HWND box = nullptr;
        if (!WaitFor(static_cast<DWORD>(std::atol(argv[3])),
                     [&] { return (box = MessageBoxWindow(argv[2])) != nullptr; }))
            return 1;
        std::printf("%s\n", Text(box).c_str());
        return 0;
    }
    if (command == "wait-window" && argc == 4) {
        return WaitFor(static_cast<DWORD>(std::atol(argv[3])),
                       [&] { return VisibleWindowTitled(argv[2]) != nullptr; })
                   ? 0
                   : 1;
    }
    if (command == "gone" && argc == 4) {
        return WaitFor(static_cast<DWORD>(std::atol(argv[3])),
                       [&] { return VisibleWindowTitled(argv[2]) == nullptr; })
                   ? 0
                   : 1;
    }
    if (command == "wait-tooltip" && argc == 4) {
        const std::string text = argv[2];
        return WaitFor(static_cast<DWORD>(std::atol(argv[3])),
                       [&] {
                           bool shown = false;
                           for (HWND tip =
                                    FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr);
                                tip != nullptr;
                                tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
                               if (IsWindowVisible(tip))
                                   shown = shown || text.empty() || Text(tip) == text;
                           }
                           return text.empty() ? !shown : shown;
                       })
                   ? 0
                   : 1;
    }
    if (command == "state" && argc == 2) {
        for (HWND window : {MainWindow(), SettingsWindow()}) {
            if (window != nullptr)
                std::printf("%s visible=%d iconic=%d enabled=%d\n", Text(window).c_str(),
                            IsWindowVisible(window) != 0, IsIconic(window) != 0,
                            IsWindowEnabled(window) != 0);
        }
        return 0;
    }
    if (command == "layout" && argc == 2)
        return Layout();
    if (command == "fit" && argc == 2)
        return Fit();
    if (command == "selected" && argc == 2) {
        const HWND settings = SettingsWindow();
        if (settings == nullptr)
            return 1;
        int selected = -1;
        for (int i = 0; i < 4; ++i) {
            if (SendMessageA(GetDlgItem(settings, TFSETTINGS::kRCommItem0 + i), BM_GETCHECK, 0,
                             0) == BST_CHECKED)
                selected = i;
        }
        std::printf("%d\n", selected);
        return 0;
    }
    if (command == "focus" && argc == 2) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(0, &info) || info.hwndFocus == nullptr)
            return 1;
        std::printf("%d\n", GetDlgCtrlID(info.hwndFocus));
        return 0;
    }
    return Usage();
}
