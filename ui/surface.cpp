#include "ui/surface.h"

namespace si {

bool DibSurface::Create(HDC reference, int width, int height) {
    Reset();
    if (width <= 0 || height <= 0) return false;
    dc_.reset(::CreateCompatibleDC(reference));
    if (!dc_) return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 is the top row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_ || !bits) {
        Reset();
        return false;
    }
    selection_.emplace(dc_.get(), bitmap_.get());
    bits_ = static_cast<BYTE*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

void DibSurface::Reset() noexcept {
    selection_.reset();
    bitmap_.reset();
    dc_.reset();
    bits_ = nullptr;
    width_ = height_ = 0;
}

SurfaceGraphics::SurfaceGraphics(const DibSurface& surface) {
    if (!surface) return;
    // GDI has queued nothing for this DIB, but its memory is about to be
    // written directly.
    ::GdiFlush();
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(surface.width(), surface.height(), surface.width() * 4,
                                      PixelFormat32bppPARGB, surface.bits(), &bitmap) != Gdiplus::Ok)
        return;
    bitmap_.reset(bitmap);
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok) graphics_.reset(graphics);
}

}  // namespace si
