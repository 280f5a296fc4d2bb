// The standard display of an exception that escaped: a message box with the error icon, the
// exception's message, one OK button and the application's title, which Qt derives from the
// executable's file name.
#pragma once

#include <exception>

class QString;

void ShowException(const QString& message);

// Shows the exception in flight: an std::exception with its message, anything else with an
// empty one. Call it only inside a catch block.
void ShowCurrentException();
