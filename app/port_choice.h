// The port that the windows start on and how the set-up dialog's selection maps to it, the
// same for every toolkit.
#pragma once

#include <cstdint>

inline constexpr std::uint8_t kStartPort = 2; // COM3, selected at every start
inline constexpr const char* kMainCaption = "Brisko K71 0.2";

// The radio group's index that shows port (0 to 3 for COM1 to COM4) as selected.
inline int ItemIndexForPort(std::uint8_t port) {
    return static_cast<int>(port); // zero-extended
}

// The port taken back from the radio group when the dialog closes: the index's low 8 bits.
inline std::uint8_t PortForItemIndex(int itemIndex) {
    return static_cast<std::uint8_t>(itemIndex);
}
