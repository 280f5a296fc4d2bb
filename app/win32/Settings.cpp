#include "Settings.h"

#include "TFSETTINGS.h"
#include "application.h"

TFSettings* FSettings = nullptr;

TFSettings::TFSettings(HWND owner) {
    FSettings = this;
    Create(TFSETTINGS::kWindow, std::span<const ControlDefinition>{}, owner);
    btnOK = AddControl(TFSETTINGS::kBtnOKDefinition);
    rComm.Create(TFSETTINGS::kRCommDefinition, TFSETTINGS::kRCommItems,
                 TFSETTINGS::kRCommDesignedIndex,
                 [this](const ControlDefinition& control) { return AddControl(control); });
}

TFSettings::~TFSettings() {
    if (FSettings == this)
        FSettings = nullptr;
}

void TFSettings::rCommClick() {}

void TFSettings::btnOKClick() {
    // Ends the modal showing as the close button does.
    SendMessageA(Handle(), WM_CLOSE, 0, 0);
}

void TFSettings::ShowModal() {
    const HWND owner = GetWindow(Handle(), GW_OWNER);
    if (owner != nullptr)
        EnableWindow(owner, FALSE);
    shownModal = true;
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    Application::RunModal([this] { return shownModal; });
    // The owner takes input again before the dialog goes, so that it becomes the active window.
    if (owner != nullptr)
        EnableWindow(owner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    shownModal = false;
}

LRESULT TFSettings::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        shownModal = false;
        if (!IsWindowEnabled(GetWindow(Handle(), GW_OWNER)))
            return 0; // ShowModal hides it
        ShowWindow(Handle(), SW_HIDE);
        return 0;
    case WM_SYSCOMMAND:
        // Minimising the dialog minimises the program and takes the dialog along; restoring the
        // program brings both back (TFMain). Minimised on its own, the dialog would leave the
        // disabled main window on the screen with no way back to the dialog.
        if ((wParam & 0xFFF0) == SC_MINIMIZE && GetWindow(Handle(), GW_OWNER) != nullptr) {
            const HWND owner = GetWindow(Handle(), GW_OWNER);
            ShowOwnedPopups(owner, FALSE);
            ShowWindow(owner, SW_MINIMIZE);
            return 0;
        }
        break;
    default:
        break;
    }
    return Form::OnMessage(message, wParam, lParam);
}

void TFSettings::OnClick(int controlId) {
    if (controlId == TFSETTINGS::kBtnOK) {
        btnOKClick();
    } else if (rComm.IsItem(controlId)) {
        rComm.setItemIndex(rComm.ItemIndex()); // Tab comes back to the selected item
        rCommClick();
    }
}
