#include "foundation/Trigonometry.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace Vorn::Math {
namespace {

// Built on first use, so that the table functions work even from another file's static initialiser.
const std::array<float, 3660>& SinTable() {
    static const std::array<float, 3660> table = [] {
        std::array<float, 3660> t{};
        for (int k = 0; k < kSinTableSteps; ++k) t[k] = static_cast<float>(std::sin(k * std::numbers::pi / 1800.0));
        t[3658] = kHalfPi;
        t[3659] = -kHalfPi;
        return t;
    }();
    return table;
}

float TableAt(double tenths) {
    if (!std::isfinite(tenths)) return std::numeric_limits<float>::quiet_NaN();
    double index = std::fmod(std::trunc(tenths), kSinTableSteps);
    if (index < 0) index += kSinTableSteps;
    return SinTable()[static_cast<int>(index)];
}

// Odd polynomial x * (c0 + c1 x^2 + ...) and even polynomial c0 + c1 x^2 + ..., in Horner form.
template <int N>
float Even(float x, const float (&c)[N]) {
    const float x2 = x * x;
    float sum = c[N - 1];
    for (int k = N - 2; k >= 0; --k) sum = c[k] + x2 * sum;
    return sum;
}
template <int N>
float Odd(float x, const float (&c)[N]) {
    return x * Even(x, c);
}

constexpr float kSin[] = {1.0f, -0.16666667f, 0.008333332f, -0.000198409f, 2.7526e-6f, -2.39e-8f};
constexpr float kCos[] = {1.0f, -0.5f, 0.04166664f, -0.0013888397f, 2.47609e-5f, -2.605e-7f};
constexpr float kTan[] = {1.0f, 0.3333314f, 0.1333924f, 0.05337406f, 0.02456509f, 0.002900525f, 0.009516809f};
constexpr float kSin0[] = {1.0f, -0.16605f, 0.00761f};
constexpr float kCos0[] = {1.0f, -0.4967f, 0.03705f};
constexpr float kTan0[] = {1.0f, 0.31755f, 0.2033f};

template <int N>
float SineShape(float x, const float (&c)[N]) {
    const float a = std::fabs(x);
    const float r = a <= kHalfPi ? Odd(a, c) : Odd(kPi - a, c);
    return x < 0 ? -r : r;
}

template <int N>
float CosineShape(float x, const float (&c)[N]) {
    const float a = std::fabs(x);
    return a <= kHalfPi ? Even(a, c) : -Even(kPi - a, c);
}

// Within pi/4 the polynomial; up to pi/2 its reciprocal on the complement; beyond pi/2 the
// tangent's period folds the angle back (negating at each fold).
template <int N>
float TangentShape(float x, const float (&c)[N], float cutoff) {
    if (!std::isfinite(x)) return std::numeric_limits<float>::quiet_NaN();
    // Far out a fold no longer changes the float; reduce by whole periods first.
    if (std::fabs(x) > 64.0f) x = std::remainder(x, kPi);
    float sign = 1.0f;
    while (std::fabs(x) > kHalfPi) {
        x = x >= 0 ? kPi - x : std::fabs(x) - kPi;
        sign = -sign;
    }
    const float a = std::fabs(x);
    float r;
    if (a <= kPi / 4) {
        r = Odd(a, c);
    } else {
        const float d = Odd(kHalfPi - a, c);
        r = d < cutoff ? 1e9f : 1.0f / d;
    }
    return sign * (x < 0 ? -r : r);
}

float ArcPoly(float a) { return 1.5707288f + a * (-0.2121144f + a * (0.074261f + a * -0.0187293f)); }

float ArcTanPoly(float r) {
    const float r2 = r * r;
    return r * (0.999866f + r2 * (-0.3302995f + r2 * (0.180141f + r2 * (-0.085133f + 0.0208351f * r2 * r2))));
}

float WrapInto(float a, float period) {
    float w = std::fmod(a, period);
    if (w <= -period / 2) w += period;
    if (w > period / 2) w -= period;
    return w;
}

}  // namespace

const std::array<float, 3660>& Float_SinTable = SinTable();

float mzxFastSin(float deg) { return TableAt(static_cast<double>(deg) * 10.0); }
float mzxFastCos(float deg) { return TableAt((90.0 - static_cast<double>(deg)) * 10.0); }
float mzxFastTan(float deg) { return mzxFastSin(deg) / mzxFastCos(deg); }

float Sinef(float x) { return SineShape(x, kSin); }
float Cosinef(float x) { return CosineShape(x, kCos); }
float ITangentf(float x) { return TangentShape(x, kTan, 1.8897e-8f); }
float Sinef0(float x) { return SineShape(x, kSin0); }
float Cosinef0(float x) { return CosineShape(x, kCos0); }
float ITangentf0(float x) { return TangentShape(x, kTan0, 0.00080613f); }

float ArcSinef(float x) {
    const float a = std::fmin(std::fabs(x), 1.0f);
    const float r = kHalfPi - Sqrtf(1.0f - a) * ArcPoly(a);
    return x < 0 ? -r : r;
}

float ArcCosinef(float x) {
    const float a = std::fmin(std::fabs(x), 1.0f);
    const float r = Sqrtf(1.0f - a) * ArcPoly(a);
    return x < 0 ? kPi - r : r;
}

float ArcTangent2f(float y, float x) {
    if (y == 0) return 0;
    if (x == 0) return y > 0 ? kHalfPi : -kHalfPi;
    const float r = y / x;
    if (std::fabs(r) <= 1.0f) return ArcTanPoly(r);
    return (r > 1.0f ? kHalfPi : -kHalfPi) - ArcTanPoly(1.0f / r);
}

float PutAngleInRangeDeg(float a) { return WrapInto(a, 360.0f); }
float PutAngleInRangeRad(float a) { return WrapInto(a, 2 * kPi); }

float SmoothFilter(float t) { return Sinef(kPi * t + 3 * kHalfPi) * 0.5f + 0.5f; }

void EaseInOut(float deltaTime, float smoothTime, float target, float& value, float& velocity) {
    if (deltaTime < 1e-15f) return;
    if (smoothTime < 1e-15f) {
        value = target;
        velocity = 0;
        return;
    }
    const float omega = 2.0f / smoothTime;
    const float d = std::fmin(smoothTime, deltaTime);
    const float x = omega * d;
    const float e = 1.0f / (1.0f + x + 0.48f * 0.235f * x * x * x * x * x);
    const float c = value - target;
    const float m = (omega * c + velocity) * d;
    velocity = (velocity - omega * m) * e;
    value = target + (c + m) * e;
}

float RSqrtf(float v) {
    if (v == 0) return 0;
    const float y = 1.0f / std::sqrt(v);
    return y * (1.5f - 0.5f * v * y * y);
}

float Sqrtf(float v) { return v * RSqrtf(v); }

}  // namespace Vorn::Math
