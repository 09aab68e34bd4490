#include "saver/anim_geometry.h"

namespace vrel::saver {

int AnimRandom::Next() {
  state_ = state_ * 214013u + 2531011u;
  return static_cast<int>((state_ >> 16) & 0x7fff);
}

int AnimRandom::Below(int n) {
  if (n <= 0) return 0;
  // 64 bits: n * 32767 overflows an int for large scenes' sizes.
  const auto scaled = static_cast<int>(static_cast<int64_t>(n) * Next() / kMax);
  return scaled < n ? scaled : n - 1;
}

Point OffsetByDirection(Point from, int direction, int distance) {
  switch (direction) {
    case 0: return {from.x - distance, from.y};
    case 1: return {from.x, from.y - distance};
    case 2: return {from.x + distance, from.y};
    default: return {from.x, from.y + distance};
  }
}

Point Extend(Point p, Point p0, int k) {
  return {p.x + (k - 1) * (p.x - p0.x), p.y + (k - 1) * (p.y - p0.y)};
}

Point Jitter(Point p, int a, AnimRandom& random) {
  const int dx = random.Below(2 * a) - a;
  const int dy = random.Below(2 * a) - a;
  return {p.x + dx, p.y + dy};
}

}  // namespace vrel::saver
