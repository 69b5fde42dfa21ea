#include "player/core/polar.h"

#include <cmath>

namespace {
const double kPi = 3.14159265358979323846;
}

void PolarToPointDeg(int angleDeg, int radius, int* x, int* y) {
  double a = angleDeg == 0 ? 0.0 : angleDeg * (1.0 / 180.0) * kPi;
  *x = int(radius * std::cos(a));
  *y = int(radius * std::sin(a));
}

void PolarToPoint(int angle, int radius, int* x, int* y) {
  double a = angle == 0 ? 0.0 : angle * (1.0 / 18000.0) * kPi;
  *x = int(radius * std::cos(a));
  *y = int(radius * std::sin(a));
}

void PointToPolar(int x0, int y0, int x1, int y1, int* angle, int* distance) {
  double dx = double(x1) - x0, dy = double(y1) - y0;
  double t = std::atan2(dy, dx);
  int v = -int(t * 180.0 / kPi * 100.0);
  if (v < 0) v += 36000;
  int a = 36000 - v;
  *angle = a == 36000 ? 0 : a;
  // Points far apart can lie further than an int reaches.
  double d = dx == 0 ? std::fabs(dy) : dx / std::cos(t);
  *distance = d >= 2147483647.0 ? 2147483647 : int(d);
}
