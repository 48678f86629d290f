#include "foundation/Vector3f.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "foundation/Trigonometry.h"

using Vorn::Matrix33f;
using Vorn::Matrix44f;
using Vorn::Quaternion4f;
using Vorn::Vector3f;
using namespace Vorn::Math;

namespace {

void ExpectNear(const Vector3f& got, const Vector3f& want, float tolerance = 1e-5f) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "component " << i;
}

}  // namespace

TEST(Vector3f, Constants) {
    EXPECT_EQ(std::bit_cast<uint32_t>(Vector3f::kInvalid.y), 0x7F7FFFFFu);
    EXPECT_EQ(Vector3f::kXaxis.Cross(Vector3f::kYaxis), Vector3f::kZaxis);
    EXPECT_TRUE(Vector3f::IsValid(Vector3f::kInvalid));
    EXPECT_FALSE(Vector3f::IsValid({0, NAN, 0}));
    EXPECT_FALSE(Vector3f::IsValid({0, 0, INFINITY}));
    EXPECT_TRUE(Vector3f::IsValid({-INFINITY, 0, 0}));
}

TEST(Vector3f, LengthsAndComparisons) {
    Vector3f v(3, 0, 4);
    float length = 0;
    v.Normalize(length);
    EXPECT_NEAR(length, 5, 1e-5f);
    ExpectNear(v, {0.6f, 0, 0.8f});
    Vector3f tiny(1e-6f, 0, 0);
    tiny.Normalize();
    EXPECT_EQ(tiny, Vector3f(1e-6f, 0, 0));  // too short: unchanged
    v.ScaleToLength(10);
    ExpectNear(v, {6, 0, 8}, 1e-4f);

    const Vector3f d(3, 4, 12);  // length 13, 5 without y
    EXPECT_TRUE(d.LengthAbove(12.9f));
    EXPECT_FALSE(d.LengthAbove(13.1f));
    EXPECT_TRUE(d.LengthBelow(13.1f));
    EXPECT_FALSE(d.LengthBelow(12.5f));
    EXPECT_TRUE(d.LengthBelowIgnoreY(12.5f));  // x and z only: sqrt(9 + 144)
    EXPECT_FALSE(Vector3f(1, 0, 0).LengthAbove(1));
    EXPECT_FALSE(Vector3f(1, 0, 0).LengthBelow(1));
    EXPECT_TRUE(d.DistanceAbove(Vector3f::kZero, 12.9f));
    EXPECT_TRUE(d.SquaredDistanceBelow(Vector3f::kZero, 170));
    EXPECT_FALSE(d.SquaredDistanceBelow(Vector3f::kZero, 168));
    EXPECT_NEAR(d.LengthIgnoreY(), std::sqrt(153.0f), 1e-4f);
    EXPECT_NEAR(d.DistanceIgnoreY({3, 100, 0}), 12, 1e-5f);
    EXPECT_EQ(d.SquaredDistance(Vector3f::kZero), 169);
}

TEST(Vector3f, DirectionsAndRotations) {
    for (const Vector3f& v : {Vector3f(1, 2, 3), Vector3f(0, -5, 0), Vector3f(0, 0, 2)}) {
        EXPECT_EQ(v.Dot(~v), 0);
        EXPECT_GT((~v).SquaredLength(), 0);
    }
    // Angle normalises with a coarse estimate (one Newton step): about 0.2% off in the cosine.
    EXPECT_NEAR(Vector3f::kXaxis.Angle(Vector3f::kYaxis), kHalfPi, 1e-3f);
    EXPECT_NEAR(Vector3f(1, 1, 0).Angle({2, 2, 0}), 0, 0.1f);
    EXPECT_NEAR(Vector3f(1, 0, 0).Angle({-3, 0, 0}), kPi, 0.1f);
    EXPECT_TRUE(Vector3f(1, 2, 3).IsParallel({2, 4, 6}, 1e-4f));
    EXPECT_FALSE(Vector3f(1, 2, 3).IsParallel({-2, -4, -6}, 1e-4f));
    EXPECT_TRUE(Vector3f(1, 2, 3).IsColinear({-2, -4, -6}, 1e-4f));

    Vector3f v = Vector3f::kYaxis;
    v.RotateBy(Vector3f::kAxisZ, kHalfPi);  // x' = c x + s y
    ExpectNear(v, {1, 0, 0});
    v.RotateBy(Vector3f::kAxisY, kHalfPi);  // z' = c z + s x
    ExpectNear(v, {0, 0, 1});
    Vector3f w(1, 2, 3);
    w.RotateBy(0.3f, -1.2f, 2.0f, Vector3f::kRotZYX);
    EXPECT_NEAR(w.Length(), Vector3f(1, 2, 3).Length(), 1e-4f);
    const Vector3f before = w;
    w.RotateBy(1, 1, 1, static_cast<Vector3f::RotOrder>(6));
    EXPECT_EQ(w, before);

    Vector3f q(1, 0, 0);  // a half turn about z
    q.RotateBy(Quaternion4f{0, 0, 1, 0});
    ExpectNear(q, {-1, 0, 0});

    Matrix44f m{};
    m.m[0][1] = 1;  // x -> y
    m.m[1][0] = 1;  // y -> x
    m.m[2][2] = 2;
    m.m[3][0] = 10;
    Vector3f p(1, 2, 3);
    p *= m;
    EXPECT_EQ(p, Vector3f(12, 1, 6));

    Matrix33f r;
    mzxBuildRotationMatrix(r, 0, 0, 90);
    ExpectNear(r.row[0], {0, 1, 0});
    ExpectNear(r.row[1], {-1, 0, 0});
    ExpectNear(r.row[2], {0, 0, 1});
    mzxBuildRotationMatrix(r, Vector3f(20, 35, -70));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.row[i].Length(), 1, 1e-5f);
        EXPECT_NEAR(r.row[i].Dot(r.row[(i + 1) % 3]), 0, 1e-5f);
    }
}

