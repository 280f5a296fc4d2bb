// The file-open dialog component: the system's open dialog with the settings of the last
// Execute.
#pragma once

#include <windows.h>

#include <string>

class FileOpenDialog {
public:
    explicit FileOpenDialog(HWND owner = nullptr) : owner(owner) {}

    // Pairs of a description and a pattern, each separated from the next by "|".
    std::string Filter;
    std::string Title;
    // The file name proposed by Execute; after acceptance the chosen file's full path.
    std::string FileName;

    // Shows the dialog modally. True when the user accepted a file.
    bool Execute();

private:
    HWND owner;
};
