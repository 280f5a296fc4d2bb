#include "upload_guard.h"

namespace {

// Clears a flag when the scope ends, however it ends.
class ClearOnExit {
public:
    explicit ClearOnExit(bool& flag) : flag(flag) {}
    ~ClearOnExit() { flag = false; }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    bool& flag;
};

} // namespace

bool UploadGuard::Run(const std::function<void()>& upload,
                      const std::function<void()>& drainQueuedInput) {
    if (busy)
        return false;
    busy = true;
    ClearOnExit done(busy);
    upload();
    if (drainQueuedInput)
        drainQueuedInput();
    return true;
}

bool UploadGuard::AllowClose() {
    if (!busy)
        return true;
    closeRequested = true;
    return false;
}

bool UploadGuard::TakeDeferredClose() {
    const bool requested = closeRequested && !busy;
    if (requested)
        closeRequested = false;
    return requested;
}
