#include "console_host.h"

#include <cstdio>

void ConsoleHost::AddLine(const std::string& text) {
    lastLineTime_ = std::chrono::steady_clock::now();
    lastLine_ = text;
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout); // visible at once, as in the window
}

bool ConsoleHost::Execute(OpenDialog& dialog) {
    dialog.FileName = imagePath_;
    return true;
}

void ConsoleHost::ErrorBox(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}
