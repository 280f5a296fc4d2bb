#include "Main.h"

#include "Settings.h"
#include "TFMAIN.h"
#include "application.h"
#include "connection.h"
#include "hint.h"
#include "port_choice.h"
#include "upload_image.h"
#include "window_font.h"

TFMain* FMain = nullptr;

TFMain::TFMain() {
    FMain = this;
    Create(TFMAIN::kWindow, TFMAIN::kControls, nullptr);
    Log = Control(TFMAIN::kLog);
    btnSet = Control(TFMAIN::kBtnSet);
    btnSend = Control(TFMAIN::kBtnSend);
    OpenDlg1 = FileOpenDialog(Handle());
    Label1 = Control(TFMAIN::kLabel1);

    SendMessageA(Log, EM_SETLIMITTEXT, 0, 0); // as long as memory allows
    FitLabel();
    ShowHint(Handle(), TFMAIN::kHint);
    FormCreate();
}

TFMain::~TFMain() {
    if (FMain == this)
        FMain = nullptr;
}

void TFMain::FitLabel() {
    char text[64] = {};
    const int length = GetWindowTextA(Label1, text, sizeof text);
    const HDC dc = GetDC(Label1);
    const HGDIOBJ old = SelectObject(dc, WindowFont());
    SIZE size{};
    GetTextExtentPoint32A(dc, text, length, &size);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(Label1, dc);
    SetWindowPos(Label1, nullptr, 0, 0, size.cx, metrics.tmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFMain::FormCreate() {
    portIndex = kStartPort;
    SetWindowTextA(Handle(), kMainCaption);
}

void TFMain::Show() {
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
}

void TFMain::btnSettingsClick() {
    FSettings->rComm.setItemIndex(ItemIndexForPort(portIndex));
    FSettings->ShowModal(); // whatever closes the dialog, the selection is taken
    portIndex = PortForItemIndex(FSettings->rComm.ItemIndex());
}

void TFMain::btnSendClick() {
    // The presses that the user queued while the upload held the thread are dispatched while
    // the guard is still busy, so they are dropped.
    guard.Run([this] { UploadImage(*this); }, [] { Application::ProcessMessages(); });
    if (guard.TakeDeferredClose())
        DestroyWindow(Handle());
}

LRESULT TFMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // During an upload the window closes after it (btnSendClick).
        if (guard.AllowClose())
            DestroyWindow(Handle());
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SYSCOMMAND:
        // Restoring the program while the set-up dialog is shown: the system's own handling
        // ignores a window that a modal dialog has disabled, and the dialog that went with the
        // window must come back with it.
        if ((wParam & 0xFFF0) == SC_RESTORE && IsIconic(Handle())) {
            ShowWindow(Handle(), SW_RESTORE);
            ShowOwnedPopups(Handle(), TRUE);
            return 0;
        }
        break;
    default:
        break;
    }
    return Form::OnMessage(message, wParam, lParam);
}

void TFMain::OnClick(int controlId) {
    if (controlId == TFMAIN::kBtnSet)
        btnSettingsClick();
    else if (controlId == TFMAIN::kBtnSend)
        btnSendClick();
}

void TFMain::ClearLog() {
    SetWindowTextA(Log, "");
}

void TFMain::AddLine(const std::string& text) {
    // Each line ends with a line break, as a memo's line list writes it; text that the user
    // typed at the end gets one first.
    const int length = GetWindowTextLengthA(Log);
    std::string line;
    if (length > 0) {
        std::string current(static_cast<std::size_t>(length) + 1, '\0');
        current.resize(static_cast<std::size_t>(GetWindowTextA(Log, current.data(), length + 1)));
        if (!current.ends_with("\r\n"))
            line = "\r\n";
    }
    line += text;
    line += "\r\n";
    SendMessageA(Log, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(Log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(Log, EM_SCROLLCARET, 0, 0);
    // An upload can hold this thread for 22 s after a line with no message processing, so the
    // line cannot wait for a paint message: paint the window now, the area that a closed dialog
    // uncovered included.
    RedrawWindow(Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool TFMain::Execute(OpenDialog& dialog) {
    OpenDlg1.Filter = dialog.Filter;
    OpenDlg1.Title = dialog.Title;
    OpenDlg1.FileName = dialog.FileName;
    if (!OpenDlg1.Execute())
        return false;
    dialog.FileName = OpenDlg1.FileName;
    return true;
}

void TFMain::ErrorBox(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK);
}

void TFMain::ProcessMessages() {
    Application::ProcessMessages();
}
