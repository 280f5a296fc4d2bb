#include "form.h"

#include "exception_display.h"
#include "window_font.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

std::vector<HWND>& FormWindows() {
    static std::vector<HWND> windows;
    return windows;
}

void RegisterFormClass(const char* className, WNDPROC procedure) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExA(GetModuleHandleA(nullptr), className, &windowClass))
        return;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass);
}

} // namespace

bool IsFormWindow(HWND window) {
    const auto& windows = FormWindows();
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

Form::~Form() {
    auto& windows = FormWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
    if (window != nullptr && IsWindow(window)) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

void Form::Create(const FormDefinition& form, std::span<const ControlDefinition> controls,
                  HWND owner) {
    RegisterFormClass(form.className, &Form::WindowProc);
    // The definition gives the client area; the window is that plus its frame.
    RECT frame{0, 0, form.clientWidth, form.clientHeight};
    constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, form.style, FALSE, kExStyle);
    window = CreateWindowExA(kExStyle, form.className, form.caption, form.style, form.left,
                             form.top, frame.right - frame.left, frame.bottom - frame.top, owner,
                             nullptr, GetModuleHandleA(nullptr), this);
    if (window == nullptr)
        throw std::runtime_error("Error creating window");
    FormWindows().push_back(window);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), FALSE);
    for (const ControlDefinition& control : controls)
        AddControl(control);
}

HWND Form::AddControl(const ControlDefinition& control) {
    const HWND handle = CreateWindowExA(control.exStyle, control.windowClass, control.caption,
                                        WS_CHILD | WS_VISIBLE | control.style, control.left,
                                        control.top, control.width, control.height, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                        GetModuleHandleA(nullptr), nullptr);
    if (handle == nullptr)
        throw std::runtime_error("Error creating window");
    SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), FALSE);
    return handle;
}

LRESULT Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void Form::OnClick(int) {}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    // An exception must not unwind through the system's frames: it is shown here, and the
    // message loop goes on.
    try {
        return form->Dispatch(message, wParam, lParam);
    } catch (...) {
        ShowCurrentException();
        return 0;
    }
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            OnClick(LOWORD(wParam));
            return 0;
        }
        // Return outside a control that takes it: the dialog navigation asks for IDOK, which
        // here means a click of the focused button.
        if (LOWORD(wParam) == IDOK && lParam == 0) {
            const HWND focus = GetFocus();
            if (focus != nullptr && GetParent(focus) == window &&
                (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) != 0)
                OnClick(GetDlgCtrlID(focus));
            return 0;
        }
        break;
    case WM_NEXTDLGCTL:
        // Sent by a multi-line edit for Tab, as it would be to a dialog.
        if (LOWORD(lParam) != 0)
            SetFocus(reinterpret_cast<HWND>(wParam));
        else
            SetFocus(GetNextDlgTabItem(window, GetFocus(), wParam != 0));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window, focus))
                lastFocus = focus;
        } else if (HIWORD(wParam) == 0) { // not minimised
            const bool valid = lastFocus != nullptr && IsChild(window, lastFocus) &&
                               IsWindowEnabled(lastFocus) && IsWindowVisible(lastFocus);
            SetFocus(valid ? lastFocus : GetNextDlgTabItem(window, nullptr, FALSE));
        }
        return 0;
    default:
        break;
    }
    return OnMessage(message, wParam, lParam);
}
