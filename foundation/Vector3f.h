#pragma once
// A 3-component float vector with its geometric queries, the small matrix and quaternion types it
// works with, and rotation-matrix and ray/ellipsoid helpers.
//
// Plain values: no ownership, no allocation, no errors (degenerate input gives the documented
// fallback values). Thread-safe as any value type. Angles are radians except where a function
// says degrees.
#include <cstdint>
#include <limits>

namespace Vorn {

struct Quaternion4f {
    float x, y, z, w;
};

struct Matrix44f {
    float m[4][4];  // rows; a point is a row vector times the upper 3 x 3 plus row 3
};

class Vector3f {
public:
    enum RotOrder : uint32_t { kRotXYZ = 0, kRotXZY, kRotYXZ, kRotYZX, kRotZXY, kRotZYX };
    enum Axis : uint32_t { kAxisX = 0, kAxisY = 1, kAxisZ = 2 };  // any other value means z

    float x = 0, y = 0, z = 0;

    constexpr Vector3f() = default;
    constexpr Vector3f(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    static const Vector3f kZero, kOne, kXaxis, kYaxis, kZaxis;
    static const Vector3f kInvalid;  // every component the largest finite float

    float& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
    float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }
    float& operator()(int i) { return (*this)[i]; }
    float operator()(int i) const { return (*this)[i]; }

    Vector3f operator+(const Vector3f& v) const { return {x + v.x, y + v.y, z + v.z}; }
    Vector3f operator-(const Vector3f& v) const { return {x - v.x, y - v.y, z - v.z}; }
    Vector3f operator-() const { return {-x, -y, -z}; }
    Vector3f operator*(float s) const { return {x * s, y * s, z * s}; }
    Vector3f& operator+=(const Vector3f& v) { return *this = *this + v; }
    Vector3f& operator-=(const Vector3f& v) { return *this = *this - v; }
    Vector3f& operator*=(float s) { return *this = *this * s; }
    bool operator==(const Vector3f&) const = default;

    float Dot(const Vector3f& v) const { return x * v.x + y * v.y + z * v.z; }
    Vector3f Cross(const Vector3f& v) const { return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x}; }
    float SquaredLength() const { return Dot(*this); }
    float Length() const;

    // A vector perpendicular to this one: the largest-magnitude component and the next one
    // (cyclically) swapped with one negated, the third 0.
    Vector3f operator~() const;
    bool ZeroComponent() const { return x == 0 || y == 0 || z == 0; }

    // Scale to unit length when the squared length (the length, for the forms that report it)
    // exceeds 1e-9; otherwise unchanged.
    void Normalize();
    void Normalize(const Vector3f& v);
    void Normalize(float& length);
    void Normalize(const Vector3f& v, float& length);
    // Nothing when l <= 1e-9 or the length <= 1e-9.
    void ScaleToLength(float l);

    Vector3f& operator*=(const Matrix44f& m);  // transform as a point

    // Rotation by the angles about x, y and z, applied in the given order; an order above 5 leaves
    // the vector unchanged. The array form reads angles[0], angles[1] and angles[3] (it must hold
    // at least four floats; element 2 is not read).
    void RotateBy(float a, float b, float c, RotOrder order);
    void RotateBy(const float* angles, RotOrder order);
    void RotateBy(Axis axis, float angle);
    void RotateBy(const Quaternion4f& q);  // q v q^-1; a zero quaternion leaves the vector unchanged

    // Comparisons of a length with l; the IgnoreY forms use x and z only. The Squared forms
    // compare the squared distance with l as given.
    bool LengthAbove(float l) const;
    bool LengthBelow(float l) const;
    bool LengthAboveIgnoreY(float l) const;
    bool LengthBelowIgnoreY(float l) const;
    bool DistanceAbove(const Vector3f& v, float l) const;
    bool DistanceBelow(const Vector3f& v, float l) const;
    bool DistanceAboveIgnoreY(const Vector3f& v, float l) const;
    bool DistanceBelowIgnoreY(const Vector3f& v, float l) const;
    bool SquaredDistanceAbove(const Vector3f& v, float l) const;
    bool SquaredDistanceBelow(const Vector3f& v, float l) const;
    bool SquaredDistanceAboveIgnoreY(const Vector3f& v, float l) const;
    bool SquaredDistanceBelowIgnoreY(const Vector3f& v, float l) const;

