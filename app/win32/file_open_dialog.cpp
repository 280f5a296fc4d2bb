#include "file_open_dialog.h"

#include <commdlg.h>

#include <vector>

namespace {

constexpr std::size_t kPathRoom = 32768; // characters, the longest path the system knows

// "Files|*.bin" as the system wants it: each part ended by a null, the list by a second one.
std::string SystemFilter(const std::string& filter) {
    std::string list = filter;
    for (char& c : list) {
        if (c == '|')
            c = '\0';
    }
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

} // namespace

bool FileOpenDialog::Execute() {
    std::vector<char> path(kPathRoom, '\0');
    FileName.copy(path.data(), path.size() - 1);
    const std::string filter = SystemFilter(Filter);

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    // The component's defaults: no read-only box, resizable; the file need not exist.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (!GetOpenFileNameA(&dialog))
        return false;
    FileName = path.data();
    return true;
}
