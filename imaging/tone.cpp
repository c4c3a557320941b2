// Tone tables of CBmpProcessing: the levels curves per channel slot and the
// brightness/contrast table, both precomputed so that pixels cost one lookup each.
#include <array>
#include <cmath>
#include <cstring>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/tone_mapper.h"
#include "imaging/variant_rules.h"

using namespace mx_imaging;

namespace {

constexpr COLORLEVELSITEM kNeutralLevels{1.0f, 0, 255, 0, 255};
constexpr int kAllChannels = 3;  // slot 3 stands for the three colour slots

bool SlotOk(int32_t slot) { return slot >= 0 && slot <= kAllChannels; }

// One entry of a levels curve: stretch the input range to 0..1, apply the gamma, then
// squeeze into the output range.
uint8_t LevelsEntry(int v, const COLORLEVELSITEM& item) {
    const int inBlack = item.byInBlack;
    const int inWhite = item.byInWhite;
    double base = 0.0;
    if (v > inBlack) {
        // Equal input points degenerate into a step at the black point.
        const double scaled =
            inWhite == inBlack ? 255.0
                               : std::trunc((v - inBlack) * (255.0 / (inWhite - inBlack)) + 0.5);
        base = std::fmin(std::fmax(scaled, 0.0), 255.0) / 255.0;
    }
    const uint8_t y = ClampToByte(std::pow(base, static_cast<double>(item.fGamma)) * 255.0 + 0.5);
    const double span = (item.byOutWhite - item.byOutBlack) / 255.0;
    return ClampToByte(y * span + item.byOutBlack + 0.5);
}

}  // namespace

CBmpProcessing::CBmpProcessing(BmpVariant variant)
    : m_SrcHeader{}, m_SrcStride(0), m_SrcBits(nullptr), m_Variant(variant) {
    for (int slot = 0; slot < 4; ++slot) {
        m_LevelsItem[slot] = kNeutralLevels;
        m_LevelsReady[slot] = 0;
        for (int i = 0; i < 256; ++i) m_LevelsTable[slot][i] = static_cast<uint8_t>(i);
    }
    // Callers set the light table before using it; identity keeps it defined anyway.
    for (int i = 0; i < 256; ++i) m_LightTable[i] = static_cast<uint16_t>(i);
}

void CBmpProcessing::ComputeLevelsTable(int slot, const COLORLEVELSITEM& item) {
    for (int v = 0; v < 256; ++v) m_LevelsTable[slot][v] = LevelsEntry(v, item);
    m_LevelsReady[slot] = 1;
}

void CBmpProcessing::ResetSlot(int slot, bool clearReady) {
    if (clearReady) m_LevelsReady[slot] = 0;
    if (!m_LevelsReady[slot]) {
        for (int i = 0; i < 256; ++i) m_LevelsTable[slot][i] = static_cast<uint8_t>(i);
    }
}

void CBmpProcessing::InitColorLevelsData(int32_t nSlot) {
    if (!SlotOk(nSlot)) return;
    const bool clearReady = RulesFor(m_Variant).recomputeLevels;
    m_LevelsItem[nSlot] = kNeutralLevels;
    if (nSlot == kAllChannels) {
        for (int slot = 0; slot < kAllChannels; ++slot) ResetSlot(slot, clearReady);
    } else {
        ResetSlot(nSlot, clearReady);
    }
}

void CBmpProcessing::InitColorLevelsTable(int32_t nSlot) {
    if (!SlotOk(nSlot)) return;
    if (nSlot == kAllChannels) {
        for (int slot = 0; slot < kAllChannels; ++slot) ComputeLevelsTable(slot, m_LevelsItem[nSlot]);
    } else {
        ComputeLevelsTable(nSlot, m_LevelsItem[nSlot]);
    }
}

void CBmpProcessing::SetColorLevelsData(const COLORLEVELSITEM* pItem, int32_t nSlot) {
    if (!pItem || !SlotOk(nSlot)) return;
    InitColorLevelsData(nSlot);
    m_LevelsItem[nSlot] = *pItem;
    if (RulesFor(m_Variant).recomputeLevels) {
        InitColorLevelsTable(nSlot);
        return;
    }
    // A table is computed at most once per object; later items are only stored.
    if (nSlot == kAllChannels) {
        for (int slot = 0; slot < kAllChannels; ++slot) {
            if (!m_LevelsReady[slot]) ComputeLevelsTable(slot, *pItem);
        }
    } else if (!m_LevelsReady[nSlot]) {
        ComputeLevelsTable(nSlot, *pItem);
    }
}

