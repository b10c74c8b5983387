// Owners for the GDI+ flat-interface objects the progress window uses, each
// released with its own delete operation.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

namespace si {

namespace gp = Gdiplus::DllExports;

template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Delete)(T*)>
struct GdipDeleter {
    void operator()(T* object) const noexcept {
        if (object) Delete(object);
    }
};

using gdip_image = std::unique_ptr<Gdiplus::GpImage, GdipDeleter<Gdiplus::GpImage, &gp::GdipDisposeImage>>;
using gdip_graphics =
    std::unique_ptr<Gdiplus::GpGraphics, GdipDeleter<Gdiplus::GpGraphics, &gp::GdipDeleteGraphics>>;
using gdip_path = std::unique_ptr<Gdiplus::GpPath, GdipDeleter<Gdiplus::GpPath, &gp::GdipDeletePath>>;
using gdip_brush = std::unique_ptr<Gdiplus::GpBrush, GdipDeleter<Gdiplus::GpBrush, &gp::GdipDeleteBrush>>;
using gdip_font = std::unique_ptr<Gdiplus::GpFont, GdipDeleter<Gdiplus::GpFont, &gp::GdipDeleteFont>>;
using gdip_font_family =
    std::unique_ptr<Gdiplus::GpFontFamily, GdipDeleter<Gdiplus::GpFontFamily, &gp::GdipDeleteFontFamily>>;
using gdip_string_format =
    std::unique_ptr<Gdiplus::GpStringFormat, GdipDeleter<Gdiplus::GpStringFormat, &gp::GdipDeleteStringFormat>>;

// A COM stream, released once.
struct StreamReleaser {
    void operator()(IStream* stream) const noexcept {
        if (stream) stream->Release();
    }
};
using unique_stream = std::unique_ptr<IStream, StreamReleaser>;

}  // namespace si
