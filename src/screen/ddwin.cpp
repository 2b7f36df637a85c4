// The display object over the DirectDraw-shaped driver interface.
#include "screen/ddwin.h"

#include "bitmap/pixeltype.h"

#include <cstdio>
#include <cstring>

namespace {

void clearDesc(DDSurfaceDesc& desc) {
    std::memset(&desc, 0, sizeof desc);
    desc.size = sizeof desc;
}

} // namespace

CDDWin::CDDWin(DirectDrawCreateFunction directDrawCreate, WindowSystem* windows)
    : directDrawCreate_(directDrawCreate), windows_(windows) {
    for (int i = 0; i < 256; ++i)
        paletteEntries_[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    for (int32_t& key : colorKeys_)
        key = -1;
}

bool CDDWin::Create() {
    if (directDraw_) ReleaseAll();
    lastResult_ = directDrawCreate_(nullptr, &directDraw_, nullptr);
    if (lastResult_ != DD_OK) {
        directDraw_ = nullptr;
        ReleaseAll();
        return false;
    }
    return true;
}

bool CDDWin::createSurface(int32_t slot, const DDSurfaceDesc& desc) {
    lastResult_ = directDraw_->CreateSurface(&desc, &surfaces_[slot], nullptr);
    if (lastResult_ != DD_OK) surfaces_[slot] = nullptr;
    return lastResult_ == DD_OK;
}

bool CDDWin::Init(void* win, int32_t isWindowed, int32_t w, int32_t h, int32_t bits,
                  const uint8_t* source) {
    if (!Create()) return false;

    windowed_ = isWindowed;
    width_ = w;
    height_ = h;
    bitsPerPixel_ = bits;
    clearDesc(descs_[0]);
    clearDesc(descs_[1]);

    lastResult_ = directDraw_->SetCooperativeLevel(
        win, windowed_ ? DDSCL_NORMAL : DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWMODEX);
    if (lastResult_ != DD_OK) {
        directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        for (int i = 0; i < restoreDisplayModeAttempts; ++i)
            if (directDraw_->RestoreDisplayMode() == DD_OK) break;
        ReleaseAll();
        return false;
    }

    if (!windowed_) {
        ChangeDisplayMode(w, h, bits);
        if (lastResult_ != DD_OK) {
            ReleaseAll();
            return false;
        }
    }

    DDSurfaceDesc primary;
    clearDesc(primary);
    primary.flags = DDSD_CAPS;
    primary.caps = DDSCAPS_PRIMARYSURFACE;
    DDSurfaceDesc back;
    clearDesc(back);
    back.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    back.height = uint32_t(h);
    back.width = uint32_t(w);
    back.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;

    bool ok = createSurface(0, primary) && createSurface(1, back);
    if (ok && windowed_) {
        lastResult_ = directDraw_->CreateClipper(0, &clipper_, nullptr);
        if (lastResult_ != DD_OK) clipper_ = nullptr;
        ok = lastResult_ == DD_OK;
        if (ok) ok = (lastResult_ = clipper_->SetHWnd(0, win)) == DD_OK;
        if (ok) ok = (lastResult_ = surfaces_[0]->SetClipper(clipper_)) == DD_OK;
    }
    if (ok) ok = RestoreAll();
    if (!ok) {
        ReleaseAll();
        return false;
    }

    window_ = win;
    Lock(1);
    Unlock(1);

    clearDesc(descs_[0]);
    lastResult_ = directDraw_->GetDisplayMode(&descs_[0]);

    const DDRect whole = {0, 0, w, h};
    for (int i = 0; i < 2; ++i) {
        Clear(&whole, 0, 1);
        Present(nullptr);
    }

    if (!palette_) {
        lastResult_ =
            directDraw_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256,
                                       paletteEntries_, &palette_, nullptr);
        if (lastResult_ != DD_OK) {
            palette_ = nullptr;
            return false;
        }
        lastResult_ = surfaces_[0]->SetPalette(palette_);
        lastResult_ = surfaces_[1]->SetPalette(palette_);
    }

    if (source) {
        SetPaletteEntries(source);
        ApplyPalette();
    }
    return true;
}

