#include "message_box_runner.h"

#include <QMessageBox>

namespace {

MessageBoxRunner& Runner() {
    static MessageBoxRunner runner;
    return runner;
}

} // namespace

void RunMessageBox(QMessageBox& box) {
    if (Runner())
        Runner()(box);
    else
        box.exec();
}

void SetMessageBoxRunner(MessageBoxRunner runner) {
    Runner() = std::move(runner);
}
