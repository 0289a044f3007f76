#pragma once

// Button and key state that travels with every mouse event.
struct IModifierKeys {
    bool left = false;
    bool right = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
};

// Codes handed to KeyPressed; keys without a code never reach the view.
enum IKeyCode : int {
    KeySpace = 0,
    KeyUp = 1,
    KeyDown = 2,
    KeyLeft = 3,
    KeyRight = 4,
    KeyDigit0 = 5,   // digits 0-9 are 5-14
    KeyLetterA = 15, // letters A-Z are 15-40
};
