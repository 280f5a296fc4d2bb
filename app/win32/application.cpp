#include "application.h"

#include "form.h"

namespace Application {

void Dispatch(MSG& message) {
    const HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsFormWindow(root) && IsDialogMessageA(root, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void Run() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        Dispatch(message);
}

void ProcessMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void RunModal(const std::function<bool()>& running) {
    MSG message;
    while (running()) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

} // namespace Application
