#include "foundation/Vector3f.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "foundation/Trigonometry.h"

namespace Vorn {
namespace {

using Math::RSqrtf;
using Math::Sqrtf;

constexpr float kTiny = 1e-9f;

// Reciprocal square root from the integer estimate and one Newton step.
float EstimateRSqrt(float v) {
    const float y = std::bit_cast<float>(0x5F3759DFu - (std::bit_cast<uint32_t>(v) >> 1));
    return y * (1.5f - 0.5f * v * y * y);
}

// Whether the length of (dx, dy, dz) is above (or below) the limit whose square is limit2. Single
// components answer early, then x and z alone; a squared y of 1e-9 or less does not count.
bool Compare(float dx, float dy, float dz, float limit2, bool ignoreY, bool above) {
    const float x2 = dx * dx, y2 = ignoreY ? 0 : dy * dy, z2 = dz * dz;
    if (x2 > limit2 || y2 > limit2 || z2 > limit2) return above;
    const float xz = x2 + z2;
    if (xz > limit2) return above;
    if (y2 <= kTiny) return above ? false : xz < limit2;
    return above ? xz + y2 > limit2 : xz + y2 < limit2;
}

// The same for a limit given as a length: a negative limit lies below every length.
bool CompareLength(const Vector3f& d, float l, bool ignoreY, bool above) {
    if (l < 0) return above;
    return Compare(d.x, d.y, d.z, l * l, ignoreY, above);
}

float NormalisedDot(const Vector3f& a, const Vector3f& b) {
    return a.Dot(b) * RSqrtf(a.SquaredLength() * b.SquaredLength());
}

}  // namespace

float Vector3f::Length() const { return Sqrtf(SquaredLength()); }

Vector3f Vector3f::operator~() const {
    int m = 0;
    if (std::fabs(y) > std::fabs((*this)[m])) m = 1;
    if (std::fabs(z) > std::fabs((*this)[m])) m = 2;
    const int n = (m + 1) % 3;
    Vector3f r;
    r[m] = (*this)[n];
    r[n] = -(*this)[m];
    return r;
}

void Vector3f::Normalize() {
    const float l2 = SquaredLength();
    if (l2 > kTiny) *this *= RSqrtf(l2);
}

void Vector3f::Normalize(const Vector3f& v) {
    *this = v;
    Normalize();
}

void Vector3f::Normalize(float& length) {
    length = Length();
    if (length > kTiny) *this *= 1.0f / length;
}

void Vector3f::Normalize(const Vector3f& v, float& length) {
    *this = v;
    Normalize(length);
}

void Vector3f::ScaleToLength(float l) {
    if (l <= kTiny) return;
    const float length = Length();
    if (length > kTiny) *this *= l / length;
}

Vector3f& Vector3f::operator*=(const Matrix44f& m) {
    const Vector3f p = *this;
    for (int c = 0; c < 3; ++c) (*this)[c] = p.x * m.m[0][c] + p.y * m.m[1][c] + p.z * m.m[2][c] + m.m[3][c];
    return *this;
}

void Vector3f::RotateBy(float a, float b, float c, RotOrder order) {
    static constexpr Axis kOrders[6][3] = {
        {kAxisX, kAxisY, kAxisZ}, {kAxisX, kAxisZ, kAxisY}, {kAxisY, kAxisX, kAxisZ},
        {kAxisY, kAxisZ, kAxisX}, {kAxisZ, kAxisX, kAxisY}, {kAxisZ, kAxisY, kAxisX},
    };
    if (order > kRotZYX) return;
    const float angles[3] = {a, b, c};
    for (Axis axis : kOrders[order]) RotateBy(axis, angles[axis]);
}

void Vector3f::RotateBy(const float* angles, RotOrder order) { RotateBy(angles[0], angles[1], angles[3], order); }

void Vector3f::RotateBy(Axis axis, float angle) {
    const float c = Math::Cosinef(angle), s = Math::Sinef(angle);
    const Vector3f p = *this;
    if (axis == kAxisX) {
        y = c * p.y + s * p.z;
        z = c * p.z - s * p.y;
    } else if (axis == kAxisY) {
        x = c * p.x - s * p.z;
        z = c * p.z + s * p.x;
    } else {
        x = c * p.x + s * p.y;
        y = c * p.y - s * p.x;
    }
}

void Vector3f::RotateBy(const Quaternion4f& q) {
    const float n2 = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (n2 == 0) return;
    const Vector3f u(q.x, q.y, q.z);
    const Vector3f v = *this;
    *this = (v * (q.w * q.w - u.SquaredLength()) + u * (2 * u.Dot(v)) + u.Cross(v) * (2 * q.w)) * (1.0f / n2);
}

bool Vector3f::LengthAbove(float l) const { return CompareLength(*this, l, false, true); }
bool Vector3f::LengthBelow(float l) const { return CompareLength(*this, l, false, false); }
bool Vector3f::LengthAboveIgnoreY(float l) const { return CompareLength(*this, l, true, true); }
bool Vector3f::LengthBelowIgnoreY(float l) const { return CompareLength(*this, l, true, false); }
bool Vector3f::DistanceAbove(const Vector3f& v, float l) const { return (*this - v).LengthAbove(l); }
bool Vector3f::DistanceBelow(const Vector3f& v, float l) const { return (*this - v).LengthBelow(l); }
bool Vector3f::DistanceAboveIgnoreY(const Vector3f& v, float l) const { return (*this - v).LengthAboveIgnoreY(l); }
bool Vector3f::DistanceBelowIgnoreY(const Vector3f& v, float l) const { return (*this - v).LengthBelowIgnoreY(l); }

bool Vector3f::SquaredDistanceAbove(const Vector3f& v, float l) const {
    const Vector3f d = *this - v;
    return Compare(d.x, d.y, d.z, l, false, true);
}
bool Vector3f::SquaredDistanceBelow(const Vector3f& v, float l) const {
    const Vector3f d = *this - v;
    return Compare(d.x, d.y, d.z, l, false, false);
}
bool Vector3f::SquaredDistanceAboveIgnoreY(const Vector3f& v, float l) const {
    const Vector3f d = *this - v;
    return Compare(d.x, d.y, d.z, l, true, true);
}
bool Vector3f::SquaredDistanceBelowIgnoreY(const Vector3f& v, float l) const {
    const Vector3f d = *this - v;
    return Compare(d.x, d.y, d.z, l, true, false);
}

float Vector3f::LengthIgnoreY() const { return Sqrtf(x * x + z * z); }
float Vector3f::Distance(const Vector3f& v) const { return (*this - v).Length(); }
float Vector3f::DistanceIgnoreY(const Vector3f& v) const { return (*this - v).LengthIgnoreY(); }
float Vector3f::SquaredDistanceIgnoreY(const Vector3f& v) const {
    const Vector3f d = *this - v;
    return d.x * d.x + d.z * d.z;
}

float Vector3f::Angle(const Vector3f& v) const {
    const float c = Dot(v) * EstimateRSqrt(SquaredLength() * v.SquaredLength());
    if (c >= 1.0f) return 0;
    if (c <= -1.0f) return Math::kPi;
    return std::acos(c);
}

bool Vector3f::IsParallel(const Vector3f& v, float tolerance) const {
    const float d = NormalisedDot(*this, v);
    return d >= 1.0f - tolerance && d <= 1.0f + tolerance;
}

bool Vector3f::IsColinear(const Vector3f& v, float tolerance) const {
    const float d = std::fabs(NormalisedDot(*this, v));
    return d >= 1.0f - tolerance && d <= 1.0f + tolerance;
}

bool Vector3f::IsTriangle(const Vector3f& a, const Vector3f& b, const Vector3f& c) {
    const Vector3f n = (b - a).Cross(c - a);
    if (n.SquaredLength() <= kTiny) return false;
    return std::max({std::fabs(n.x), std::fabs(n.y), std::fabs(n.z)}) > kTiny;
}

float Vector3f::SquaredDistanceFromLine(const Vector3f& p, const Vector3f& a, const Vector3f& b) {
    const Vector3f ab = b - a;
    const float l2 = ab.SquaredLength();
    const float t = l2 > 0 ? std::clamp((p - a).Dot(ab) / l2, 0.0f, 1.0f) : 0.0f;
    return p.SquaredDistance(a + ab * t);
}

float Vector3f::DistanceFromLine(const Vector3f& p, const Vector3f& a, const Vector3f& b) {
    return Sqrtf(SquaredDistanceFromLine(p, a, b));
}

Vector3f Vector3f::BarycentricPoint(const Vector3f& a, const Vector3f& b, const Vector3f& c, float u, float v) {
    return a + (b - a) * u + (c - a) * v;
}

bool Vector3f::BarycentricCoord(const Vector3f& p, const Vector3f& a, const Vector3f& b, const Vector3f& c, float& u,
                                float& v) {
    const Vector3f e0 = b - a, e1 = c - a, d = p - a;
    const float d00 = e0.Dot(e0), d01 = e0.Dot(e1), d11 = e1.Dot(e1), d20 = d.Dot(e0), d21 = d.Dot(e1);
    const float denominator = d00 * d11 - d01 * d01;
    if (std::fabs(denominator) <= kTiny * kTiny) return false;
    u = (d11 * d20 - d01 * d21) / denominator;
    v = (d00 * d21 - d01 * d20) / denominator;
    return true;
}

float Vector3f::SquaredDistanceFromTriangle(const Vector3f& p, const Vector3f& a, const Vector3f& b,
                                            const Vector3f& c) {
    const Vector3f n = (b - a).Cross(c - a);
    float u = 0, v = 0;
    if (n.SquaredLength() <= kTiny || !BarycentricCoord(p, a, b, c, u, v)) return 1e9f;
    if (u > 0 && v > 0 && u + v <= 1) {
        const float h = (p - a).Dot(n);
        return h * h / n.SquaredLength();
    }
    return std::min({SquaredDistanceFromLine(p, a, b), SquaredDistanceFromLine(p, b, c), SquaredDistanceFromLine(p, c, a)});
}

float Vector3f::DistanceFromTriangle(const Vector3f& p, const Vector3f& a, const Vector3f& b, const Vector3f& c) {
    const float d2 = SquaredDistanceFromTriangle(p, a, b, c);
    return d2 == 1e9f ? d2 : Sqrtf(d2);
}

bool Vector3f::IsValid(const Vector3f& v) {
    for (int i = 0; i < 3; ++i) {
        if (std::isnan(v[i]) || v[i] == std::numeric_limits<float>::infinity()) return false;
    }
    return true;
}

namespace Math {

void mzxBuildRotationMatrix(Matrix33f& m, float a, float b, float c) {
    const float sa = mzxFastSin(a), ca = mzxFastCos(a);
    const float sb = mzxFastSin(b), cb = mzxFastCos(b);
    const float sc = mzxFastSin(c), cc = mzxFastCos(c);
    m.row[0] = {cb * cc, cb * sc, -sb};
    m.row[1] = {sa * sb * cc - ca * sc, ca * cc + sa * sb * sc, sa * cb};
    m.row[2] = {ca * sb * cc + sa * sc, ca * sb * sc - sa * cc, ca * cb};
}

void mzxBuildRotationMatrix(Matrix33f& m, const Vector3f& angles) { mzxBuildRotationMatrix(m, angles.x, angles.y, angles.z); }

bool mzxRayVsEllipsoid(const Vector3f& origin, const Vector3f& direction, const Vector3f& centre,
                       const Vector3f& radii, float& tNear, float& tFar) {
    tNear = -1e21f;
    tFar = 1e21f;
    Vector3f o = origin - centre, d = direction;
    for (int i = 0; i < 3; ++i) {
        o[i] /= radii[i];
        d[i] /= radii[i];
    }
    const float qa = d.SquaredLength(), qb = 2 * o.Dot(d), qc = o.SquaredLength() - 1;
    const float disc = qb * qb - 4 * qa * qc;
    if (!(qa > 0) || !(disc >= 0) || !std::isfinite(disc)) return false;  // also refuses NaN
    const float root = std::sqrt(disc);
    float t0 = (-qb - root) / (2 * qa), t1 = (-qb + root) / (2 * qa);
    if (t1 < 0) return false;
    if (t0 < 0) t0 = t1;
    tNear = t0;
    tFar = t1;
    return true;
}

bool mzxRayIntersectEllipsoid(const Vector3f& origin, const Vector3f& direction, const Vector3f& centre,
                              float radiusXZ, float radiusY, float& t) {
    float tNear, tFar;
    if (!mzxRayVsEllipsoid(origin, direction, centre, Vector3f(radiusXZ, radiusY, radiusXZ), tNear, tFar)) return false;
    const float yNear = origin.y + direction.y * tNear, yFar = origin.y + direction.y * tFar;
    if (yNear < centre.y && yFar < centre.y) return false;
    if (!(tNear < t)) return false;
    t = tNear;
    return true;
}

}  // namespace Math
}  // namespace Vorn