bool CDDWin::ChangeDisplayMode(int32_t w, int32_t h, int32_t bits) {
    if (!directDraw_) return false;
    lastResult_ = directDraw_->SetDisplayMode(uint32_t(w), uint32_t(h), uint32_t(bits));
    if (lastResult_ != DD_OK) {
        DebugPrintf("CDDWin::ChangeDisplayMode failed: %x\n", unsigned(lastResult_));
        return false;
    }
    return true;
}

void CDDWin::Shutdown() {
    if (directDraw_) {
        lastResult_ = directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        for (int i = 0; i < restoreDisplayModeAttempts; ++i)
            if ((lastResult_ = directDraw_->RestoreDisplayMode()) == DD_OK) break;
    }
    ReleaseAll();
}

// The back surface is released in both modes: it is created the same way
// in both, and keeping it alive past its display object would leak it.
void CDDWin::ReleaseAll() {
    if (clipper_) clipper_->Release();
    if (palette_) {
        if (surfaces_[0]) surfaces_[0]->SetPalette(nullptr);
        palette_->Release();
    }
    for (int i = slotCount - 1; i >= 0; --i) {
        if (surfaces_[i]) surfaces_[i]->Release();
        surfaces_[i] = nullptr;
        colorKeys_[i] = -1;
    }
    if (directDraw_) directDraw_->Release();
    window_ = nullptr;
    clipper_ = nullptr;
    directDraw_ = nullptr;
    palette_ = nullptr;
}

bool CDDWin::RestoreAll() {
    if (!directDraw_) return false;
    if (!surfaces_[0]) return false;
    lastResult_ = surfaces_[0]->Restore();
    if (lastResult_ != DD_OK) return false;
    if (palette_) {
        palette_->Release();
        palette_ = nullptr;
        lastResult_ = directDraw_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, paletteEntries_,
                                                 &palette_, nullptr);
        if (lastResult_ != DD_OK) {
            palette_ = nullptr;
            return false;
        }
        lastResult_ = surfaces_[0]->SetPalette(palette_);
    }
    for (int i = windowed_ ? 1 : 2; i < slotCount; ++i) {
        if (!surfaces_[i]) continue;
        lastResult_ = surfaces_[i]->Restore();
        if (lastResult_ != DD_OK) return false;
        if (colorKeys_[i] >= 0) SetColorKey(i, colorKeys_[i]);
    }
    lastResult_ = DD_OK;
    return true;
}

bool CDDWin::Present(const DDRect* rect) {
    if (!filled(0) || !surfaces_[1]) return false;
    do {
        if (windowed_) {
            WinRect client;
            WinPoint origin = {0, 0};
            windows_->GetClientRect(window_, &client);
            windows_->ClientToScreen(window_, &origin);
            DDRect src = rect ? *rect : DDRect{0, 0, width_, height_};
            DDRect dst = {origin.x + src.left, origin.y + src.top, origin.x + src.right,
                          origin.y + src.bottom};
            DDBltFx fx = {100, DDBLTFX_NOTEARING, 0};
            lastResult_ = surfaces_[0]->Blt(&dst, surfaces_[1], &src, DDBLT_DDFX, &fx);
        } else {
            DDRect src = rect ? *rect : DDRect{0, 0, width_, height_};
            lastResult_ = surfaces_[0]->BltFast(src.left, src.top, surfaces_[1], &src, 0);
        }
    } while (lastResult_ == DDERR_WASSTILLDRAWING);
    if (lastResult_ == DD_OK) return true;
    if (lastResult_ == DDERR_SURFACELOST) RestoreAll();
    return false;
}

void* CDDWin::Lock(int32_t slot) {
    return filled(slot) ? lockSurface(slot, descs_[slot]) : nullptr;
}

void CDDWin::Unlock(int32_t slot) {
    if (!filled(slot)) return;
    surfaces_[slot]->Unlock(descs_[slot].surface);
}

int32_t CDDWin::GetPitch(int32_t slot) {
    if (!directDraw_ || slot < 0 || slot >= slotCount) return 0;
    return descs_[slot].pitch;
}