TEST(Vector3f, LinesAndTriangles) {
    const Vector3f a(0, 0, 0), b(4, 0, 0), c(0, 4, 0);
    EXPECT_NEAR(Vector3f::DistanceFromLine({2, 3, 0}, a, b), 3, 1e-5f);
    EXPECT_NEAR(Vector3f::DistanceFromLine({7, 4, 0}, a, b), 5, 1e-5f);  // beyond the end
    EXPECT_TRUE(Vector3f::IsTriangle(a, b, c));
    EXPECT_FALSE(Vector3f::IsTriangle(a, b, {8, 0, 0}));

    float u = 0, v = 0;
    ASSERT_TRUE(Vector3f::BarycentricCoord({1, 2, 5}, a, b, c, u, v));
    EXPECT_NEAR(u, 0.25f, 1e-6f);
    EXPECT_NEAR(v, 0.5f, 1e-6f);
    ExpectNear(Vector3f::BarycentricPoint(a, b, c, u, v), {1, 2, 0});

    EXPECT_NEAR(Vector3f::DistanceFromTriangle({1, 1, -2}, a, b, c), 2, 1e-5f);   // above the inside
    EXPECT_NEAR(Vector3f::DistanceFromTriangle({-3, -4, 0}, a, b, c), 5, 1e-5f);  // nearest the corner
    EXPECT_NEAR(Vector3f::SquaredDistanceFromTriangle({1, 1, -2}, a, b, c), 4, 1e-4f);
    EXPECT_EQ(Vector3f::DistanceFromTriangle({1, 1, 1}, a, b, {8, 0, 0}), 1e9f);
}

TEST(Vector3f, RayAgainstEllipsoid) {
    float tNear = 0, tFar = 0;
    const Vector3f radii(2, 1, 2);
    EXPECT_TRUE(mzxRayVsEllipsoid({-10, 0, 0}, {1, 0, 0}, Vector3f::kZero, radii, tNear, tFar));
    EXPECT_NEAR(tNear, 8, 1e-4f);
    EXPECT_NEAR(tFar, 12, 1e-4f);
    EXPECT_TRUE(mzxRayVsEllipsoid({0, 0, 0}, {1, 0, 0}, Vector3f::kZero, radii, tNear, tFar));  // from inside
    EXPECT_NEAR(tNear, 2, 1e-4f);
    EXPECT_NEAR(tFar, 2, 1e-4f);
    EXPECT_FALSE(mzxRayVsEllipsoid({-10, 5, 0}, {1, 0, 0}, Vector3f::kZero, radii, tNear, tFar));  // misses
    EXPECT_EQ(std::bit_cast<uint32_t>(tNear), 0xE258D727u);
    EXPECT_EQ(tFar, 1e21f);
    EXPECT_FALSE(mzxRayVsEllipsoid({10, 0, 0}, {1, 0, 0}, Vector3f::kZero, radii, tNear, tFar));  // behind

    float t = 100;
    EXPECT_TRUE(mzxRayIntersectEllipsoid({-10, 0.5f, 0}, {1, 0, 0}, Vector3f::kZero, 2, 1, t));
    EXPECT_LT(t, 10);
    const float hit = t;
    EXPECT_FALSE(mzxRayIntersectEllipsoid({-10, 0.5f, 0}, {1, 0, 0}, Vector3f::kZero, 2, 1, t));  // not nearer
    EXPECT_EQ(t, hit);
    t = 100;
    EXPECT_FALSE(mzxRayIntersectEllipsoid({-10, -0.5f, 0}, {1, 0, 0}, Vector3f::kZero, 2, 1, t));  // below
    EXPECT_EQ(t, 100);
}
