#include "image_check.h"

#include "upload_image.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::string CheckImage(const std::string& path, std::int64_t& size) {
    const std::string name = "image " + path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return name + ": no such file";
    if (ec)
        return name + ": " + ec.message();
    if (status.type() != fs::file_type::regular)
        return name + " is not a regular file";
    const auto bytes = fs::file_size(path, ec);
    if (ec)
        return name + ": " + ec.message();
    if (bytes >= static_cast<std::uintmax_t>(kImageSizeLimit))
        return name + " is " + std::to_string(bytes) +
               " bytes: an image must be smaller than 2,465,792 bytes";
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return name + " cannot be read" +
               (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
    size = static_cast<std::int64_t>(bytes);
    return {};
}
