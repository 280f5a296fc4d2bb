// The application object: Qt's, with the standard exception display around the handling of
// every event, so that an exception escaping an event handler is shown and the loop goes on.
#pragma once

#include <QApplication>

class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
