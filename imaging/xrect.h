// Float geometry of the area sampler: points and rectangles in source pixel units.
#pragma once

#include <algorithm>
#include <cmath>

struct CxPoint2 {
    float x = 0.0f;
    float y = 0.0f;

    constexpr CxPoint2() = default;
    constexpr CxPoint2(float px, float py) : x(px), y(py) {}

    float Distance(const CxPoint2& p) const { return Distance(p.x, p.y); }
    float Distance(float px, float py) const { return std::hypot(x - px, y - py); }
};

// Edges in source pixel units; a pixel (i, j) is the unit square around its centre.
struct CxRect2 {
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;

    constexpr CxRect2() = default;
    constexpr CxRect2(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}

    constexpr float Width() const { return right - left; }
    constexpr float Height() const { return bottom - top; }
    constexpr float Surface() const { return Width() * Height(); }
    constexpr CxPoint2 Center() const { return {(left + right) / 2.0f, (top + bottom) / 2.0f}; }

    // The intersection, or the zero rectangle when the two do not overlap.
    constexpr CxRect2 CrossSection(const CxRect2& other) const {
        const CxRect2 r(std::max(left, other.left), std::max(top, other.top),
                        std::min(right, other.right), std::min(bottom, other.bottom));
        return r.left < r.right && r.top < r.bottom ? r : CxRect2();
    }
};
