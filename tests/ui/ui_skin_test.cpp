// The window's pieces without a window: the skin and layout resources, the
// off-screen surface, the rounded bar and the fonts drawn off screen, and the
// progress hand-over from a worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "resources/resource_ids.h"
#include "tests/ui/ui_test_support.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include "ui/progress_window.h"
#include "state/messages.h"
#include "ui/skin.h"
#include "ui/surface.h"

namespace {

namespace gp = si::gp;
constexpr UINT kMissingString = 999;
constexpr UINT kNotAnImage = 901;

// A pixel of a surface as 0xAARRGGBB (premultiplied).
uint32_t SurfacePixel(const si::DibSurface& surface, int x, int y) {
    return reinterpret_cast<const uint32_t*>(surface.bits())[static_cast<size_t>(y) * surface.width() + x];
}
int Alpha(uint32_t argb) { return static_cast<int>(argb >> 24); }
// The premultiplied form of an ARGB colour, as GDI+ stores it in a PARGB surface.
uint32_t Premultiplied(uint32_t argb) {
    const uint32_t a = argb >> 24;
    auto c = [&](int shift) { return (((argb >> shift) & 0xFF) * a + 127) / 255; };
    return (a << 24) | (c(16) << 16) | (c(8) << 8) | c(0);
}
bool NearArgb(uint32_t a, uint32_t b, int tolerance) {
    return ui_test::Near(a, b, tolerance) && std::abs(Alpha(a) - Alpha(b)) <= tolerance;
}

TEST(SkinResources, ShippedLayoutAndColoursFromTheResourceModule) {
    const RECT fallback = {7, 7, 7, 7};
    const RECT bar = LoadRectFromString(IDS_RECT_BAR, fallback);
    EXPECT_EQ(bar.left, 28);
    EXPECT_EQ(bar.top, 255);
    EXPECT_EQ(bar.right, 396);
    EXPECT_EQ(bar.bottom, 265);
    const RECT status = LoadRectFromString(IDS_RECT_STATUS, fallback);
    EXPECT_EQ(status.right, 328);
    EXPECT_EQ(status.bottom, 248);
    const RECT percent = LoadRectFromString(IDS_RECT_PERCENT, fallback);
    EXPECT_EQ(percent.left, 350);
    EXPECT_EQ(percent.right, 396);
    EXPECT_EQ(LoadRectFromString(kMissingString, fallback).left, 7);

    EXPECT_EQ(LoadColorFromString(IDS_COLOR_TEXT), 0xFE4C4C4Cu);
    EXPECT_EQ(LoadColorFromString(IDS_COLOR_BAR_TRACK), 0xFED9D9D9u);
    EXPECT_EQ(LoadColorFromString(IDS_COLOR_BAR_FILL), 0xFEDE4944u);
    EXPECT_EQ(LoadColorFromString(kMissingString), 0xFF000000u);
}

TEST(SkinResources, PngBecomesAnIndependentPremultipliedCopy) {
    si::gdip_image skin = LoadPngResource(::GetModuleHandleW(nullptr), L"PNG", IDR_SKIN_PNG);
    ASSERT_TRUE(skin);
    UINT width = 0, height = 0;
    gp::GdipGetImageWidth(skin.get(), &width);
    gp::GdipGetImageHeight(skin.get(), &height);
    EXPECT_EQ(width, 424u);
    EXPECT_EQ(height, 300u);
    Gdiplus::PixelFormat format = 0;
    gp::GdipGetImagePixelFormat(skin.get(), &format);
    EXPECT_EQ(format, PixelFormat32bppPARGB);

    // The stream and its memory are gone: the pixels still read back.
    auto* bitmap = static_cast<Gdiplus::GpBitmap*>(skin.get());
    Gdiplus::ARGB corner = 1, band = 0, edge = 0;
    ASSERT_EQ(gp::GdipBitmapGetPixel(bitmap, 0, 0, &corner), Gdiplus::Ok);
    gp::GdipBitmapGetPixel(bitmap, 212, 240, &band);
    gp::GdipBitmapGetPixel(bitmap, 2, 150, &edge);
    EXPECT_EQ(Alpha(corner), 0);  // see-through corner
    EXPECT_EQ(Alpha(band), 255);  // the light band under the texts
    EXPECT_TRUE(ui_test::Near(band, ui_test::Rgb(247, 249, 251), 3));
    EXPECT_GT(Alpha(edge), 0);  // the soft edge: partly transparent
    EXPECT_LT(Alpha(edge), 255);
}

TEST(SkinResources, UndecodableBytesGiveNoImage) {
    EXPECT_FALSE(LoadPngResource(::GetModuleHandleW(nullptr), L"PNG", kNotAnImage));
}

TEST(Surface, ThirtyTwoBitTopDownDibSelectedIntoItsDc) {
    si::DibSurface surface;
    ASSERT_TRUE(surface.Create(nullptr, 424, 300));
    ASSERT_NE(surface.bits(), nullptr);
    HGDIOBJ selected = ::GetCurrentObject(surface.dc(), OBJ_BITMAP);
    DIBSECTION dib = {};
    ASSERT_EQ(::GetObjectW(selected, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(dib.dsBm.bmWidth, 424);
    EXPECT_EQ(dib.dsBm.bmHeight, 300);
    EXPECT_EQ(dib.dsBm.bmBits, surface.bits());
    EXPECT_EQ(SurfacePixel(surface, 0, 0), 0u);  // starts fully transparent

    // Replacing it frees the old bitmap (no longer a GDI object) and starts clean.
    ASSERT_TRUE(surface.Create(nullptr, 10, 5));
    EXPECT_EQ(::GetObjectType(selected), 0u);
    EXPECT_EQ(surface.width(), 10);
    surface.Reset();
    EXPECT_FALSE(surface);
    EXPECT_FALSE(surface.Create(nullptr, 0, 300));
}

class BarDrawing : public ::testing::Test {
protected:
    void Draw(int percent) {
        ASSERT_TRUE(surface_.Create(nullptr, 424, 300));
        si::SurfaceGraphics graphics(surface_);
        ASSERT_TRUE(graphics);
        EXPECT_EQ(FillRoundBar(graphics.get(), 28, 255, 368, 10, 1.0f, kTrack), Gdiplus::Ok);
        EXPECT_EQ(FillRoundBar(graphics.get(), 28, 255, si::BarFillWidth(368, percent), 10, 1.0f, kFill),
                  Gdiplus::Ok);
    }
    uint32_t At(int x, int y) const { return SurfacePixel(surface_, x, y); }
    static constexpr uint32_t kTrack = 0xFED9D9D9u;
    static constexpr uint32_t kFill = 0xFEDE4944u;
    si::DibSurface surface_;
};

TEST_F(BarDrawing, HalfFilledPillEndsAtItsFillWidth) {
    Draw(50);
    EXPECT_TRUE(NearArgb(At(28 + 20, 260), Premultiplied(kFill), 2));
    EXPECT_TRUE(NearArgb(At(28 + 180, 260), Premultiplied(kFill), 2));
    EXPECT_TRUE(NearArgb(At(28 + 188, 260), Premultiplied(kTrack), 2));
    EXPECT_TRUE(NearArgb(At(390, 260), Premultiplied(kTrack), 2));
    // Rounded ends: the bar's corners stay (almost) see-through, outside it nothing.
    EXPECT_LT(Alpha(At(28, 255)), 64);
    EXPECT_LT(Alpha(At(395, 264)), 64);
    EXPECT_EQ(At(20, 260), 0u);
    EXPECT_EQ(At(200, 250), 0u);
    EXPECT_EQ(At(200, 267), 0u);
}

TEST_F(BarDrawing, EmptyAndFullBar) {
    Draw(0);
    EXPECT_TRUE(NearArgb(At(30 + 2, 260), Premultiplied(kTrack), 2));
    EXPECT_TRUE(NearArgb(At(200, 260), Premultiplied(kTrack), 2));
    Draw(100);
    EXPECT_TRUE(NearArgb(At(34, 260), Premultiplied(kFill), 2));
    EXPECT_TRUE(NearArgb(At(390, 260), Premultiplied(kFill), 2));
}

TEST_F(BarDrawing, FivePercentIsAnEllipseNinePercentAPill) {
    Draw(5);  // 18.4 by 10: an ellipse
    EXPECT_TRUE(NearArgb(At(28 + 9, 260), Premultiplied(kFill), 2));
    EXPECT_TRUE(NearArgb(At(28 + 1, 256), Premultiplied(kTrack), 40));  // outside the ellipse: track shows
    Draw(9);  // 33.12 by 10: a pill of radius 5, square in the middle
    EXPECT_TRUE(NearArgb(At(28 + 16, 256), Premultiplied(kFill), 2));
    EXPECT_TRUE(NearArgb(At(28 + 36, 260), Premultiplied(kTrack), 2));
}

TEST(Fonts, FallBackToTheGenericSansSerifFamily) {
    // "Consolas" is not installed here; the text still gets a font.
    for (int style : {Gdiplus::FontStyleRegular, Gdiplus::FontStyleBold}) {
        si::gdip_font font = CreateTextFont(style, 14.0f);
        ASSERT_TRUE(font) << "style " << style;
        INT got = -1;
        gp::GdipGetFontStyle(font.get(), &got);
        EXPECT_EQ(got, style);
        Gdiplus::REAL size = 0;
        gp::GdipGetFontSize(font.get(), &size);
        EXPECT_FLOAT_EQ(size, 14.0f);
        Gdiplus::Unit unit = Gdiplus::UnitWorld;
        gp::GdipGetFontUnit(font.get(), &unit);
        EXPECT_EQ(unit, Gdiplus::UnitPixel);
        Gdiplus::GpFontFamily* family = nullptr;
        ASSERT_EQ(gp::GdipGetFamily(font.get(), &family), Gdiplus::Ok);
        wchar_t name[LF_FACESIZE] = {};
        gp::GdipGetFamilyName(family, name, LANG_NEUTRAL);
        gp::GdipDeleteFontFamily(family);
        EXPECT_STRNE(name, L"");
        std::printf("style %d: family %ls\n", style, name);
    }
}

// UpdateProgress against a progress window that has no window yet.
class ProgressUpdate : public ::testing::Test {
protected:
    void SetUp() override { dialog_.Publish(); }
    void TearDown() override { dialog_.Withdraw(); }
    si::ProgressWindow dialog_;
};

TEST_F(ProgressUpdate, PercentOutsideZeroToHundredIsIgnored) {
    UpdateProgress(L"Extracting files\u2026", 42, false);
    EXPECT_EQ(dialog_.CopyProgress().percent, 42);
    UpdateProgress(L"x", -1, false);
    EXPECT_EQ(dialog_.CopyProgress().percent, 42);
    UpdateProgress(L"x", 101, false);
    EXPECT_EQ(dialog_.CopyProgress().percent, 42);
    UpdateProgress(L"x", 0, false);
    EXPECT_EQ(dialog_.CopyProgress().percent, 0);
}

TEST_F(ProgressUpdate, StatusLineShowsOnlyInitializingOrCompleted) {
    // The step's own text is never shown; 100 without the finished flag keeps "Initializing…".
    UpdateProgress(L"Installation completed.", 100, false);
    si::ProgressWindow::ProgressState state = dialog_.CopyProgress();
    EXPECT_EQ(state.percent, 100);
    EXPECT_EQ(state.statusText, L"Initializing\u2026");
    UpdateProgress(L"Installation completed.", 100, true);
    state = dialog_.CopyProgress();
    EXPECT_EQ(state.statusText, L"Initialization completed.");
    // A rejected percentage still switches the line.
    UpdateProgress(L"x", -1, false);
    EXPECT_EQ(dialog_.CopyProgress().statusText, L"Initializing\u2026");
    EXPECT_EQ(dialog_.CopyProgress().percent, 100);
}

TEST_F(ProgressUpdate, WorkerAndPainterNeverSeeATornPair) {
    // The worker alternates (even percent, running) and (odd percent,
    // finished); every copy must be one of the pairs as written.
    std::atomic<bool> stop{false};
    std::atomic<int> writes{0};
    std::thread worker([&] {
        for (int i = 0; !stop; i = (i + 1) % 100, ++writes) UpdateProgress(L"", i, i % 2 == 1);
    });
    int torn = 0, reads = 0;
    const DWORD start = ::GetTickCount();
    while ((writes < 20000 || reads < 20000) && ::GetTickCount() - start < 10000) {
        const si::ProgressWindow::ProgressState state = dialog_.CopyProgress();
        const bool finished = state.statusText == L"Initialization completed.";
        if (state.percent != 0 && finished != (state.percent % 2 == 1)) ++torn;
        ++reads;
    }
    stop = true;
    worker.join();
    EXPECT_GE(writes, 20000);
    EXPECT_EQ(torn, 0);
}

TEST(ProgressUpdateWithoutWindow, NothingIsReachedOnceTheDialogIsGone) {
    {
        si::ProgressWindow dialog;
        dialog.Publish();
        EXPECT_EQ(gMainDlg, &dialog);
    }  // the destructor withdraws it
    EXPECT_EQ(gMainDlg, nullptr);
    UpdateProgress(L"", 50, false);
    EXPECT_EQ(SendToProgressWindow(WM_SETUP_END), 0);
}

}  // namespace
