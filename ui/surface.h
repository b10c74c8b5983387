// The off-screen surface of the layered window: a memory DC holding a 32-bit
// top-down DIB section whose pixels are premultiplied ARGB, the format
// UpdateLayeredWindow blends with AC_SRC_ALPHA. (A bitmap made compatible with
// the screen keeps no alpha: everything drawn over the skin would come out
// see-through.)
#pragma once

#include <windows.h>

#include <optional>

#include "framework/win.h"
#include "ui/gdip.h"

namespace si {

class DibSurface {
public:
    DibSurface() = default;
    ~DibSurface() { Reset(); }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    // Replaces the current surface with a fresh, fully transparent one of
    // `width` by `height` pixels, compatible with `reference` (null: the screen).
    bool Create(HDC reference, int width, int height);
    // Deselects the bitmap, then deletes it, then the DC.
    void Reset() noexcept;

    explicit operator bool() const noexcept { return bits_ != nullptr; }
    HDC dc() const noexcept { return dc_.get(); }
    BYTE* bits() const noexcept { return bits_; }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

private:
    // Declared in construction order: destroyed selection first, then the
    // bitmap, then the DC, so no bitmap is deleted while selected.
    unique_memdc dc_;
    unique_gdiobj bitmap_;
    std::optional<select_object> selection_;
    BYTE* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A GDI+ drawing context over the surface's pixels (a 32bppPARGB bitmap that
// shares the DIB's memory). Drawing lands in the DIB directly; the context is
// to be closed before the DIB is handed to UpdateLayeredWindow.
class SurfaceGraphics {
public:
    explicit SurfaceGraphics(const DibSurface& surface);
    Gdiplus::GpGraphics* get() const noexcept { return graphics_.get(); }
    explicit operator bool() const noexcept { return graphics_ != nullptr; }
    void Close() noexcept {
        graphics_.reset();
        bitmap_.reset();
    }

private:
    gdip_image bitmap_;  // declared first: outlives the graphics drawing on it
    gdip_graphics graphics_;
};

}  // namespace si
