// One whole upload of a software image into the receiver, from the button press to "Done.".
#pragma once

#include "upload_host.h"

#include <cstdint>
#include <string>

// Images must be strictly smaller than this.
inline constexpr std::int64_t kImageSizeLimit = 2465792; // bytes (0x25A000)
inline constexpr std::uint32_t kReadTimeLimit = 2000;    // ms, every read of the run
inline constexpr std::int32_t kWakeAttempts = 11;        // the eleventh reply is not compared

// The last image path accepted in the open dialog.
extern std::string imagePath;

// Connects the port if it is not open, lets the user pick the image, runs the loader dialogue
// and writes every outcome as a log line of the host; closes the port at the end when its device
// went away during the run. Never throws.
void UploadImage(UploadHost& host);
