// Interpolation kernels of the sampling primitives.
#include "imaging/kernels.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

float NormalisedSinc(float x) {
    if (x == 0.0f) return 1.0f;
    const double px = kPi * x;
    return static_cast<float>(std::sin(px) / px);
}

}  // namespace

float KernelBox(float x) { return x >= -0.5f && x < 0.5f ? 1.0f : 0.0f; }

float KernelLinear(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? 1.0f - a : 0.0f;
}

float KernelCubic(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) return a * a * a - 2.0f * a * a + 1.0f;
    if (a < 2.0f) return 4.0f - 8.0f * a + 5.0f * a * a - a * a * a;
    return 0.0f;
}

float KernelGeneralizedCubic(float x, float a) {
    const float d = std::fabs(x);
    if (d < 1.0f) return (a + 2.0f) * d * d * d - (a + 3.0f) * d * d + 1.0f;
    if (d < 2.0f) return a * d * d * d - 5.0f * a * d * d + 8.0f * a * d - 4.0f * a;
    return 0.0f;
}

float KernelLanczosSinc(float x, float radius) {
    if (x == 0.0f) return 1.0f;
    if (std::fabs(x) > radius) return 0.0f;
    return NormalisedSinc(x) * NormalisedSinc(x / radius);
}

float KernelBSpline(float x) {
    if (x > 2.0f) return 0.0f;
    const auto cubePlus = [](float t) { return t > 0.0f ? t * t * t : 0.0f; };
    return (cubePlus(x + 2.0f) - 4.0f * cubePlus(x + 1.0f) + 6.0f * cubePlus(x) -
            4.0f * cubePlus(x - 1.0f)) /
           6.0f;
}

float KernelHermite(float x) {
    const float a = std::fabs(x);
    return a <= 1.0f ? 2.0f * a * a * a - 3.0f * a * a + 1.0f : 0.0f;
}

float KernelHamming(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? 1.0f + 0.92f * x * x * (2.0f * a - 3.0f) : 0.0f;
}

float KernelHanning(float x) {
    if (std::fabs(x) > 1.0f) return 0.0f;
    return static_cast<float>(0.5 + 0.5 * std::cos(kPi * x)) * NormalisedSinc(x);
}

float KernelSinc(float x) { return NormalisedSinc(x); }

float KernelBlackman(float x) {
    return static_cast<float>(0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2.0 * kPi * x));
}

float KernelBessel(float x) {
    if (x == 0.0f) return static_cast<float>(kPi / 4.0);
    return static_cast<float>(KernelBessel_Order1(kPi * x) / (2.0 * x));
}

float KernelGaussian(float x) { return std::exp(-2.0f * x * x) * 0.7978846f; }

float KernelQuadratic(float x) {
    const float a = std::fabs(x);
    if (a < 0.5f) return 0.75f - x * x;
    if (a < 1.5f) return 0.5f * (a - 1.5f) * (a - 1.5f);
    return 0.0f;
}

float KernelMitchell(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) return (7.0f / 6.0f) * a * a * a - 2.0f * a * a + 8.0f / 9.0f;
    if (a < 2.0f) {
        return -(7.0f / 18.0f) * a * a * a + 2.0f * a * a - (10.0f / 3.0f) * a + 16.0f / 9.0f;
    }
    return 0.0f;
}

float KernelCatrom(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) return (3.0f * a * a * a - 5.0f * a * a + 2.0f) / 2.0f;
    if (a < 2.0f) return (-a * a * a + 5.0f * a * a - 8.0f * a + 4.0f) / 2.0f;
    return 0.0f;
}

float KernelPower(float x, float a) {
    const float d = std::fabs(x);
    return d <= 1.0f ? 1.0f - std::pow(d, a) : 0.0f;
}

// Power series sum (-1)^k (x/2)^(2k+1) / (k! (k+1)!); below |x| = 12 its cancellation
// costs less than the asymptotic expansion's truncation.
double KernelBessel_J1(double x) {
    const double half = x / 2.0;
    const double q = half * half;
    double term = half;
    double sum = half;
    for (int k = 1; k < 60; ++k) {
        term *= -q / (static_cast<double>(k) * (k + 1));
        sum += term;
        if (std::fabs(term) < 1e-17 * std::fabs(sum)) break;
    }
    return sum;
}

namespace {

// Terms a_k = prod_{m<=k} (4 - (2m-1)^2) / (k! (8x)^k) of the Hankel expansions of
// order 1; P takes the even k with alternating signs, Q the odd ones.
double HankelSeries(double x, bool odd) {
    const double z = 8.0 * x;
    double term = 1.0;  // a_0
    double sum = odd ? 0.0 : 1.0;
    double previous = 1.0;
    for (int k = 1; k < 30; ++k) {
        const double m = 2.0 * k - 1.0;
        term *= (4.0 - m * m) / (k * z);
        if (std::fabs(term) > previous) break;  // the asymptotic series starts to diverge
        previous = std::fabs(term);
        const bool isOdd = (k % 2) == 1;
        if (isOdd != odd) continue;
        // Signs of the expansion: P = a0 - a2 + a4 ..., Q = a1 - a3 + a5 ...
        const int index = odd ? (k - 1) / 2 : k / 2;
        sum += (index % 2 ? -1.0 : 1.0) * term;
    }
    return sum;
}

}  // namespace

double KernelBessel_P1(double x) { return HankelSeries(std::fabs(x), false); }

double KernelBessel_Q1(double x) { return HankelSeries(std::fabs(x), true); }

double KernelBessel_Order1(double x) {
    const double a = std::fabs(x);
    if (a < 12.0) return KernelBessel_J1(x);
    const double chi = a - 0.75 * kPi;
    const double j1 =
        std::sqrt(2.0 / (kPi * a)) * (KernelBessel_P1(a) * std::cos(chi) - KernelBessel_Q1(a) * std::sin(chi));
    return x < 0.0 ? -j1 : j1;
}
