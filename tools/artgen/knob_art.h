#pragma once
// The knob's artwork without cairo: the body is a pure function of the position, so the editor
// draws the knob at run time at any scale with this code instead of carrying 101 large frames per
// scale. artgen draws the committed 100 % strip from the same body, with cairo's pointers.

#include <cstdint>
#include <vector>

namespace art {

struct Colour;

// Frames in the knob's strip, from the minimum to the maximum.
inline constexpr int kKnobFrameCount = 101;

// One frame's shadow and body in units; the frame's top at frameTop, rotation in radians.
Colour KnobShadowPixel(double x, double y, double frameTop);
Colour KnobBodyPixel(double x, double y, double frameTop, double rotation);
// The pointer's rotation for frame 0 .. frames - 1.
double KnobRotation(int frame);

// Draws the knob's frames at a scale other than 1, one at a time. What does not turn (the shadow,
// the cap, the inner skirt) is shaded once; each frame shades only the knurled rim and the pointers.
class KnobPainter {
  public:
    explicit KnobPainter(double scale);
    // Frame edge in pixels.
    int FrameSize() const { return mSize; }
    // Writes frame 0 .. frames - 1 as straight-alpha 0xAARRGGBB pixels, FrameSize() rows of
    // `stride` pixels each.
    void Draw(int frame, std::uint32_t* out, int stride) const;
    // The same, premultiplied as cairo stores it.
    void DrawPremultiplied(int frame, std::uint32_t* out, int stride) const;

  private:
    double mScale;
    int mSize;
    // Samples per pixel edge: at least the 3 per editor pixel of the 100 % strip.
    int mSupersample;
    std::vector<std::uint32_t> mStill;  // premultiplied: shadow, body at rotation 0
    std::vector<std::uint32_t> mShadow; // premultiplied: shadow alone
    std::vector<std::uint8_t> mTurns;   // 1 where the pixel changes with the rotation
};

} // namespace art
