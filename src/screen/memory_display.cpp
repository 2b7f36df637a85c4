// The memory display: DirectDraw-shaped objects over plain memory.
#include "screen/memory_display.h"

#include "memory.h"

#include <cstring>
#include <new>

namespace {

constexpr DisplayFormat defaultDesktop = {1024, 768, 16, 0x7E0};
DisplayFormat desktopFormat = defaultDesktop;
uint32_t modeGreenMask = 0x7E0;
// Bumped by memoryDisplayLoseSurfaces: a video-memory surface restored
// before the last bump is lost.
uint32_t losses = 0;

template <class T, class... Args>
T* make(Args... args) {
    void* block = memAlloc(sizeof(T));
    return block ? new (block) T(args...) : nullptr;
}

template <class T>
void destroy(T* object) {
    object->~T();
    memFree(object);
}

void describeFormat(const DisplayFormat& f, DDPixelFormat* pf) {
    std::memset(pf, 0, sizeof *pf);
    pf->size = sizeof *pf;
    pf->rgbBitCount = uint32_t(f.bits);
    if (f.bits == 8) {
        pf->flags = DDPF_PALETTEINDEXED8 | DDPF_RGB;
    } else if (f.bits == 16) {
        pf->flags = DDPF_RGB;
        pf->greenMask = f.greenMask;
        pf->redMask = f.greenMask == 0x7E0 ? 0xF800 : 0x7C00;
        pf->blueMask = 0x1F;
    } else {
        pf->flags = DDPF_RGB;
        pf->redMask = 0xFF0000;
        pf->greenMask = 0xFF00;
        pf->blueMask = 0xFF;
    }
}

// Intersection of a rectangle with (0, 0, width, height); false when empty.
bool clipTo(DDRect& r, int32_t width, int32_t height) {
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > width) r.right = width;
    if (r.bottom > height) r.bottom = height;
    return r.left < r.right && r.top < r.bottom;
}

bool inside(const DDRect& r, int32_t width, int32_t height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           r.right <= width && r.bottom <= height;
}

class MemObject;
class MemPalette;

// Clippers and palettes are shared by the surfaces they are attached to:
// each holds a count of its owners (the creator and every surface).
class MemClipper final : public DDClipper {
  public:
    void Release() override {
        if (--refs == 0) destroy(this);
    }
    DDResult SetHWnd(uint32_t, void* w) override {
        window = w;
        return DD_OK;
    }
    int refs = 1;
    void* window = nullptr;
};

class MemSurface;

class MemPalette final : public DDPalette {
  public:
    explicit MemPalette(const DDPaletteEntry* e) { std::memcpy(entries, e, sizeof entries); }
    void Release() override {
        if (--refs == 0) destroy(this);
    }
    DDResult SetEntries(uint32_t, uint32_t first, uint32_t count, const DDPaletteEntry* e) override;
    int refs = 1;
    DDPaletteEntry entries[256];
    MemSurface* primary = nullptr; // the primary surface showing it
};