    float LengthIgnoreY() const;
    float Distance(const Vector3f& v) const;
    float DistanceIgnoreY(const Vector3f& v) const;
    float SquaredDistance(const Vector3f& v) const { return (*this - v).SquaredLength(); }
    float SquaredDistanceIgnoreY(const Vector3f& v) const;

    float Angle(const Vector3f& v) const;  // 0 to pi
    bool IsParallel(const Vector3f& v, float tolerance) const;
    bool IsColinear(const Vector3f& v, float tolerance) const;  // parallel or opposite

    static Vector3f Combine(const Vector3f& a, float s, const Vector3f& b, float t) { return a * s + b * t; }
    static bool IsTriangle(const Vector3f& a, const Vector3f& b, const Vector3f& c);
    // Distance from p to the segment a-b.
    static float DistanceFromLine(const Vector3f& p, const Vector3f& a, const Vector3f& b);
    static float SquaredDistanceFromLine(const Vector3f& p, const Vector3f& a, const Vector3f& b);
    // a + (b - a) u + (c - a) v, and the (u, v) of p's projection; false for a degenerate triangle.
    static Vector3f BarycentricPoint(const Vector3f& a, const Vector3f& b, const Vector3f& c, float u, float v);
    static bool BarycentricCoord(const Vector3f& p, const Vector3f& a, const Vector3f& b, const Vector3f& c,
                                 float& u, float& v);
    // Distance from p to the triangle; 1e9 for a degenerate triangle.
    static float DistanceFromTriangle(const Vector3f& p, const Vector3f& a, const Vector3f& b, const Vector3f& c);
    static float SquaredDistanceFromTriangle(const Vector3f& p, const Vector3f& a, const Vector3f& b,
                                             const Vector3f& c);
    // False when a component is NaN or +infinity.
    static bool IsValid(const Vector3f& v);
};

inline constexpr Vector3f Vector3f::kZero{0, 0, 0};
inline constexpr Vector3f Vector3f::kOne{1, 1, 1};
inline constexpr Vector3f Vector3f::kXaxis{1, 0, 0};
inline constexpr Vector3f Vector3f::kYaxis{0, 1, 0};
inline constexpr Vector3f Vector3f::kZaxis{0, 0, 1};
inline constexpr Vector3f Vector3f::kInvalid{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                                             std::numeric_limits<float>::max()};

struct Matrix33f {
    Vector3f row[3];
};

namespace Math {

// Rotation matrix from three angles in degrees (table sine and cosine).
void mzxBuildRotationMatrix(Matrix33f& m, float a, float b, float c);
void mzxBuildRotationMatrix(Matrix33f& m, const Vector3f& angles);

// Ray origin + t * direction against the axis-aligned ellipsoid. On a hit (a root >= 0) true with
// tNear <= tFar (a single non-negative or a tangent root fills both); otherwise false with tNear
// -1e21 and tFar +1e21.
bool mzxRayVsEllipsoid(const Vector3f& origin, const Vector3f& direction, const Vector3f& centre,
                       const Vector3f& radii, float& tNear, float& tFar);
// The same for radii (radiusXZ, radiusY, radiusXZ); hits whose y lies below the centre at both roots
// are refused. Succeeds, replacing t, only when the nearer root is smaller than t.
bool mzxRayIntersectEllipsoid(const Vector3f& origin, const Vector3f& direction, const Vector3f& centre,
                              float radiusXZ, float radiusY, float& t);

}  // namespace Math
}  // namespace Vorn
