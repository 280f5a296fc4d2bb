// The standard display of an exception that escaped: the system's message box with the error
// icon, the exception's message, one OK button and the application's title, which is the
// executable's file name without its extension.
#pragma once

#include <string>

// "brisko-k71" for brisko-k71.exe.
std::string ApplicationTitle();

void ShowException(const char* message);

// Shows the exception in flight: an std::exception with its message, anything else with an
// empty one. Call it only inside a catch block.
void ShowCurrentException();
