#pragma once

// Colour with alpha; each channel an int 0..255.
struct IColour {
    int A = 255;
    int R = 0;
    int G = 0;
    int B = 0;
};
