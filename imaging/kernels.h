// Interpolation kernels: the weight of a source pixel at distance x (in source pixels)
// from the sampling position. Outside its support a kernel weighs 0.
#pragma once

float KernelBox(float x);
float KernelLinear(float x);
float KernelCubic(float x);
float KernelGeneralizedCubic(float x, float a);
float KernelLanczosSinc(float x, float radius);
float KernelBSpline(float x);
float KernelHermite(float x);
float KernelHanning(float x);
float KernelHamming(float x);
float KernelSinc(float x);
float KernelBlackman(float x);
float KernelBessel(float x);
float KernelGaussian(float x);
float KernelQuadratic(float x);
float KernelMitchell(float x);
float KernelCatrom(float x);
float KernelPower(float x, float a);

// First-order Bessel function J1 and the pieces it is assembled from: a power series
// for small arguments and the Hankel asymptotic factors for large ones.
double KernelBessel_J1(double x);
double KernelBessel_P1(double x);
double KernelBessel_Q1(double x);
double KernelBessel_Order1(double x);
