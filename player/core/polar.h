// Polar and screen coordinates of the moving things of the game.
#pragma once

void PolarToPointDeg(int angleDeg, int radius, int* x, int* y);
// Angles in hundredths of a degree; 36,000 is a full turn.
void PolarToPoint(int angle, int radius, int* x, int* y);
void PointToPolar(int x0, int y0, int x1, int y1, int* angle, int* distance);
