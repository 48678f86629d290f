#pragma once
// Table-driven and polynomial trigonometry, angle wrapping and easing, in single precision.
//
// Pure functions, thread-safe. The `mzx` functions take degrees and read a sine table with
// 0.1-degree steps; the others take radians and evaluate short polynomials, which are accurate to
// a few parts in a million (the `0` variants to about 1e-3) within their main range. The table is
// set up when the library loads (the table functions build it on first use if called earlier).
#include <array>

namespace Vorn::Math {

constexpr float kPi = 3.14159265358979f;
constexpr float kHalfPi = kPi / 2;

// Entry k (k < 3600) is sin(k / 10 degrees); entries 3658 and 3659 hold +pi/2 and -pi/2, the
// entries between them and the sines are 0.
constexpr int kSinTableSteps = 3600;
extern const std::array<float, 3660>& Float_SinTable;

// Table entry at trunc(deg * 10) modulo 3600 (negative indices wrap). NaN for a non-finite angle.
float mzxFastSin(float deg);
float mzxFastCos(float deg);  // entry at trunc((90 - deg) * 10) modulo 3600
float mzxFastTan(float deg);  // mzxFastSin / mzxFastCos

// Polynomial sine, cosine and tangent, folded about pi/2 beyond it. ITangentf gives 1e9 (signed)
// where the tangent's denominator vanishes.
float Sinef(float x);
float Cosinef(float x);
float ITangentf(float x);
float Sinef0(float x);
float Cosinef0(float x);
float ITangentf0(float x);

float ArcSinef(float x);  // x clamped to [-1, 1]
float ArcCosinef(float x);
// Arc tangent of y / x in (-pi/2, pi/2]: the quadrant of x is not applied. 0 when y is 0, +-pi/2
// by the sign of y when x is 0.
float ArcTangent2f(float y, float x);

float PutAngleInRangeDeg(float a);  // into (-180, 180]
float PutAngleInRangeRad(float a);  // into (-pi, pi]

// An S-curve from 0 at t = 0 to about 1 at t = 1.
float SmoothFilter(float t);
// Critically damped approach of value towards target over deltaTime seconds.
void EaseInOut(float deltaTime, float smoothTime, float target, float& value, float& velocity);

// Square root and reciprocal square root; 0 gives 0.
float Sqrtf(float v);
float RSqrtf(float v);

}  // namespace Vorn::Math
