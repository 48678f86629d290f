#include "foundation/Trigonometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Vorn::Math;

TEST(Trigonometry, SineTable) {
    EXPECT_EQ(Float_SinTable[0], 0.0f);
    EXPECT_FLOAT_EQ(Float_SinTable[300], 0.5f);
    EXPECT_FLOAT_EQ(Float_SinTable[900], 1.0f);
    EXPECT_FLOAT_EQ(Float_SinTable[2700], -1.0f);
    EXPECT_FLOAT_EQ(Float_SinTable[3658], kHalfPi);
    EXPECT_FLOAT_EQ(Float_SinTable[3659], -kHalfPi);

    struct Case {
        float deg, sin, cos;
    };
    const Case cases[] = {
        {-0.05f, 0.0f, 1.0f},  // truncation toward zero: index 0
        {30.0f, 0.5f, 0.8660254f},     {90.0f, 1.0f, 0.0f},        {-90.0f, -1.0f, 0.0f},
        {360.0f, 0.0f, 1.0f},          {-330.0f, 0.5f, 0.8660254f}, {725.0f, 0.0871557f, 0.9961947f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deg);
        EXPECT_NEAR(mzxFastSin(c.deg), c.sin, 1e-6f);
        EXPECT_NEAR(mzxFastCos(c.deg), c.cos, 1e-6f);
    }
    EXPECT_EQ(mzxFastSin(360.0f), mzxFastSin(0.0f));
    EXPECT_NEAR(mzxFastTan(45.0f), 1.0f, 1e-6f);
    EXPECT_TRUE(std::isnan(mzxFastSin(INFINITY)));
}

TEST(Trigonometry, PolynomialsFollowTheLibrary) {
    for (float x = -3.1f; x <= 3.1f; x += 0.1f) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(Sinef(x), std::sin(x), 2e-6f);
        EXPECT_NEAR(Cosinef(x), std::cos(x), 2e-6f);
        EXPECT_NEAR(Sinef0(x), std::sin(x), 2e-3f);
        EXPECT_NEAR(Cosinef0(x), std::cos(x), 3e-3f);
        if (std::fabs(std::cos(x)) > 0.05f) {
            EXPECT_NEAR(ITangentf(x), std::tan(x), 2e-5f * (1 + std::tan(x) * std::tan(x)));
            EXPECT_NEAR(ITangentf0(x), std::tan(x), 5e-3f * (1 + std::tan(x) * std::tan(x)));
        }
    }
    for (float x = -1.0f; x <= 1.0f; x += 0.125f) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(ArcSinef(x), std::asin(x), 1e-4f);
        EXPECT_NEAR(ArcCosinef(x), std::acos(x), 1e-4f);
    }
    EXPECT_NEAR(ArcSinef(2.0f), kHalfPi, 1e-4f);  // clamped
    EXPECT_EQ(ITangentf(kHalfPi), 1e9f);
    EXPECT_EQ(ITangentf(-kHalfPi), -1e9f);
    // Folding far out stays finite and periodic.
    EXPECT_NEAR(ITangentf(1000.0f), std::tan(1000.0f), 1e-2f);
    EXPECT_TRUE(std::isfinite(ITangentf(1e30f)));
}

TEST(Trigonometry, ArcTangentIgnoresTheQuadrantOfX) {
    EXPECT_EQ(ArcTangent2f(0.0f, -1.0f), 0.0f);
    EXPECT_EQ(ArcTangent2f(2.0f, 0.0f), kHalfPi);
    EXPECT_EQ(ArcTangent2f(-2.0f, 0.0f), -kHalfPi);
    EXPECT_NEAR(ArcTangent2f(1.0f, 2.0f), std::atan(0.5f), 1e-4f);
    EXPECT_NEAR(ArcTangent2f(3.0f, 1.0f), std::atan(3.0f), 1e-4f);
    EXPECT_NEAR(ArcTangent2f(-1.0f, -1.0f), kPi / 4, 1e-4f);
    EXPECT_NEAR(ArcTangent2f(3.0f, -1.0f), -std::atan(3.0f), 1e-4f);
}

TEST(Trigonometry, AnglesWrapIntoHalfOpenRange) {
    const std::pair<float, float> degrees[] = {
        {180, 180}, {-180, 180}, {540, 180}, {-190, 170}, {190, -170}, {0, 0}, {720.5f, 0.5f},
    };
    for (const auto& [in, out] : degrees) EXPECT_NEAR(PutAngleInRangeDeg(in), out, 1e-4f) << in;
    EXPECT_NEAR(PutAngleInRangeRad(-kPi), kPi, 1e-6f);
    EXPECT_NEAR(PutAngleInRangeRad(3 * kPi / 2), -kPi / 2, 1e-6f);
}

TEST(Trigonometry, SmoothingAndEasing) {
    EXPECT_NEAR(SmoothFilter(0.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(SmoothFilter(0.5f), 0.5f, 1e-3f);
    EXPECT_LT(SmoothFilter(0.25f), SmoothFilter(0.5f));

    float value = 10, velocity = 3;
    EaseInOut(0.0f, 1.0f, 0.0f, value, velocity);  // no time: nothing
    EXPECT_EQ(value, 10);
    EXPECT_EQ(velocity, 3);
    EaseInOut(0.1f, 0.0f, 4.0f, value, velocity);  // no smoothing: there at once
    EXPECT_EQ(value, 4);
    EXPECT_EQ(velocity, 0);
    value = 10;
    for (int step = 0; step < 200; ++step) {
        const float before = value;
        EaseInOut(0.05f, 0.5f, 0.0f, value, velocity);
        EXPECT_LE(value, before);
        EXPECT_GE(value, 0.0f);
    }
    EXPECT_NEAR(value, 0.0f, 1e-3f);
}
