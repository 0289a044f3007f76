#pragma once
#include "graphics/bounds.h"
#include "raster/text.h"

// The rectangle to hand to RenderText so that the style's digits sit vertically centred
// in `rect`: text is drawn from the top of its character cell, whose ascent and descent
// differ, so centring the cell would leave numbers visibly high. The digit 0 is the
// reference, so a value's text never jumps between values. Answers `rect` unchanged when
// the style has no font or no digit glyph.
IBounds CentreDigitsVertically(ITextStyle& style, const IBounds& rect);
