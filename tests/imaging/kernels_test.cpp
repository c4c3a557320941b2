// Interpolation kernels at characteristic points, and the Bessel pieces against the
// standard library's cylindrical Bessel function.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/kernels.h"

namespace {
constexpr float kPi = 3.14159265358979f;
}

TEST(Kernels, BoxAndLinear) {
    EXPECT_EQ(KernelBox(-0.5f), 1.0f);
    EXPECT_EQ(KernelBox(0.49f), 1.0f);
    EXPECT_EQ(KernelBox(0.5f), 0.0f);
    EXPECT_FLOAT_EQ(KernelLinear(0.25f), 0.75f);
    EXPECT_EQ(KernelLinear(-1.0f), 0.0f);
}

TEST(Kernels, CubicFamily) {
    EXPECT_FLOAT_EQ(KernelCubic(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(KernelCubic(1.0f), 0.0f);
    EXPECT_FLOAT_EQ(KernelCubic(-1.5f), -0.125f);
    EXPECT_EQ(KernelCubic(2.0f), 0.0f);
    EXPECT_FLOAT_EQ(KernelGeneralizedCubic(1.5f, -0.5f), -0.0625f);
    EXPECT_FLOAT_EQ(KernelGeneralizedCubic(0.5f, -0.5f), 0.5625f);
    EXPECT_FLOAT_EQ(KernelCatrom(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(KernelCatrom(0.5f), KernelGeneralizedCubic(0.5f, -0.5f));
    EXPECT_FLOAT_EQ(KernelMitchell(0.0f), 8.0f / 9.0f);
    EXPECT_NEAR(KernelMitchell(1.0f), 1.0f / 18.0f, 1e-6);
    EXPECT_FLOAT_EQ(KernelHermite(0.5f), 0.5f);
    EXPECT_EQ(KernelHermite(1.01f), 0.0f);
}

TEST(Kernels, InterpolatingKernelsSumToOne) {
    for (float f : {0.0f, 0.25f, 0.5f, 0.9f}) {
        float catrom = 0, bspline = 0, mitchell = 0;
        for (int k = -2; k <= 2; ++k) {
            catrom += KernelCatrom(k + f);
            bspline += KernelBSpline(k + f);
            mitchell += KernelMitchell(k + f);
        }
        EXPECT_NEAR(catrom, 1.0f, 1e-5) << f;
        EXPECT_NEAR(bspline, 1.0f, 1e-5) << f;
        EXPECT_NEAR(mitchell, 1.0f, 1e-5) << f;
    }
}

TEST(Kernels, BSplineIsSymmetricWithSupportTwo) {
    EXPECT_FLOAT_EQ(KernelBSpline(0.0f), 4.0f / 6.0f);
    EXPECT_FLOAT_EQ(KernelBSpline(1.0f), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(KernelBSpline(-1.0f), 1.0f / 6.0f);
    EXPECT_EQ(KernelBSpline(2.5f), 0.0f);
    EXPECT_EQ(KernelBSpline(-2.5f), 0.0f);
}

TEST(Kernels, WindowedAndSincKernels) {
    EXPECT_EQ(KernelSinc(0.0f), 1.0f);
    EXPECT_NEAR(KernelSinc(1.0f), 0.0f, 1e-6);
    EXPECT_NEAR(KernelSinc(0.5f), 2.0f / kPi, 1e-6);
    EXPECT_EQ(KernelLanczosSinc(0.0f, 6.0f), 1.0f);
    EXPECT_EQ(KernelLanczosSinc(6.5f, 6.0f), 0.0f);
    EXPECT_NEAR(KernelLanczosSinc(3.0f, 6.0f), 0.0f, 1e-6);
    EXPECT_EQ(KernelHanning(0.0f), 1.0f);
    EXPECT_EQ(KernelHanning(1.5f), 0.0f);
    EXPECT_FLOAT_EQ(KernelHamming(0.5f), 0.54f);
    EXPECT_FLOAT_EQ(KernelBlackman(0.0f), 1.0f);
    EXPECT_NEAR(KernelBlackman(1.0f), 0.0f, 1e-6);
}

TEST(Kernels, GaussianQuadraticAndPower) {
    EXPECT_FLOAT_EQ(KernelGaussian(0.0f), 0.7978846f);
    EXPECT_FLOAT_EQ(KernelGaussian(1.0f), 0.7978846f * std::exp(-2.0f));
    EXPECT_FLOAT_EQ(KernelQuadratic(0.0f), 0.75f);
    EXPECT_FLOAT_EQ(KernelQuadratic(1.0f), 0.125f);
    EXPECT_EQ(KernelQuadratic(1.5f), 0.0f);
    EXPECT_FLOAT_EQ(KernelPower(0.5f, 2.0f), 0.75f);
    EXPECT_FLOAT_EQ(KernelPower(-0.5f, 2.0f), 0.75f);
    EXPECT_EQ(KernelPower(1.5f, 2.0f), 0.0f);
}

TEST(Kernels, BesselKernelIsJ1OfPiXOverTwoX) {
    EXPECT_FLOAT_EQ(KernelBessel(0.0f), kPi / 4.0f);
    for (float x : {0.1f, 0.5f, 1.3f, 3.7f, 9.0f, -2.2f}) {
        const double want = std::cyl_bessel_j(1.0, std::fabs(kPi * x)) * (x < 0 ? -1 : 1) / (2.0 * x);
        EXPECT_NEAR(KernelBessel(x), want, 1e-6) << x;
    }
}

TEST(Kernels, BesselOrderOneMatchesTheStandardLibrary) {
    for (double x = -40.0; x <= 40.0; x += 0.37) {
        const double want = std::cyl_bessel_j(1.0, std::fabs(x)) * (x < 0 ? -1.0 : 1.0);
        EXPECT_NEAR(KernelBessel_Order1(x), want, 1e-9) << x;
    }
    EXPECT_NEAR(KernelBessel_J1(2.0), std::cyl_bessel_j(1.0, 2.0), 1e-12);
    EXPECT_NEAR(KernelBessel_P1(100.0), 1.0, 1e-4);
    EXPECT_NEAR(KernelBessel_Q1(100.0), 3.0 / 800.0, 1e-6);
}