int32_t CBmpProcessing::GetColorLevelsData(tagRGBQUAD color, tagRGBQUAD* pResult) const {
    if (!pResult) return 0;
    *pResult = color;
    if (RulesFor(m_Variant).perChannelLevels) {
        if (!m_LevelsReady[0] || !m_LevelsReady[1]) return 0;
        pResult->rgbRed = m_LevelsTable[0][color.rgbRed];
        pResult->rgbGreen = m_LevelsTable[1][color.rgbGreen];
        pResult->rgbBlue = m_LevelsTable[2][color.rgbBlue];
        return 1;
    }
    pResult->rgbRed = m_LevelsTable[0][color.rgbRed];
    pResult->rgbGreen = m_LevelsTable[0][color.rgbGreen];
    pResult->rgbBlue = m_LevelsTable[0][color.rgbBlue];
    if (pResult->rgbRed >= 250 && pResult->rgbGreen >= 250 && pResult->rgbBlue >= 250) {
        pResult->rgbRed = pResult->rgbGreen = pResult->rgbBlue = 255;
    }
    return 1;
}

void CBmpProcessing::SetLightTable(int32_t nBrightness, int32_t nContrast) {
    // Contrast c scales the distance from mid grey by (c + 100) / 100; brightness shifts.
    const float slope = (static_cast<float>(nContrast) + 100.0f) / 100.0f;
    const float offset = static_cast<float>(nBrightness) + 128.0f;
    for (int k = 0; k < 256; ++k) {
        m_LightTable[k] = ClampToByte(static_cast<float>(k - 128) * slope + offset + 0.5f);
    }
}

int32_t CBmpProcessing::Light(uint8_t& red, uint8_t& green, uint8_t& blue, int32_t,
                              int32_t) const {
    ApplyLightTable(m_LightTable, RulesFor(m_Variant).lightWhitensNearWhite, red, green, blue);
    return 1;
}

namespace {

// Contrast pivoting on `reference` plus a brightness offset, for every input byte.
std::array<uint8_t, 256> PivotTable(uint8_t reference, float slope, int32_t brightness) {
    std::array<uint8_t, 256> t{};
    const float shift = static_cast<float>(brightness) + reference;
    for (int c = 0; c < 256; ++c) {
        t[c] = ClampToByte(static_cast<float>(c - reference) * slope + shift + 0.5f);
    }
    return t;
}

}  // namespace

void CBmpProcessing::AdjustBrightness(uint8_t** ppBuffer, uint32_t dwLength, tagRGBQUAD reference,
                                      int32_t nBrightness, int32_t nContrast,
                                      int32_t nBitsPerPixel) const {
    if (!ppBuffer || !*ppBuffer || (nBitsPerPixel != 8 && nBitsPerPixel != 24)) return;
    const bool snap = RulesFor(m_Variant).adjustSnapsExtremes;
    const float slope = (static_cast<float>(nContrast) + 100.0f) / 100.0f;
    uint8_t* p = *ppBuffer;

    if (nBitsPerPixel == 8) {
        std::array<uint8_t, 256> t = PivotTable(reference.rgbBlue, slope, nBrightness);
        t[0] = 0;
        t[255] = 255;
        if (snap) {
            for (int v = 1; v <= 25; ++v) t[v] = 0;
            for (int v = 251; v <= 254; ++v) t[v] = 255;
        }
        for (uint32_t i = 0; i < dwLength; ++i) p[i] = t[p[i]];
        return;
    }

    const auto tb = PivotTable(reference.rgbBlue, slope, nBrightness);
    const auto tg = PivotTable(reference.rgbGreen, slope, nBrightness);
    const auto tr = PivotTable(reference.rgbRed, slope, nBrightness);
    const auto nearBlack = [](uint8_t v) { return v >= 1 && v <= 25; };
    for (uint32_t n = dwLength / 3; n > 0; --n, p += 3) {
        if ((p[0] | p[1] | p[2]) == 0 || (p[0] & p[1] & p[2]) == 255) continue;
        if (snap && nearBlack(p[0]) && nearBlack(p[1]) && nearBlack(p[2])) {
            p[0] = p[1] = p[2] = 0;
        } else if (snap && p[0] > 250 && p[1] > 250 && p[2] > 250) {
            p[0] = p[1] = p[2] = 255;
        } else {
            p[0] = tb[p[0]];
            p[1] = tg[p[1]];
            p[2] = tr[p[2]];
        }
    }
}

void CBmpProcessing::AddAveragingCont(const tagRGBQUAD& color, float fWeight, float& red,
                                      float& green, float& blue, float&) {
    red += color.rgbRed * fWeight;
    green += color.rgbGreen * fWeight;
    blue += color.rgbBlue * fWeight;
}
