// The error box: a message box with no owner window, one OK button and no icon, titled with
// the system's default "Error". The upload shows "Port Error." in it and the serial layer its
// failures to open a port.
#pragma once

#include <QString>

inline constexpr const char* kDefaultErrorTitle = "Error";

// Shows the box modally and returns when the user has dismissed it. An empty caption means
// the default title.
void ShowErrorBox(const QString& text, const QString& caption = {});

// Routes the serial layer's boxes (Platform().MessageBoxA) to the error box. Once no
// application object exists any more, they go to the standard error stream instead.
void InstallSerialErrorBox();
