// What an upload needs from the window that runs it.
#pragma once

#include <string>

// The file-open dialog's settings. Filter is pairs of a description and a pattern, each
// separated from the next by "|".
struct OpenDialog {
    std::string Filter;
    std::string Title;
    std::string FileName; // proposed before Execute; the chosen full path after acceptance
};

class UploadHost {
public:
    virtual ~UploadHost() = default;

    // Empties the status log.
    virtual void ClearLog() = 0;
    // Adds text as the new last line of the status log; it must be visible at once.
    virtual void AddLine(const std::string& text) = 0;
    // Shows the open dialog modally. True when the user accepted a file, whose full path is then
    // in dialog.FileName (8-bit text, as the file system names it).
    virtual bool Execute(OpenDialog& dialog) = 0;
    // A message box with no owner window, the system's default title, one OK button, no icon.
    virtual void ErrorBox(const std::string& text) = 0;
    // Dispatches every pending window message, then returns.
    virtual void ProcessMessages() = 0;
    // The frames of a step have been handed to the port and the upload is about to wait for the
    // receiver, up to 2 s with no message processing. The lines added since the last call must
    // be visible by the time this returns; a window that shows them here does its painting while
    // the frames cross the line, not between a reply and the next frame.
    virtual void AwaitingReply() {}
};
