// The font of both windows.
#pragma once

#include <QFont>

// The windows were laid out for an 8-point sans serif at 96 dpi: an 11-pixel character height
// (13-pixel lines). DejaVu Sans Condensed keeps that height while every caption fits its
// control. Where that face is not installed, the system's sans serif stands in, narrowed (and,
// should that not do, made smaller) until the widest caption fits: the choice is measured with
// the fonts and the style of this run, once. Call it only once the application object exists.
QFont WindowFont();
