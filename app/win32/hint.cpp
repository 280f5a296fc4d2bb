#include "hint.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

void AddTool(HWND tooltip, HWND owner, HWND tool, const char* text) {
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE; // understood by every version of the common controls
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<char*>(text);
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

} // namespace

void ShowHint(HWND window, const char* text) {
    const HWND tooltip =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                        GetModuleHandleA(nullptr), nullptr);
    if (tooltip == nullptr)
        throw std::runtime_error("Error creating window");
    AddTool(tooltip, window, window, text);
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT))
        AddTool(tooltip, window, control, text);
}
