#include "screen/directdraw/ddraw_system.h"

#include <windows.h>

#include <ddraw.h>

#include <cstring>

namespace ddsys {

namespace {

IDirectDraw* directDraw = nullptr;
IDirectDrawSurface* primary = nullptr;
IDirectDrawSurface* frame = nullptr;
IDirectDrawClipper* clipper = nullptr;
IDirectDrawPalette* palette = nullptr;
HWND clipWindow = nullptr;
int32_t frameWidth = 0, frameHeight = 0;

template <class T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// The surfaces depend on the display mode: a new mode makes them again.
void releaseSurfaces() {
    if (primary && palette) primary->SetPalette(nullptr);
    release(palette);
    release(clipper);
    release(frame);
    release(primary);
    clipWindow = nullptr;
}

HRESULT restoreIfLost(IDirectDrawSurface* surface) {
    HRESULT r = surface->IsLost();
    if (r == DDERR_SURFACELOST) r = surface->Restore();
    return r;
}

HRESULT makePrimary(HWND window) {
    if (primary && clipWindow == window) return restoreIfLost(primary);
    release(clipper);
    if (!primary) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        HRESULT r = directDraw->CreateSurface(&desc, &primary, nullptr);
        if (r != DD_OK) {
            primary = nullptr;
            return r;
        }
    }
    clipWindow = window;
    if (!window) return DD_OK;
    HRESULT r = directDraw->CreateClipper(0, &clipper, nullptr);
    if (r != DD_OK) {
        clipper = nullptr;
        return r;
    }
    r = clipper->SetHWnd(0, window);
    if (r == DD_OK) r = primary->SetClipper(clipper);
    return r;
}

} // namespace

int32_t open() {
    if (directDraw) return DD_OK;
    HRESULT r = DirectDrawCreate(nullptr, &directDraw, nullptr);
    if (r != DD_OK) directDraw = nullptr;
    return r;
}

void close() {
    releaseSurfaces();
    release(directDraw);
}

int32_t setCooperativeLevel(void* window, uint32_t flags) {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    return directDraw->SetCooperativeLevel(static_cast<HWND>(window), flags);
}

int32_t setDisplayMode(uint32_t width, uint32_t height, uint32_t bits) {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    releaseSurfaces();
    return directDraw->SetDisplayMode(width, height, bits);
}

int32_t restoreDisplayMode() {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    releaseSurfaces();
    return directDraw->RestoreDisplayMode();
}

int32_t displayFormat(Format* out) {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    HRESULT r = directDraw->GetDisplayMode(&desc);
    if (r != DD_OK) return r;
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    *out = {int32_t(desc.dwWidth),
            int32_t(desc.dwHeight),
            int32_t(f.dwRGBBitCount),
            f.dwRBitMask,
            f.dwGBitMask,
            f.dwBBitMask,
            (f.dwFlags & DDPF_PALETTEINDEXED8) != 0};
    return DD_OK;
}

int32_t lockFrame(int32_t width, int32_t height, uint8_t** pixels, int32_t* pitch) {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    if (frame && (frameWidth != width || frameHeight != height)) release(frame);
    HRESULT r;
    if (!frame) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        r = directDraw->CreateSurface(&desc, &frame, nullptr);
        if (r != DD_OK) {
            frame = nullptr;
            return r;
        }
        frameWidth = width;
        frameHeight = height;
    } else if ((r = restoreIfLost(frame)) != DD_OK) {
        return r;
    }
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    r = frame->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    if (r != DD_OK) return r;
    *pixels = static_cast<uint8_t*>(desc.lpSurface);
    *pitch = int32_t(desc.lPitch);
    return DD_OK;
}

int32_t unlockFrame() {
    return frame ? frame->Unlock(nullptr) : DDERR_NOTINITIALIZED;
}

int32_t presentFrame(void* window, const int32_t rect[4]) {
    if (!directDraw || !frame) return DDERR_NOTINITIALIZED;
    HRESULT r = makePrimary(static_cast<HWND>(window));
    if (r != DD_OK) return r;
    RECT area = {rect[0], rect[1], rect[2], rect[3]};
    for (int attempt = 0; attempt < 2; ++attempt) {
        r = primary->Blt(&area, frame, &area, DDBLT_WAIT, nullptr);
        if (r != DDERR_SURFACELOST) break;
        if ((r = restoreIfLost(primary)) != DD_OK || (r = restoreIfLost(frame)) != DD_OK) break;
    }
    return r;
}

int32_t setPalette(const uint8_t* entries) {
    if (!directDraw) return DDERR_NOTINITIALIZED;
    HRESULT r = makePrimary(clipWindow);
    if (r != DD_OK) return r;
    PALETTEENTRY e[256];
    for (int i = 0; i < 256; ++i)
        e[i] = {entries[4 * i], entries[4 * i + 1], entries[4 * i + 2], 0};
    if (!palette) {
        r = directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, e, &palette, nullptr);
        if (r != DD_OK) {
            palette = nullptr;
            return r;
        }
        r = primary->SetPalette(palette);
        if (r == DDERR_SURFACELOST && (r = restoreIfLost(primary)) == DD_OK)
            r = primary->SetPalette(palette);
        return r;
    }
    return palette->SetEntries(0, 0, 256, e);
}

} // namespace ddsys
