// How the program's message boxes are shown. Every box is prepared in full and then handed to
// one function, which normally shows it modally; tests put their own function there to look at
// the box instead of waiting for a person to press OK.
#pragma once

#include <functional>

class QMessageBox;

using MessageBoxRunner = std::function<void(QMessageBox& box)>;

// Shows box modally with the runner in force.
void RunMessageBox(QMessageBox& box);

// Replaces the runner; an empty function puts back the modal showing.
void SetMessageBoxRunner(MessageBoxRunner runner);
