// Points, rectangles and the random helpers the animations are built from.
#pragma once

#include <cstdint>

namespace vrel::saver {

struct Point {
  int x = 0, y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Right and bottom are exclusive.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Colour {
  int red = 0, green = 0, blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// The C library's rand() sequence of 0 .. 32767, kept per scene so that a
// seeded run repeats exactly.
class AnimRandom {
 public:
  static constexpr int kMax = 32767;

  explicit AnimRandom(uint32_t seed = 1) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }
  int Next();

  // An integer from 0 to n - 1; 0 when n <= 0.
  int Below(int n);

 private:
  uint32_t state_;
};

// Direction 0 moves left, 1 up, 2 right, anything else down, by distance.
Point OffsetByDirection(Point from, int direction, int distance);
// The point k times as far from p0 as p, on the same ray.
Point Extend(Point p, Point p0, int k);
// Each coordinate moved by its own random amount in -a .. a - 1.
Point Jitter(Point p, int a, AnimRandom& random);

}  // namespace vrel::saver
