// The main window: the status log with its two buttons, and the services that an upload needs
// from the window that runs it.
#pragma once

#include "file_open_dialog.h"
#include "form.h"
#include "upload_guard.h"
#include "upload_host.h"

class TFMain : public Form, public UploadHost {
public:
    TFMain();
    ~TFMain() override;

    HWND Log;
    HWND btnSet;
    HWND btnSend;
    FileOpenDialog OpenDlg1;
    HWND Label1;

    // "Setup Comm": lets the user choose the port in the set-up dialog.
    void btnSettingsClick();
    // Runs once while the window is still hidden.
    void FormCreate();
    // "Upgrade Software": one whole upload.
    void btnSendClick();

    void Show();

    void ClearLog() override;
    void AddLine(const std::string& text) override;
    bool Execute(OpenDialog& dialog) override;
    void ErrorBox(const std::string& text) override;
    void ProcessMessages() override;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnClick(int controlId) override;

private:
    // Label1 takes the size of its text.
    void FitLabel();

    // One upload at a time; a close asked for during an upload waits for its end.
    UploadGuard guard;
};

// The one main window, from the start of its creation to the end of the run.
extern TFMain* FMain;
