// The main window's guard around an upload, the same for every toolkit: one upload at a time,
// and a close asked for during an upload waits for its end.
#pragma once

#include <functional>

class UploadGuard {
public:
    // Runs upload unless one is running already: a press handled at the message processing
    // inside an upload would start a second upload on the same port, its frames interleaved
    // with the first one's, so it is dropped. drainQueuedInput runs after the upload while the
    // guard is still busy: the front end dispatches there whatever the user queued while the
    // upload held the thread, so that those presses are dropped too instead of starting a new
    // upload once this one has ended. Returns false when the press was dropped.
    bool Run(const std::function<void()>& upload,
             const std::function<void()>& drainQueuedInput = {});

    bool Busy() const { return busy; }

    // A request to close the window. True when it may close now; during an upload the request
    // is remembered and false returned.
    bool AllowClose();

    // True once after Run when a close was asked for during the upload: the window closes now.
    bool TakeDeferredClose();

private:
    bool busy = false;
    bool closeRequested = false;
};
