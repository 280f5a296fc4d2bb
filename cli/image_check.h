// The checks of the image that the program makes before any port is touched.
#pragma once

#include <cstdint>
#include <string>

// Empty when the image is a regular file that can be read and is smaller than the limit (its
// size is then in size); otherwise a message that says what is wrong. A FIFO or a device is
// refused without being opened, so the check never blocks.
std::string CheckImage(const std::string& path, std::int64_t& size);