bool CDDWin::SetPaletteEntries(const uint8_t* source) {
    if (!directDraw_) return false;
    if (!source) return true;
    for (int i = 0; i < 256; ++i)
        paletteEntries_[i] = {source[4 * i], source[4 * i + 1], source[4 * i + 2], PC_RESERVED};
    return true;
}

void CDDWin::ApplyPalette() {
    if (!directDraw_ || !palette_) return;
    lastResult_ = palette_->SetEntries(0, 0, 256, paletteEntries_);
    if (lastResult_ != DD_OK && surfaces_[0]) {
        lastResult_ = surfaces_[0]->SetPalette(palette_);
        if (lastResult_ == DDERR_SURFACELOST) RestoreAll();
    }
}

void CDDWin::SetColorKey(int32_t slot, int32_t key) {
    if (!filled(slot)) return;
    DDColorKey colorKey = {uint32_t(key), uint32_t(key)};
    lastResult_ = surfaces_[slot]->SetColorKey(DDCKEY_SRCBLT, &colorKey);
    colorKeys_[slot] = key;
}

void CDDWin::Clear(const DDRect* rect, int32_t color, int32_t slot) {
    if (!filled(slot)) return;
    DDBltFx fx = {100, 0, uint32_t(color) & 0xFF};
    do {
        DDRect r = rect ? *rect : DDRect{0, 0, width_, height_};
        lastResult_ = surfaces_[slot]->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx);
        if (lastResult_ == DDERR_SURFACELOST) {
            RestoreAll();
            return;
        }
    } while (lastResult_ == DDERR_WASSTILLDRAWING);
}

int32_t CDDWin::GetDisplayBits() {
    if (!directDraw_) return 0;
    DDSurfaceDesc desc;
    clearDesc(desc);
    lastResult_ = directDraw_->GetDisplayMode(&desc);
    if (lastResult_ != DD_OK) return 0;
    if (desc.pixelFormat.flags & (DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXED8)) return 8;
    if (desc.pixelFormat.flags & DDPF_RGB) return 16;
    return 0;
}

void* CDDWin::lockSurface(int32_t slot, DDSurfaceDesc& desc) {
    do {
        clearDesc(desc);
        lastResult_ = surfaces_[slot]->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
        if (lastResult_ == DD_OK) return desc.surface;
        if (lastResult_ == DDERR_SURFACELOST && !RestoreAll()) return nullptr;
    } while (lastResult_ == DDERR_WASSTILLDRAWING);
    return nullptr;
}

uint8_t CDDWin::pixelType() {
    switch (GetDisplayBits()) {
    case 8: return PIXEL_PAL8;
    case 16:
        return descs_[0].pixelFormat.greenMask == pixelTypes[PIXEL_RGB565].green.mask()
                   ? PIXEL_RGB565
                   : PIXEL_ARGB1555;
    default: return 255;
    }
}

// The primary is locked into a description of its own: slot 0's keeps the
// display mode that decides the pixel type.
bool CDDWin::readFrame(uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                       int32_t bytesPerPixel) {
    if (!filled(0) || width != width_ || height != height_) return false;
    WinPoint origin = {0, 0};
    if (windowed_) windows_->ClientToScreen(window_, &origin);
    DDSurfaceDesc desc;
    auto* primary = static_cast<const uint8_t*>(lockSurface(0, desc));
    if (!primary) return false;
    const bool inside = origin.x >= 0 && origin.y >= 0 &&
                        int64_t(origin.x) + width <= int64_t(desc.width) &&
                        int64_t(origin.y) + height <= int64_t(desc.height) &&
                        int32_t(desc.pixelFormat.rgbBitCount) == 8 * bytesPerPixel;
    if (inside) {
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(pixels + int64_t(y) * rowBytes,
                        primary + int64_t(origin.y + y) * desc.pitch +
                            int64_t(origin.x) * bytesPerPixel,
                        size_t(width) * bytesPerPixel);
    }
    surfaces_[0]->Unlock(desc.surface);
    return inside;
}

void DDErrorBox(WindowSystem* windows, WindowHandle window, const char* caption, DDResult code) {
    char text[80];
    std::snprintf(text, sizeof text, "DDERR %s", DDErrorName(code));
    DebugPrintf("%s\n", text);
    windows->MessageBoxA(window, text, caption, MB_OK);
}
