// The main window's form definition: the window, then its controls in creation order.
#pragma once

#include "form.h"

#include <array>

namespace TFMAIN {

// Control identifiers; tests find the controls by them too.
enum : int {
    kLabel1 = 101,
    kLog = 102,
    kBtnSet = 103,
    kBtnSend = 104,
};

inline constexpr const char* kClassName = "TFMain";
inline constexpr const char* kHint = "Send INS";

// A single-line border of fixed size, with the system menu and minimise but no maximise.
inline constexpr FormDefinition kWindow{kClassName,
                                        "brisko K71",
                                        317,
                                        136,
                                        351,
                                        127,
                                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                            WS_CLIPCHILDREN};

// Label1 takes the size of its text when it is made; 30 by 13 is its designed size.
inline constexpr std::array<ControlDefinition, 4> kControls{{
    {kLabel1, "STATIC", "Status", 2, 56, 30, 13, SS_LEFT | SS_NOPREFIX, 0},
    {kLog, "EDIT", "", 0, 70, 349, 53,
     WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE},
    {kBtnSet, "BUTTON", "Setup Comm", 2, 0, 97, 25, WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kBtnSend, "BUTTON", "Upgrade Software", 2, 28, 97, 25, WS_TABSTOP | BS_PUSHBUTTON, 0},
}};

} // namespace TFMAIN
