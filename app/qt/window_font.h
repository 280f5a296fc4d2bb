// The font of both windows.
#pragma once

#include <QFont>

// DejaVu Sans Condensed with an 11-pixel character height: the windows were laid out for an
// 8-point sans serif at 96 dpi, and this face keeps that height (13-pixel lines) while every
// caption still fits its control.
QFont WindowFont();
