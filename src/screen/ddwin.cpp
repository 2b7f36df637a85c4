// The display object over the DirectDraw-shaped driver interface.
#include "screen/ddwin.h"

#include "screen/driver.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

namespace {

void clearDesc(DDSurfaceDesc& desc) {
    std::memset(&desc, 0, sizeof desc);
    desc.size = sizeof desc;
}

} // namespace

CDDWin::CDDWin()
    : windowed(1), width(0), height(0), bitsPerPixel(0), window(nullptr), clipper(nullptr),
      lastResult(0), directDraw(nullptr), palette(nullptr) {
    for (int i = 0; i < 256; ++i)
        paletteEntries[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    for (int i = 0; i < slotCount; ++i) {
        surfaces[i] = nullptr;
        colorKeys[i] = -1;
    }
    std::memset(descs, 0, sizeof descs);
}

bool CDDWin::Create() {
    if (directDraw) ReleaseAll();
    lastResult = displayDirectDrawCreate(nullptr, &directDraw, nullptr);
    if (lastResult != DD_OK) {
        directDraw = nullptr;
        ReleaseAll();
        return false;
    }
    return true;
}

bool CDDWin::createSurface(int32_t slot, const DDSurfaceDesc& desc) {
    lastResult = directDraw->CreateSurface(&desc, &surfaces[slot], nullptr);
    if (lastResult != DD_OK) surfaces[slot] = nullptr;
    return lastResult == DD_OK;
}

bool CDDWin::Init(void* win, int32_t isWindowed, int32_t w, int32_t h, int32_t bits,
                  const uint8_t* source) {
    if (!Create()) return false;

    windowed = isWindowed;
    width = w;
    height = h;
    bitsPerPixel = bits;
    clearDesc(descs[0]);
    clearDesc(descs[1]);

    lastResult = directDraw->SetCooperativeLevel(
        win, windowed ? DDSCL_NORMAL : DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWMODEX);
    if (lastResult != DD_OK) {
        directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        for (int i = 0; i < restoreDisplayModeAttempts; ++i)
            if (directDraw->RestoreDisplayMode() == DD_OK) break;
        ReleaseAll();
        return false;
    }

    if (!windowed) {
        ChangeDisplayMode(w, h, bits);
        if (lastResult != DD_OK) {
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
    if (ok && windowed) {
        lastResult = directDraw->CreateClipper(0, &clipper, nullptr);
        if (lastResult != DD_OK) clipper = nullptr;
        ok = lastResult == DD_OK;
        if (ok) ok = (lastResult = clipper->SetHWnd(0, win)) == DD_OK;
        if (ok) ok = (lastResult = surfaces[0]->SetClipper(clipper)) == DD_OK;
    }
    if (ok) ok = RestoreAll();
    if (!ok) {
        ReleaseAll();
        return false;
    }

    window = win;
    Lock(1);
    Unlock(1);

    clearDesc(descs[0]);
    lastResult = directDraw->GetDisplayMode(&descs[0]);

    const DDRect whole = {0, 0, w, h};
    for (int i = 0; i < 2; ++i) {
        Clear(&whole, 0, 1);
        Present(nullptr);
    }

    if (!palette) {
        lastResult = directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256,
                                               paletteEntries, &palette, nullptr);
        if (lastResult != DD_OK) {
            palette = nullptr;
            return false;
        }
        lastResult = surfaces[0]->SetPalette(palette);
        lastResult = surfaces[1]->SetPalette(palette);
    }

    if (source) {
        SetPaletteEntries(source);
        ApplyPalette();
    }
    return true;
}

bool CDDWin::ChangeDisplayMode(int32_t w, int32_t h, int32_t bits) {
    if (!directDraw) return false;
    lastResult = directDraw->SetDisplayMode(uint32_t(w), uint32_t(h), uint32_t(bits));
    if (lastResult != DD_OK) {
        DebugPrintf("CDDWin::ChangeDisplayMode failed: %x\n", unsigned(lastResult));
        return false;
    }
    return true;
}

void CDDWin::Shutdown() {
    if (directDraw) {
        lastResult = directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        for (int i = 0; i < restoreDisplayModeAttempts; ++i)
            if ((lastResult = directDraw->RestoreDisplayMode()) == DD_OK) break;
    }
    ReleaseAll();
}

// The back surface is released in both modes: it is created the same way
// in both, and keeping it alive past its display object would leak it.
void CDDWin::ReleaseAll() {
    if (clipper) clipper->Release();
    if (palette) {
        if (surfaces[0]) surfaces[0]->SetPalette(nullptr);
        palette->Release();
    }
    for (int i = slotCount - 1; i >= 0; --i) {
        if (surfaces[i]) surfaces[i]->Release();
        surfaces[i] = nullptr;
        colorKeys[i] = -1;
    }
    if (directDraw) directDraw->Release();
    window = nullptr;
    clipper = nullptr;
    directDraw = nullptr;
    palette = nullptr;
}

bool CDDWin::RestoreAll() {
    if (!directDraw) return false;
    if (!surfaces[0]) return false;
    lastResult = surfaces[0]->Restore();
    if (lastResult != DD_OK) return false;
    if (palette) {
        palette->Release();
        palette = nullptr;
        lastResult = directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, paletteEntries,
                                               &palette, nullptr);
        if (lastResult != DD_OK) {
            palette = nullptr;
            return false;
        }
        lastResult = surfaces[0]->SetPalette(palette);
    }
    for (int i = windowed ? 1 : 2; i < slotCount; ++i) {
        if (!surfaces[i]) continue;
        lastResult = surfaces[i]->Restore();
        if (lastResult != DD_OK) return false;
        if (colorKeys[i] >= 0) SetColorKey(i, colorKeys[i]);
    }
    lastResult = DD_OK;
    return true;
}

bool CDDWin::Present(const DDRect* rect) {
    if (!filled(0) || !surfaces[1]) return false;
    do {
        if (windowed) {
            WindowSystem* ws = displayWindows();
            WinRect client;
            WinPoint origin = {0, 0};
            ws->GetClientRect(window, &client);
            ws->ClientToScreen(window, &origin);
            DDRect src = rect ? *rect : DDRect{0, 0, width, height};
            DDRect dst = {origin.x + src.left, origin.y + src.top, origin.x + src.right,
                          origin.y + src.bottom};
            DDBltFx fx = {100, DDBLTFX_NOTEARING, 0};
            lastResult = surfaces[0]->Blt(&dst, surfaces[1], &src, DDBLT_DDFX, &fx);
        } else {
            DDRect src = rect ? *rect : DDRect{0, 0, width, height};
            lastResult = surfaces[0]->BltFast(src.left, src.top, surfaces[1], &src, 0);
        }
    } while (lastResult == DDERR_WASSTILLDRAWING);
    if (lastResult == DD_OK) return true;
    if (lastResult == DDERR_SURFACELOST) RestoreAll();
    return false;
}

void* CDDWin::Lock(int32_t slot) {
    if (!filled(slot)) return nullptr;
    do {
        clearDesc(descs[slot]);
        lastResult = surfaces[slot]->Lock(nullptr, &descs[slot], DDLOCK_WAIT, nullptr);
        if (lastResult == DD_OK) return descs[slot].surface;
        if (lastResult == DDERR_SURFACELOST && !RestoreAll()) return nullptr;
    } while (lastResult == DDERR_WASSTILLDRAWING);
    return nullptr;
}

void CDDWin::Unlock(int32_t slot) {
    if (!filled(slot)) return;
    surfaces[slot]->Unlock(descs[slot].surface);
}

int32_t CDDWin::GetPitch(int32_t slot) {
    if (!directDraw || slot < 0 || slot >= slotCount) return 0;
    return descs[slot].pitch;
}

bool CDDWin::SetPaletteEntries(const uint8_t* source) {
    if (!directDraw) return false;
    if (!source) return true;
    for (int i = 0; i < 256; ++i)
        paletteEntries[i] = {source[4 * i], source[4 * i + 1], source[4 * i + 2], PC_RESERVED};
    return true;
}

void CDDWin::ApplyPalette() {
    if (!directDraw || !palette) return;
    lastResult = palette->SetEntries(0, 0, 256, paletteEntries);
    if (lastResult != DD_OK && surfaces[0]) {
        lastResult = surfaces[0]->SetPalette(palette);
        if (lastResult == DDERR_SURFACELOST) RestoreAll();
    }
}

void CDDWin::SetColorKey(int32_t slot, int32_t key) {
    if (!filled(slot)) return;
    DDColorKey colorKey = {uint32_t(key), uint32_t(key)};
    lastResult = surfaces[slot]->SetColorKey(DDCKEY_SRCBLT, &colorKey);
    colorKeys[slot] = key;
}

void CDDWin::Clear(const DDRect* rect, int32_t color, int32_t slot) {
    if (!filled(slot)) return;
    DDBltFx fx = {100, 0, uint32_t(color) & 0xFF};
    do {
        DDRect r = rect ? *rect : DDRect{0, 0, width, height};
        lastResult = surfaces[slot]->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx);
        if (lastResult == DDERR_SURFACELOST) {
            RestoreAll();
            return;
        }
    } while (lastResult == DDERR_WASSTILLDRAWING);
}

int32_t CDDWin::GetDisplayBits() {
    if (!directDraw) return 0;
    DDSurfaceDesc desc;
    clearDesc(desc);
    lastResult = directDraw->GetDisplayMode(&desc);
    if (lastResult != DD_OK) return 0;
    if (desc.pixelFormat.flags & (DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXED8)) return 8;
    if (desc.pixelFormat.flags & DDPF_RGB) return 16;
    return 0;
}

void DDErrorBox(const char* caption, DDResult code) {
    char text[80];
    std::snprintf(text, sizeof text, "DDERR %s", DDErrorName(code));
    DebugPrintf("%s\n", text);
    displayWindows()->MessageBoxA(screenDisplayWindow(), text, caption, MB_OK);
}

extern "C" uint8_t ScreenGetPixelType(void) {
    CDDWin* display = screenDisplayObject();
    if (!display) return 255;
    switch (display->GetDisplayBits()) {
    case 8: return PIXEL_PAL8;
    case 16:
        return display->descs[0].pixelFormat.greenMask == 0x7E0 ? PIXEL_RGB565 : PIXEL_ARGB1555;
    default: return 255;
    }
}
