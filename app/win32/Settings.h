// The communication set-up dialog: the choice of COM1 to COM4 for the next connection.
#pragma once

#include "form.h"
#include "radio_group.h"

class TFSettings : public Form {
public:
    // Made hidden, owned by the main window: it stays above it and goes with it when the
    // program is minimised.
    explicit TFSettings(HWND owner);
    ~TFSettings() override;

    HWND btnOK;
    RadioGroup rComm;

    void rCommClick();
    void btnOKClick();

    // Shows the dialog and returns when it has been closed, whatever closed it. The owner
    // accepts no input meanwhile.
    void ShowModal();

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnClick(int controlId) override;

private:
    bool shownModal = false;
};

// The one set-up dialog, from start-up to the end of the run.
extern TFSettings* FSettings;
