// Dispatches the input that the user made while the program held its thread: once it returns,
// every press that had reached the window system before the call has been handled.
#pragma once

class QWidget;

// window: a shown window of this program, which receives the window system's marker.
void DispatchQueuedInput(QWidget& window);
