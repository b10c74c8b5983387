// The pure rules of the progress window: layout and colour strings, the
// rounded bar's radii and fill widths, the percentage and drag tests.
#include <gtest/gtest.h>

#include <climits>

#include "ui/layout.h"

namespace {

const RECT kFallback = {1, 2, 3, 4};

void ExpectRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

TEST(LayoutStrings, ShippedRectanglesBecomeLeftTopRightBottom) {
    ExpectRect(si::ParseRectText(L"28,255,368,10", kFallback), 28, 255, 396, 265);
    ExpectRect(si::ParseRectText(L"28,228,300,20", kFallback), 28, 228, 328, 248);
    ExpectRect(si::ParseRectText(L"350,228,46,20", kFallback), 350, 228, 396, 248);
    ExpectRect(si::ParseRectText(L"1,1,10000,10000", kFallback), 1, 1, 10001, 10001);
}

TEST(LayoutStrings, UnusableRectanglesKeepTheFallback) {
    for (const wchar_t* text : {L"28,255,0,10", L"10001,1,1,1", L"28,255,368", L"-28,255,368,10", L"0,255,368,10",
                                L"28,255,368,10001", L"", L"bar", L"28;255;368;10"}) {
        SCOPED_TRACE(testing::Message() << "text " << text);
        ExpectRect(si::ParseRectText(text, kFallback), 1, 2, 3, 4);
    }
    ExpectRect(si::ParseRectText(nullptr, kFallback), 1, 2, 3, 4);
}

TEST(LayoutStrings, ColoursAreArgbCutToEightBitsEach) {
    EXPECT_EQ(si::ParseColorText(L"254,76,76,76"), 0xFE4C4C4Cu);
    EXPECT_EQ(si::ParseColorText(L"254,217,217,217"), 0xFED9D9D9u);
    EXPECT_EQ(si::ParseColorText(L"254,222,73,68"), 0xFEDE4944u);
    EXPECT_EQ(si::ParseColorText(L"254,300,0,0"), 0xFE2C0000u);  // 300 cut to 44
    EXPECT_EQ(si::ParseColorText(L"256,0,0,-1"), 0x000000FFu);   // 256 gives 0, -1 gives 255
}

TEST(LayoutStrings, MalformedColoursAreOpaqueBlack) {
    for (const wchar_t* text : {L"254,76,76", L"", L"red", L"254;76;76;76"})
        EXPECT_EQ(si::ParseColorText(text), 0xFF000000u) << "text " << text;
    EXPECT_EQ(si::ParseColorText(nullptr), 0xFF000000u);
}

TEST(RoundBar, FillWidthsOfTheShippedBar) {
    EXPECT_FLOAT_EQ(si::BarFillWidth(368, 0), 0.0f);
    EXPECT_FLOAT_EQ(si::BarFillWidth(368, 5), 18.4f);
    EXPECT_FLOAT_EQ(si::BarFillWidth(368, 9), 33.12f);
    EXPECT_FLOAT_EQ(si::BarFillWidth(368, 50), 184.0f);
    EXPECT_FLOAT_EQ(si::BarFillWidth(368, 100), 368.0f);
}

TEST(RoundBar, RadiiEllipseUpToThirtyPixelsThenPill) {
    // The track, 368 by 10: a pill of radius 5.
    si::BarRadii r = si::ComputeBarRadii(368.0f, 10.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 5.0f);
    EXPECT_FLOAT_EQ(r.ry, 5.0f);
    // 0 %: no width; the radii stay half of each side (nothing is drawn).
    r = si::ComputeBarRadii(si::BarFillWidth(368, 0), 10.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 0.0f);
    EXPECT_FLOAT_EQ(r.ry, 5.0f);
    // 5 %: 18.4 wide, an ellipse filling its rectangle.
    r = si::ComputeBarRadii(si::BarFillWidth(368, 5), 10.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 9.2f);
    EXPECT_FLOAT_EQ(r.ry, 5.0f);
    // 8 % (29.44) and exactly 30 px still ellipses: the half-sides differ by at most 10.
    r = si::ComputeBarRadii(si::BarFillWidth(368, 8), 10.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 14.72f);
    r = si::ComputeBarRadii(30.0f, 10.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 15.0f);
    EXPECT_FLOAT_EQ(r.ry, 5.0f);
    // 9 % (33.12) and 100 %: pills of radius 5.
    for (int percent : {9, 100}) {
        r = si::ComputeBarRadii(si::BarFillWidth(368, percent), 10.0f, 1.0f);
        EXPECT_FLOAT_EQ(r.rx, 5.0f) << percent;
        EXPECT_FLOAT_EQ(r.ry, 5.0f) << percent;
    }
    // A tall shape takes the smaller radius the same way.
    r = si::ComputeBarRadii(10.0f, 100.0f, 1.0f);
    EXPECT_FLOAT_EQ(r.rx, 5.0f);
    EXPECT_FLOAT_EQ(r.ry, 5.0f);
    // The divisor scales both radii.
    r = si::ComputeBarRadii(20.0f, 10.0f, 2.0f);
    EXPECT_FLOAT_EQ(r.rx, 5.0f);
    EXPECT_FLOAT_EQ(r.ry, 2.5f);
}

TEST(ProgressPercent, ZeroToHundredInclusiveTestedUnsigned) {
    EXPECT_TRUE(si::IsProgressPercent(0));
    EXPECT_TRUE(si::IsProgressPercent(50));
    EXPECT_TRUE(si::IsProgressPercent(100));
    EXPECT_FALSE(si::IsProgressPercent(-1));
    EXPECT_FALSE(si::IsProgressPercent(101));
    EXPECT_FALSE(si::IsProgressPercent(INT_MIN));
    EXPECT_FALSE(si::IsProgressPercent(INT_MAX));
}

TEST(Drag, LeftButtonAloneInsideTheWindowEdgesIncluded) {
    const RECT window = {0, 0, 424, 300};
    EXPECT_TRUE(si::IsDragStart(MK_LBUTTON, POINT{200, 100}, window));
    EXPECT_TRUE(si::IsDragStart(MK_LBUTTON, POINT{0, 0}, window));
    EXPECT_TRUE(si::IsDragStart(MK_LBUTTON, POINT{424, 300}, window));
    EXPECT_FALSE(si::IsDragStart(MK_LBUTTON, POINT{425, 100}, window));
    EXPECT_FALSE(si::IsDragStart(MK_LBUTTON, POINT{200, 301}, window));
    EXPECT_FALSE(si::IsDragStart(MK_LBUTTON, POINT{-1, 100}, window));
    for (WPARAM keys : {WPARAM{0}, WPARAM{MK_LBUTTON | MK_CONTROL}, WPARAM{MK_LBUTTON | MK_SHIFT},
                        WPARAM{MK_LBUTTON | MK_RBUTTON}, WPARAM{MK_LBUTTON | MK_MBUTTON}, WPARAM{MK_RBUTTON}})
        EXPECT_FALSE(si::IsDragStart(keys, POINT{200, 100}, window)) << "keys " << keys;
    // An empty window rectangle (no skin) takes a drag at its one point only.
    EXPECT_FALSE(si::IsDragStart(MK_LBUTTON, POINT{1, 1}, RECT{0, 0, 0, 0}));
}

}  // namespace