class MemSurface final : public DDSurface {
  public:
    MemSurface(MemObject* owner, const DisplayFormat& f, bool isPrimary, bool inVideoMemory,
               uint8_t* memory, int32_t pitch)
        : owner(owner), format(f), isPrimary(isPrimary), inVideoMemory(inVideoMemory),
          pixels(memory), pitch(pitch) {}
    ~MemSurface() {
        if (clipper) clipper->Release();
        setPalette(nullptr);
        memFree(pixels);
    }
    void Release() override;
    DDResult Lock(const DDRect* rect, DDSurfaceDesc* desc, uint32_t, void*) override {
        if (!desc || desc->size != sizeof(DDSurfaceDesc)) return DDERR_INVALIDPARAMS;
        if (lost()) return DDERR_SURFACELOST;
        DDRect r = rect ? *rect : DDRect{0, 0, format.width, format.height};
        if (!inside(r, format.width, format.height)) return DDERR_INVALIDRECT;
        desc->flags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
        desc->width = uint32_t(format.width);
        desc->height = uint32_t(format.height);
        desc->pitch = pitch;
        desc->surface = pixels + size_t(r.top) * size_t(pitch) + size_t(r.left) * bytes();
        describeFormat(format, &desc->pixelFormat);
        ++locks;
        return DD_OK;
    }
    DDResult Unlock(void*) override {
        if (locks == 0) return DDERR_NOTLOCKED;
        --locks;
        return DD_OK;
    }
    DDResult Blt(const DDRect* dst, DDSurface* src, const DDRect* srcRect, uint32_t flags,
                 const DDBltFx* fx) override;
    DDResult BltFast(int32_t x, int32_t y, DDSurface* src, const DDRect* srcRect,
                     uint32_t) override {
        auto* from = static_cast<MemSurface*>(src);
        if (!from) return DDERR_INVALIDPARAMS;
        if (lost() || from->lost()) return DDERR_SURFACELOST;
        DDRect s = srcRect ? *srcRect : DDRect{0, 0, from->format.width, from->format.height};
        DDRect d = {x, y, x + (s.right - s.left), y + (s.bottom - s.top)};
        if (!inside(s, from->format.width, from->format.height) ||
            !inside(d, format.width, format.height))
            return DDERR_INVALIDRECT;
        return copyFrom(from, s, d);
    }
    DDResult Restore() override {
        restoredAt = losses;
        return DD_OK;
    }
    DDResult SetColorKey(uint32_t, const DDColorKey* key) override {
        if (!key) return DDERR_INVALIDPARAMS;
        colorKey = *key;
        return DD_OK;
    }
    DDResult SetClipper(DDClipper* c) override {
        auto* next = static_cast<MemClipper*>(c);
        if (next) ++next->refs;
        if (clipper) clipper->Release();
        clipper = next;
        return DD_OK;
    }
    DDResult SetPalette(DDPalette* p) override {
        if (p && format.bits != 8) return DDERR_NOTPALETTIZED;
        setPalette(static_cast<MemPalette*>(p));
        if (isPrimary) present({0, 0, format.width, format.height});
        return DD_OK;
    }
    // Shows a changed part of the primary surface through the driver.
    void present(const DDRect& dirty);

    size_t bytes() const { return size_t(format.bits / 8); }
    bool lost() const { return inVideoMemory && restoredAt != losses; }

  private:
    void setPalette(MemPalette* p) {
        if (p) ++p->refs;
        if (palette) {
            if (palette->primary == this) palette->primary = nullptr;
            palette->Release();
        }
        palette = p;
        if (p && isPrimary) p->primary = this;
    }
    DDResult copyFrom(MemSurface* from, const DDRect& s, const DDRect& d);
    void fill(const DDRect& d, uint32_t color);

    MemObject* owner;
    DisplayFormat format;
    bool isPrimary;
    bool inVideoMemory;
    uint32_t restoredAt = losses;
    uint8_t* pixels;
    int32_t pitch;
    int locks = 0;
    DDColorKey colorKey = {0, 0};
    MemClipper* clipper = nullptr;
    MemPalette* palette = nullptr;
};

