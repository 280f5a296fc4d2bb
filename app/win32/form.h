// A window made from a form definition: a top-level window of the system holding the controls
// of its definition, with the window font, Tab and arrow-key navigation between the controls,
// and the keyboard focus kept across deactivation.
#pragma once

#include <windows.h>

#include <span>

// The window of a form definition. Position and client size in pixels, the position being the
// outer corner of the window on the screen.
struct FormDefinition {
    const char* className;
    const char* caption;
    int left;
    int top;
    int clientWidth;
    int clientHeight;
    DWORD style;
};

// One control of a form definition, in creation order, which is also the tab order.
struct ControlDefinition {
    int id;
    const char* windowClass;
    const char* caption;
    int left;
    int top;
    int width;
    int height;
    DWORD style; // in addition to WS_CHILD | WS_VISIBLE
    DWORD exStyle;
};

class Form {
public:
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND Handle() const { return window; }
    HWND Control(int id) const { return GetDlgItem(window, id); }

protected:
    Form() = default;

    // Makes the hidden window and its controls.
    void Create(const FormDefinition& form, std::span<const ControlDefinition> controls,
                HWND owner);
    // One control more, made like those of the definition.
    HWND AddControl(const ControlDefinition& control);

    // The form's own handling of a message; the default is the system's.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A click of a button (or a Return on a focused one).
    virtual void OnClick(int controlId);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
    HWND lastFocus = nullptr;
};

// True for the top-level window of a form: the message loops give its keyboard messages to the
// system's dialog navigation first.
bool IsFormWindow(HWND window);
