#include "flash_host.h"

void FlashHost::AddLine(const std::string& text) {
    lastLineTime_ = std::chrono::steady_clock::now();
    anyLine_ = true;
    waking_ = text == "Please turn ON the IRD";
    WorkerEvent event;
    event.kind = WorkerEvent::Kind::Line;
    event.text = text;
    send_(event);
}

bool FlashHost::Execute(OpenDialog& dialog) {
    dialog.FileName = image_;
    return true;
}

void FlashHost::ErrorBox(const std::string& text) {
    WorkerEvent event;
    event.kind = WorkerEvent::Kind::Box;
    event.text = text;
    send_(event);
}
