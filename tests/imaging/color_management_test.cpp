// CColorManagment: grey through CIE L*, and the conversions it is made of.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/color_management.h"

using Triple = CColorManagment::Triple;

TEST(ColorManagement, BlackAndWhiteAreTheEnds) {
    CColorManagment cm;
    EXPECT_EQ(cm.RGBToGray(0, 0, 0), 0);
    EXPECT_EQ(cm.RGBToGray(255, 255, 255), 255);
}

TEST(ColorManagement, MidGreyIsItsLightness) {
    CColorManagment cm;
    const double y = CColorManagment::ToLinear(128.0 / 255.0);
    const double lightness = 116.0 * std::cbrt(y) - 16.0;
    EXPECT_EQ(cm.RGBToGray(128, 128, 128), static_cast<int>(lightness / 100.0 * 255.0 + 0.5));
    EXPECT_EQ(cm.RGBToGray(128, 128, 128), 137);
}

TEST(ColorManagement, PureRedTakesItsLuminance) {
    CColorManagment cm;
    EXPECT_EQ(cm.RGBToGray(255, 0, 0), 136);
    EXPECT_EQ(cm.LastPath(), 2);
}

TEST(ColorManagement, GreyBeforeAnyColourIsZero) {
    CColorManagment cm;
    uint8_t grey = 99;
    cm.RGBToGray(grey);
    EXPECT_EQ(grey, 0);
}

TEST(ColorManagement, AdaptationOnlyChangesTheRecordedPath) {
    CColorManagment cm;
    cm.EnableAdaptation(true);
    EXPECT_EQ(cm.RGBToGray(255, 0, 0), 136);
    EXPECT_EQ(cm.LastPath(), 1);
    Triple rgb;
    cm.GrayToRGB(0.5, rgb);
    EXPECT_EQ(cm.LastPath(), 1);
}

TEST(ColorManagement, SrgbEncodingRoundTrips) {
    for (int i = 0; i <= 1000; ++i) {
        const double v = i / 1000.0;
        EXPECT_NEAR(CColorManagment::ToNonLinear(CColorManagment::ToLinear(v)), v, 1e-12) << v;
    }
    EXPECT_DOUBLE_EQ(CColorManagment::ToLinear(0.04045), 0.04045 / 12.92);
}

TEST(ColorManagement, LabRoundTripsThroughXyz) {
    for (const Triple& xyz : {Triple{0.4, 0.3, 0.2}, Triple{0.95, 1.0, 1.09}, Triple{0.001, 0.002, 0.0005},
                              Triple{0.2, 0.7, 0.05}}) {
        Triple lab, back;
        CColorManagment::XYZToLab(xyz, lab);
        CColorManagment::LabToXYZ(lab, back);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], xyz[k], 1e-9) << k;
    }
}

TEST(ColorManagement, RgbToXyzUsesTheD65Matrix) {
    Triple rgb{1.0, 0.0, 0.0}, xyz;
    CColorManagment::RGBToXYZ(rgb, xyz);
    EXPECT_DOUBLE_EQ(xyz[1], 0.2126729);
    Triple back;
    CColorManagment::XYZToRGB(xyz, back);
    EXPECT_NEAR(back[0], 1.0, 1e-6);
    EXPECT_NEAR(back[1], 0.0, 1e-6);
}

TEST(ColorManagement, GreyToRgbGivesANeutralColourOfThatLightness) {
    CColorManagment cm;
    Triple rgb;
    cm.GrayToRGB(0.5, rgb);
    EXPECT_EQ(cm.LastPath(), 2);
    // L* = 50 is Y = 0.1842; the reference white's odd X and Z tint the result, so
    // only the luminance is checked.
    Triple xyz;
    Triple linear = rgb;
    for (double& c : linear) c = CColorManagment::ToNonLinear(c);
    CColorManagment::RGBToXYZ(linear, xyz);
    EXPECT_NEAR(xyz[1], CColorManagment::Pow3((50.0 + 16.0) / 116.0), 1e-6);
}

TEST(ColorManagement, HelperFormulas) {
    EXPECT_DOUBLE_EQ(CColorManagment::Pow3(2.0), 8.0);
    EXPECT_DOUBLE_EQ(CColorManagment::Fy_LabToXYZ(100.0), 1.0);
    EXPECT_DOUBLE_EQ(CColorManagment::Fx_LabToXYZ(500.0, 100.0), 2.0);
    EXPECT_DOUBLE_EQ(CColorManagment::Fz_LabToXYZ(200.0, 100.0), 0.0);
    EXPECT_DOUBLE_EQ(CColorManagment::Fn_XYZToLab(0.0), 16.0 / 116.0);
    EXPECT_DOUBLE_EQ(CColorManagment::Fn_XYZToLab(0.125), 0.5);
    double grey = 0;
    CColorManagment::LabToGray({40.0, 3.0, 4.0}, grey);
    EXPECT_DOUBLE_EQ(grey, 0.4);
    Triple lab;
    CColorManagment::GrayToLab(0.25, lab);
    EXPECT_DOUBLE_EQ(lab[0], 25.0);
}
