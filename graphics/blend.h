#pragma once

enum IBlendMethod : int { BlendOver = 0, BlendReplace = 1, BlendAdditive = 2, BlendDodge = 3 };

// How a control's pictures are composited into the back buffer.
struct IBlend {
    int method = BlendOver;
    float weight = 1.0f;
};

// Weight of a greyed-out control.
inline constexpr float kGreyedWeight = 0.25f;
