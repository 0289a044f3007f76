#pragma once
#include <algorithm>

// Integer rectangle in editor pixels; right and bottom are exclusive. Only the
// all-zero rectangle counts as empty: degenerate non-zero rectangles do not.
struct IBounds {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool Empty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    constexpr bool Contains(int x, int y) const {
        return !Empty() && left <= x && x < right && top <= y && y < bottom;
    }
    // Deliberately lopsided (>= on the right and bottom): a rectangle that touches
    // another's left or top edge from outside still overlaps it.
    constexpr bool Overlaps(const IBounds& b) const {
        return right >= b.left && left < b.right && bottom >= b.top && top < b.bottom;
    }
    constexpr IBounds Intersect(const IBounds& b) const {
        if (Empty() || b.Empty() || !Overlaps(b))
            return {};
        return {std::max(left, b.left), std::max(top, b.top), std::min(right, b.right),
                std::min(bottom, b.bottom)};
    }
    constexpr IBounds Union(const IBounds& b) const {
        if (Empty())
            return b;
        if (b.Empty())
            return *this;
        return {std::min(left, b.left), std::min(top, b.top), std::max(right, b.right),
                std::max(bottom, b.bottom)};
    }
    constexpr bool operator==(const IBounds&) const = default;
};
