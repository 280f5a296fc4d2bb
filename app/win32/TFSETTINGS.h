// The set-up dialog's form definition: the window, then its controls in creation order.
#pragma once

#include "form.h"

#include <array>

namespace TFSETTINGS {

// Control identifiers; tests find the controls by them too. The radio group's items follow
// its frame: kRCommItem0 + n is "COM<n+1>".
enum : int {
    kBtnOK = 201,
    kRComm = 202,
    kRCommItem0 = 203,
};

inline constexpr const char* kClassName = "TFSettings";

// A single-line border of fixed size, with system menu, minimise and maximise.
inline constexpr FormDefinition kWindow{kClassName,
                                        "Communication Setup",
                                        390,
                                        204,
                                        270,
                                        153,
                                        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                            WS_MAXIMIZEBOX | WS_CLIPCHILDREN};

inline constexpr ControlDefinition kBtnOKDefinition{
    kBtnOK, "BUTTON", "OK", 12, 124, 75, 25, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0};

// rComm: its items are laid out in one column inside this frame by RadioGroup.
inline constexpr ControlDefinition kRCommDefinition{kRComm, "BUTTON", "Select a Port",        10, 8,
                                                    251,    109,      WS_GROUP | BS_GROUPBOX, 0};
inline constexpr std::array<const char*, 4> kRCommItems{"COM1", "COM2", "COM3", "COM4"};
inline constexpr int kRCommDesignedIndex = 1; // "COM2"

} // namespace TFSETTINGS
