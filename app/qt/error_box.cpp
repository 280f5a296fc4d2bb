#include "error_box.h"

#include "message_box_runner.h"
#include "platform.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

constexpr int kIdOk = 1; // what the system's box returns for its OK button

int SerialMessageBox(HWND, const char* text, const char* caption, UINT) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
        return kIdOk;
    }
    ShowErrorBox(QString::fromLocal8Bit(text != nullptr ? text : ""),
                 caption != nullptr ? QString::fromLocal8Bit(caption) : QString());
    return kIdOk;
}

} // namespace

void ShowErrorBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon,
                    caption.isEmpty() ? QString::fromLatin1(kDefaultErrorTitle) : caption, text,
                    QMessageBox::Ok);
    RunMessageBox(box);
}

void InstallSerialErrorBox() {
    Platform().MessageBoxA = SerialMessageBox;
}
