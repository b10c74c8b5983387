#include "ui/skin.h"

#include <cstring>
#include <string>

#include "framework/app.h"
#include "framework/win.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"

namespace {

[[noreturn]] void ExitOnImageResourceError(UINT id) {
    wchar_t text[64] = {};
    si::Format(text, sizeof(text) / sizeof(text[0]), L"Image Resource Error:%d", static_cast<int>(id));
    AfxMessageBox(text, MB_OK | MB_ICONERROR);
    ::ExitProcess(1);
}

// Decodes `stream` and copies the pixels, converted to 32bppPARGB, into a
// bitmap of its own; the decoded image may keep reading its stream, the copy
// never does.
si::gdip_image DecodeIndependentCopy(IStream* stream) {
    namespace gp = si::gp;
    Gdiplus::GpBitmap* raw = nullptr;
    if (gp::GdipCreateBitmapFromStream(stream, &raw) != Gdiplus::Ok || !raw) return nullptr;
    si::gdip_image decoded(raw);
    UINT width = 0, height = 0;
    if (gp::GdipGetImageWidth(raw, &width) != Gdiplus::Ok || gp::GdipGetImageHeight(raw, &height) != Gdiplus::Ok ||
        width == 0 || height == 0)
        return nullptr;

    Gdiplus::GpBitmap* copyRaw = nullptr;
    if (gp::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                      PixelFormat32bppPARGB, nullptr, &copyRaw) != Gdiplus::Ok ||
        !copyRaw)
        return nullptr;
    si::gdip_image copy(copyRaw);

    const Gdiplus::GpRect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData target = {};
    if (gp::GdipBitmapLockBits(copyRaw, &area, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &target) !=
        Gdiplus::Ok)
        return nullptr;
    // The decoder writes straight into the copy's pixels.
    Gdiplus::BitmapData source = target;
    const Gdiplus::Status read =
        gp::GdipBitmapLockBits(raw, &area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                               PixelFormat32bppPARGB, &source);
    if (read == Gdiplus::Ok) gp::GdipBitmapUnlockBits(raw, &source);
    gp::GdipBitmapUnlockBits(copyRaw, &target);
    if (read != Gdiplus::Ok) return nullptr;
    return copy;
}

}  // namespace

si::gdip_image LoadPngResource(HMODULE module, const wchar_t* type, UINT id) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    const DWORD size = found ? ::SizeofResource(module, found) : 0;
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    si::unique_hglobal block(size ? ::GlobalAlloc(GMEM_MOVEABLE, size) : nullptr);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    void* target = block ? ::GlobalLock(block.get()) : nullptr;
    if (!found || !loaded || !bytes || !target) ExitOnImageResourceError(id);
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(block.get());

    IStream* rawStream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(block.get(), TRUE, &rawStream)) || !rawStream) return nullptr;
    block.release();  // the stream frees the block when it is released
    si::unique_stream stream(rawStream);
    return DecodeIndependentCopy(stream.get());
}

RECT LoadRectFromString(UINT id, const RECT& fallback) {
    const std::wstring text = si::LoadActiveString(id);
    return si::ParseRectText(text.c_str(), fallback);
}

uint32_t LoadColorFromString(UINT id) {
    const std::wstring text = si::LoadActiveString(id);
    return si::ParseColorText(text.c_str());
}
