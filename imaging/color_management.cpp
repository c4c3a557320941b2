// Colour management: sRGB (D65) to CIE L*a*b* and back, grey being L*.
#include "imaging/color_management.h"

#include <cmath>

namespace {

using Triple = CColorManagment::Triple;
using Matrix = CColorManagment::Matrix;

constexpr Matrix kRgbToXyz{{{0.4124564, 0.3575761, 0.1804375},
                            {0.2126729, 0.7151522, 0.0721750},
                            {0.0193339, 0.1191920, 0.9503041}}};
constexpr Matrix kXyzToRgb{{{3.2404542, -1.5371385, -0.4985314},
                            {-0.9692660, 1.8760108, 0.0415560},
                            {0.0556434, -0.2040259, 1.0572252}}};
// No adaptation matrix is installed: the reference white is taken as it comes.
constexpr Matrix kAdaptation{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

constexpr double kXn = 1.0985;
constexpr double kYn = 1.0;
constexpr double kZn = 0.35585;
constexpr double kEpsilon = 0.008856451679035631;  // (6/29)^3
constexpr double kKappa = 903.2962962962963;       // (29/3)^3

}  // namespace

void CColorManagment::SetRGB(uint8_t r, uint8_t g, uint8_t b) {
    const Triple c{r / 255.0, g / 255.0, b / 255.0};
    m_pColor = std::make_unique<Triple>(c);
    m_pWork = std::make_unique<Triple>(c);
}

uint8_t CColorManagment::RGBToGray(uint8_t r, uint8_t g, uint8_t b) {
    SetRGB(r, g, b);
    uint8_t grey = 0;
    RGBToGray(grey);
    return grey;
}

void CColorManagment::RGBToGray(uint8_t& grey) {
    if (!m_pColor || !m_pWork) {
        grey = 0;
        return;
    }
    Triple& c = *m_pColor;
    if (c[0] == 0.0 && c[1] == 0.0 && c[2] == 0.0) {
        grey = 0;
        return;
    }
    if (c[0] == 1.0 && c[1] == 1.0 && c[2] == 1.0) {
        grey = 255;
        return;
    }
    RGBToXYZ(c, *m_pWork);
    if (m_bAdapt) {
        ChromaticAdaption(*m_pWork);
        m_nLastPath = 1;
    } else {
        m_nLastPath = 2;
    }
    XYZToLab(*m_pWork, c);
    const double v = std::trunc(c[0] / 100.0 * 255.0 + 0.5);
    grey = static_cast<uint8_t>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v));
}

double CColorManagment::ToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double CColorManagment::ToNonLinear(double v) {
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

CColorManagment::Triple CColorManagment::MultiplyMatrix(const Matrix& m, const Triple& v) {
    Triple r{};
    for (int row = 0; row < 3; ++row) {
        r[row] = m[row][0] * v[0] + m[row][1] * v[1] + m[row][2] * v[2];
    }
    return r;
}

void CColorManagment::RGBToXYZ(Triple& rgb, Triple& xyz) {
    for (double& c : rgb) c = ToLinear(c);
    xyz = MultiplyMatrix(kRgbToXyz, rgb);
}

void CColorManagment::XYZToRGB(const Triple& xyz, Triple& rgb) { rgb = MultiplyMatrix(kXyzToRgb, xyz); }

void CColorManagment::ChromaticAdaption(Triple& xyz) { xyz = MultiplyMatrix(kAdaptation, xyz); }

double CColorManagment::Fn_XYZToLab(double t) {
    return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

void CColorManagment::XYZToLab(const Triple& xyz, Triple& lab) {
    const double fx = Fn_XYZToLab(xyz[0] / kXn);
    const double fy = Fn_XYZToLab(xyz[1] / kYn);
    const double fz = Fn_XYZToLab(xyz[2] / kZn);
    lab = {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double CColorManagment::Fx_LabToXYZ(double a, double L) { return a / 500.0 + (L + 16.0) / 116.0; }

double CColorManagment::Fy_LabToXYZ(double L) { return (L + 16.0) / 116.0; }

double CColorManagment::Fz_LabToXYZ(double b, double L) { return (L + 16.0) / 116.0 - b / 200.0; }

void CColorManagment::LabToXYZ(const Triple& lab, Triple& xyz) {
    const double fy = Fy_LabToXYZ(lab[0]);
    const double fx = Fx_LabToXYZ(lab[1], lab[0]);
    const double fz = Fz_LabToXYZ(lab[2], lab[0]);
    const double x3 = Pow3(fx), z3 = Pow3(fz);
    xyz[0] = kXn * (x3 > kEpsilon ? x3 : (116.0 * fx - 16.0) / kKappa);
    xyz[1] = kYn * (lab[0] > 8.0 ? Pow3(fy) : lab[0] / kKappa);  // 8 = kappa * epsilon
    xyz[2] = kZn * (z3 > kEpsilon ? z3 : (116.0 * fz - 16.0) / kKappa);
}

void CColorManagment::LabToGray(const Triple& lab, double& grey) { grey = lab[0] / 100.0; }

void CColorManagment::GrayToLab(double grey, Triple& lab) { lab = {100.0 * grey, 0.0, 0.0}; }

void CColorManagment::GrayToRGB(double grey, Triple& rgb) {
    Triple lab, xyz;
    GrayToLab(grey, lab);
    LabToXYZ(lab, xyz);
    if (m_bAdapt) {
        ChromaticAdaption(xyz);
        m_nLastPath = 1;
    } else {
        m_nLastPath = 2;
    }
    XYZToRGB(xyz, rgb);
}
