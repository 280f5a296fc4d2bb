// How much of the main window a new log line has to paint. The upload holds the one thread
// between its lines, so a line is painted at once, not at a later paint event. Right after
// message processing every paint that was due has been done, and the line paints only what it
// changes itself (the log's text and scroll bar); any other time (the first line after the open
// dialog, the wake-up's lines) the whole window is painted, the area that a closed dialog
// uncovered included.
#pragma once

#include <functional>

class QWidget;

// Runs the application's message processing for window (every waiting message: paints and user
// input). Afterwards the window counts as painted, unless a window was hidden meanwhile: the area
// that it uncovered may wait for an exposure that has not been processed yet. beforeInput runs
// once before the first input or close request, so that the user acts on an up-to-date window.
void ProcessMessagesFor(QWidget& window, const std::function<void()>& beforeInput = {});

// Paints window now, after a line has been added to its log: only what has changed when
// ProcessMessagesFor was the last thing to run since the previous line, else all of it.
void PaintNewLine(QWidget& window);