class MemObject final : public DDObject {
  public:
    explicit MemObject(const MemoryDisplayHooks* hooks) : hooks(hooks), mode(desktop()) {}
    DisplayFormat desktop() const {
        return hooks && hooks->desktop ? hooks->desktop() : desktopFormat;
    }
    WindowSystem* windows() const {
        return hooks && hooks->windows ? hooks->windows() : windowsHeadless();
    }
    void Release() override { destroy(this); }
    DDResult SetCooperativeLevel(void* w, uint32_t flags) override {
        bool exclusive =
            (flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) == (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
        if (!exclusive && !(flags & DDSCL_NORMAL)) return DDERR_INVALIDPARAMS;
        if (exclusive && !w) return DDERR_NOHWND;
        if (hooks && hooks->setCooperativeLevel) {
            DDResult r = hooks->setCooperativeLevel(w, flags);
            if (r != DD_OK) return r;
        }
        window = w;
        levelSet = true;
        isExclusive = exclusive;
        return DD_OK;
    }
    DDResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override {
        if (!isExclusive) return DDERR_NOEXCLUSIVEMODE;
        if (width < 1 || height < 1 || width > uint32_t(memoryDisplayMaxSide) ||
            height > uint32_t(memoryDisplayMaxSide) || (bits != 8 && bits != 16 && bits != 32))
            return DDERR_INVALIDMODE;
        DisplayFormat next = {int32_t(width), int32_t(height), int32_t(bits),
                              bits == 16 ? modeGreenMask : 0};
        if (hooks && hooks->setDisplayMode) {
            DDResult r = hooks->setDisplayMode(window, next);
            if (r != DD_OK) return r;
        }
        mode = next;
        return DD_OK;
    }
    DDResult RestoreDisplayMode() override {
        if (hooks && hooks->restoreDisplayMode) hooks->restoreDisplayMode(window);
        mode = desktop();
        return DD_OK;
    }
    DDResult CreateSurface(const DDSurfaceDesc* desc, DDSurface** out, void*) override {
        if (!out) return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (!desc || !(desc->flags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
        if (!levelSet) return DDERR_NOCOOPERATIVELEVELSET;
        DisplayFormat format = mode;
        bool isPrimary = desc->caps & DDSCAPS_PRIMARYSURFACE;
        if (isPrimary) {
            if (primaries > 0) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        } else {
            if ((desc->flags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
                return DDERR_INVALIDPARAMS;
            if (desc->width < 1 || desc->height < 1 ||
                desc->width > uint32_t(memoryDisplayMaxSide) ||
                desc->height > uint32_t(memoryDisplayMaxSide))
                return DDERR_INVALIDPARAMS;
            format.width = int32_t(desc->width);
            format.height = int32_t(desc->height);
        }
        // Rows 16-byte aligned, one spare row and some spare bytes: the
        // drawing routines may read a few bytes past a row's last pixel.
        int32_t pitch = (format.width * (format.bits / 8) + 15) & ~15;
        auto* memory = static_cast<uint8_t*>(memAlloc(size_t(pitch) * (format.height + 1) + 16));
        if (!memory) return DDERR_OUTOFMEMORY;
        std::memset(memory, 0, size_t(pitch) * (format.height + 1) + 16);
        MemSurface* s = make<MemSurface>(this, format, isPrimary,
                                         !(desc->caps & DDSCAPS_SYSTEMMEMORY), memory, pitch);
        if (!s) {
            memFree(memory);
            return DDERR_OUTOFMEMORY;
        }
        primaries += isPrimary;
        *out = s;
        return DD_OK;
    }
    DDResult CreateClipper(uint32_t, DDClipper** out, void*) override {
        if (!out) return DDERR_INVALIDPARAMS;
        *out = make<MemClipper>();
        return *out ? DD_OK : DDERR_OUTOFMEMORY;
    }
    DDResult CreatePalette(uint32_t caps, const DDPaletteEntry* entries, DDPalette** out,
                           void*) override {
        if (!out) return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (!(caps & DDPCAPS_8BIT) || !entries) return DDERR_INVALIDPARAMS;
        *out = make<MemPalette>(entries);
        return *out ? DD_OK : DDERR_OUTOFMEMORY;
    }
    DDResult GetDisplayMode(DDSurfaceDesc* desc) override {
        if (!desc || desc->size != sizeof(DDSurfaceDesc)) return DDERR_INVALIDPARAMS;
        desc->flags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
        desc->width = uint32_t(mode.width);
        desc->height = uint32_t(mode.height);
        desc->pitch = mode.width * (mode.bits / 8);
        describeFormat(mode, &desc->pixelFormat);
        return DD_OK;
    }

    const MemoryDisplayHooks* hooks;
    DisplayFormat mode;
    void* window = nullptr;
    bool levelSet = false;
    bool isExclusive = false;
    int primaries = 0;
};

void MemSurface::Release() {
    if (isPrimary) --owner->primaries;
    destroy(this);
}

void MemSurface::present(const DDRect& dirty) {
    const MemoryDisplayHooks* hooks = owner->hooks;
    if (!hooks || !hooks->present) return;
    DDRect r = dirty;
    if (!clipTo(r, format.width, format.height)) return;
    hooks->present(owner->window, pixels, pitch, format, r,
                   format.bits == 8 && palette ? palette->entries : nullptr);
}

DDResult MemPalette::SetEntries(uint32_t, uint32_t first, uint32_t count, const DDPaletteEntry* e) {
    if (!e || first > 256 || count > 256 - first) return DDERR_INVALIDPARAMS;
    std::memcpy(entries + first, e, sizeof(DDPaletteEntry) * count);
    if (primary) primary->present({0, 0, 1 << 30, 1 << 30});
    return DD_OK;
}

DDResult MemSurface::Blt(const DDRect* dst, DDSurface* src, const DDRect* srcRect, uint32_t flags,
                         const DDBltFx* fx) {
    auto* from = static_cast<MemSurface*>(src);
    if (lost() || (from && from->lost())) return DDERR_SURFACELOST;
    DDRect d = dst ? *dst : DDRect{0, 0, format.width, format.height};
    if (flags & DDBLT_COLORFILL) {
        if (!fx) return DDERR_INVALIDPARAMS;
        if (!clipper && !inside(d, format.width, format.height)) return DDERR_INVALIDRECT;
        if (clipTo(d, format.width, format.height)) fill(d, fx->fillColor);
        return DD_OK;
    }
    if (!from) return DDERR_INVALIDPARAMS;
    DDRect s = srcRect ? *srcRect : DDRect{0, 0, from->format.width, from->format.height};
    if (!inside(s, from->format.width, from->format.height)) return DDERR_INVALIDRECT;
    if (s.right - s.left != d.right - d.left || s.bottom - s.top != d.bottom - d.top)
        return DDERR_NOSTRETCHHW;
    if (clipper) {
        // Clip the destination to the clipper window's client area on the
        // screen and to the surface, moving the source edges alike.
        DDRect c = {0, 0, format.width, format.height};
        WinRect client;
        WinPoint origin = {0, 0};
        WindowSystem* ws = owner->windows();
        if (clipper->window && ws->GetClientRect(clipper->window, &client) &&
            ws->ClientToScreen(clipper->window, &origin)) {
            c = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
            clipTo(c, format.width, format.height);
        }
        DDRect clipped = d;
        if (clipped.left < c.left) clipped.left = c.left;
        if (clipped.top < c.top) clipped.top = c.top;
        if (clipped.right > c.right) clipped.right = c.right;
        if (clipped.bottom > c.bottom) clipped.bottom = c.bottom;
        if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return DD_OK;
        s.left += clipped.left - d.left;
        s.top += clipped.top - d.top;
        s.right -= d.right - clipped.right;
        s.bottom -= d.bottom - clipped.bottom;
        d = clipped;
    } else if (!inside(d, format.width, format.height)) {
        return DDERR_INVALIDRECT;
    }
    return copyFrom(from, s, d);
}

DDResult MemSurface::copyFrom(MemSurface* from, const DDRect& s, const DDRect& d) {
    if (from->format.bits != format.bits) return DDERR_INVALIDPIXELFORMAT;
    const size_t rowBytes = size_t(d.right - d.left) * bytes();
    const int32_t rows = d.bottom - d.top;
    // Rows overlap only on a blit within one surface; copy them in the
    // order that reads each source row before it is overwritten.
    const bool upward = from == this && d.top > s.top;
    for (int32_t i = 0; i < rows; ++i) {
        int32_t row = upward ? rows - 1 - i : i;
        std::memmove(pixels + size_t(d.top + row) * pitch + size_t(d.left) * bytes(),
                     from->pixels + size_t(s.top + row) * from->pitch + size_t(s.left) * bytes(),
                     rowBytes);
    }
    if (isPrimary) present(d);
    return DD_OK;
}

void MemSurface::fill(const DDRect& d, uint32_t color) {
    for (int32_t y = d.top; y < d.bottom; ++y) {
        uint8_t* row = pixels + size_t(y) * pitch;
        for (int32_t x = d.left; x < d.right; ++x) {
            switch (format.bits) {
            case 8: row[x] = uint8_t(color); break;
            case 16: std::memcpy(row + 2 * x, &color, 2); break;
            default: std::memcpy(row + 4 * x, &color, 4); break;
            }
        }
    }
    if (isPrimary) present(d);
}

} // namespace

DDResult memoryDisplayCreate(const MemoryDisplayHooks* hooks, DDObject** out) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = make<MemObject>(hooks);
    return *out ? DD_OK : DDERR_OUTOFMEMORY;
}

DDResult headlessDirectDrawCreate(const void* guid, DDObject** out, void* outer) {
    if (guid || outer) return DDERR_INVALIDPARAMS;
    return memoryDisplayCreate(nullptr, out);
}

void memoryDisplaySetDesktop(const DisplayFormat& desktop) {
    if (desktop.width < 1 || desktop.height < 1 || desktop.width > memoryDisplayMaxSide ||
        desktop.height > memoryDisplayMaxSide ||
        (desktop.bits != 8 && desktop.bits != 16 && desktop.bits != 32))
        return;
    desktopFormat = desktop;
}

DisplayFormat memoryDisplayDesktop() {
    return desktopFormat;
}

void memoryDisplaySetModeGreenMask(uint32_t greenMask) {
    modeGreenMask = greenMask;
}

void memoryDisplayLoseSurfaces() {
    ++losses;
}

void memoryDisplayResetDefaults() {
    desktopFormat = defaultDesktop;
    modeGreenMask = 0x7E0;
}
