// How a control of a resizable dialog follows the window's size, the same
// on every backend: the template's style flags say which of its edges move
// with the window's right and bottom edges.
#pragma once

#include <cstdint>

#include "res/templates.h"

namespace molvar::framework {

inline constexpr std::uint32_t kFollowsSize =
    res::style::kGrowRight | res::style::kGrowBottom | res::style::kFollowRight | res::style::kFollowBottom;

struct ControlEdges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The control's edges once the window is `dx` wider and `dy` taller than
// the size the template gives it.
constexpr ControlEdges FollowedEdges(ControlEdges at, std::uint32_t styles, int dx, int dy) {
    namespace style = res::style;
    if ((styles & (style::kFollowRight | style::kGrowRight)) != 0) at.right += dx;
    if ((styles & style::kFollowRight) != 0) at.left += dx;
    if ((styles & (style::kFollowBottom | style::kGrowBottom)) != 0) at.bottom += dy;
    if ((styles & style::kFollowBottom) != 0) at.top += dy;
    return at;
}

}  // namespace molvar::framework
