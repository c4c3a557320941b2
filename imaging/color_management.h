// CColorManagment: perceptual grey through the CIE colour spaces (sRGB, linear RGB,
// XYZ, L*a*b*), taking L* as the grey level, and back from grey.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

class CColorManagment {
public:
    using Triple = std::array<double, 3>;
    using Matrix = std::array<Triple, 3>;

    CColorManagment() = default;
    ~CColorManagment() = default;

    // Loads the working colour as r / 255, g / 255, b / 255 (both working triples).
    void SetRGB(uint8_t r, uint8_t g, uint8_t b);
    uint8_t RGBToGray(uint8_t r, uint8_t g, uint8_t b);
    // Grey of the working colour: 0 black, 255 white (0 before any SetRGB).
    void RGBToGray(uint8_t& grey);

    static double ToLinear(double v);
    static double ToNonLinear(double v);
    // Decodes rgb in place, then xyz = sRGB-to-XYZ matrix x rgb.
    static void RGBToXYZ(Triple& rgb, Triple& xyz);
    // Linear rgb from xyz (not re-encoded, not clamped).
    static void XYZToRGB(const Triple& xyz, Triple& rgb);
    static void ChromaticAdaption(Triple& xyz);
    static Triple MultiplyMatrix(const Matrix& m, const Triple& v);
    static double Fn_XYZToLab(double t);
    static void XYZToLab(const Triple& xyz, Triple& lab);
    static double Fx_LabToXYZ(double a, double L);
    static double Fy_LabToXYZ(double L);
    static double Fz_LabToXYZ(double b, double L);
    static double Pow3(double x) { return x * x * x; }
    static void LabToXYZ(const Triple& lab, Triple& xyz);
    static void LabToGray(const Triple& lab, double& grey);
    static void GrayToLab(double grey, Triple& lab);
    // Linear rgb of a grey level in 0..1; records which path was taken.
    void GrayToRGB(double grey, Triple& rgb);

    // Asks for chromatic adaptation between XYZ and Lab (the matrix installed is the
    // identity, so results stay the same; only the recorded path changes).
    void EnableAdaptation(bool enable) { m_bAdapt = enable ? 1 : 0; }
    int32_t LastPath() const { return m_nLastPath; }

private:
    std::unique_ptr<Triple> m_pColor;  // the working colour, later intermediate results
    std::unique_ptr<Triple> m_pWork;   // a copy of the colour, then XYZ
    int32_t m_bAdapt = 0;              // chromatic adaptation between XYZ and Lab
    int32_t m_nLastPath = 0;           // 1 with adaptation, 2 without
};
