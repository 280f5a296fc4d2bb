#include "exception_display.h"

#include <windows.h>

#include <exception>

std::string ApplicationTitle() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    const auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

void ShowException(const char* message) {
    MessageBoxA(nullptr, message, ApplicationTitle().c_str(), MB_OK | MB_ICONERROR);
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(error.what());
    } catch (...) {
        ShowException("");
    }
}
