#include "exception_display.h"

#include "message_box_runner.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

void ShowException(const QString& message) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message,
                    QMessageBox::Ok);
    RunMessageBox(box);
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QString());
    }
}
