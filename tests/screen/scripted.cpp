#include "scripted.h"

#include "screen/memory_display.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace scripted {
namespace {

std::vector<std::string> record;
std::map<std::string, std::pair<DDResult, int>> failures;
DDPaletteEntry sentEntries[256];

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char text[256];
    va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

std::string rect(const DDRect* r) {
    return r ? format("%d,%d,%d,%d", r->left, r->top, r->right, r->bottom) : "null";
}

// The headless layer's log names windows; here a window or none is enough.
std::string windowName(void* window) {
    return window ? "window" : "null";
}

// Records the call; true (with `result` set) when it is scripted to fail.
bool scripted(const std::string& call, DDResult& result) {
    record.push_back(call);
    std::string name = call.substr(0, call.find(' '));
    auto it = failures.find(name);
    if (it == failures.end() || it->second.second <= 0) return false;
    result = it->second.first;
    if (--it->second.second == 0) failures.erase(it);
    return true;
}

class Clipper final : public DDClipper {
  public:
    explicit Clipper(DDClipper* inner) : inner(inner) {}
    void Release() override {
        record.push_back("clipper.Release");
        inner->Release();
        delete this;
    }
    DDResult SetHWnd(uint32_t flags, void* window) override {
        DDResult r;
        if (scripted("clipper.SetHWnd " + windowName(window), r)) return r;
        return inner->SetHWnd(flags, window);
    }
    DDClipper* inner;
};

class Palette final : public DDPalette {
  public:
    explicit Palette(DDPalette* inner) : inner(inner) {}
    void Release() override {
        record.push_back("palette.Release");
        inner->Release();
        delete this;
    }
    DDResult SetEntries(uint32_t flags, uint32_t first, uint32_t count,
                        const DDPaletteEntry* entries) override {
        DDResult r;
        if (scripted(format("palette.SetEntries %u %u", first, count), r)) return r;
        if (first == 0 && count == 256) std::memcpy(sentEntries, entries, sizeof sentEntries);
        return inner->SetEntries(flags, first, count, entries);
    }
    DDPalette* inner;
};

class Surface final : public DDSurface {
  public:
    Surface(DDSurface* inner, std::string role) : inner(inner), role(std::move(role)) {}
    void Release() override {
        record.push_back(role + ".Release");
        inner->Release();
        delete this;
    }
    DDResult Lock(const DDRect* r, DDSurfaceDesc* desc, uint32_t flags, void* event) override {
        DDResult result;
        if (scripted(role + ".Lock", result)) return result;
        return inner->Lock(r, desc, flags, event);
    }
    DDResult Unlock(void* address) override {
        DDResult result;
        if (scripted(role + ".Unlock", result)) return result;
        return inner->Unlock(address);
    }
    DDResult Blt(const DDRect* dst, DDSurface* src, const DDRect* srcRect, uint32_t flags,
                 const DDBltFx* fx) override {
        DDResult result;
        std::string call =
            flags & DDBLT_COLORFILL
                ? format("%s.Blt colorfill %s %u", role.c_str(), rect(dst).c_str(),
                         fx ? fx->fillColor : 0)
                : format("%s.Blt %s <- %s %s flags=0x%X fx=0x%X", role.c_str(), rect(dst).c_str(),
                         src ? static_cast<Surface*>(src)->role.c_str() : "null",
                         rect(srcRect).c_str(), flags, fx ? fx->fx : 0);
        if (flags & DDBLT_DDFX && fx && fx->size != 100) call += " badsize";
        if (scripted(call, result)) return result;
        return inner->Blt(dst, src ? static_cast<Surface*>(src)->inner : nullptr, srcRect, flags,
                          fx);
    }
    DDResult BltFast(int32_t x, int32_t y, DDSurface* src, const DDRect* srcRect,
                     uint32_t flags) override {
        DDResult result;
        if (scripted(format("%s.BltFast %d,%d <- %s %s flags=0x%X", role.c_str(), x, y,
                            src ? static_cast<Surface*>(src)->role.c_str() : "null",
                            rect(srcRect).c_str(), flags),
                     result))
            return result;
        return inner->BltFast(x, y, src ? static_cast<Surface*>(src)->inner : nullptr, srcRect,
                              flags);
    }
    DDResult Restore() override {
        DDResult result;
        if (scripted(role + ".Restore", result)) return result;
        return inner->Restore();
    }
    DDResult SetColorKey(uint32_t flags, const DDColorKey* key) override {
        DDResult result;
        if (scripted(format("%s.SetColorKey 0x%X %u,%u", role.c_str(), flags, key->low, key->high),
                     result))
            return result;
        return inner->SetColorKey(flags, key);
    }
    DDResult SetClipper(DDClipper* clipper) override {
        DDResult result;
        if (scripted(role + ".SetClipper" + (clipper ? "" : " null"), result)) return result;
        return inner->SetClipper(clipper ? static_cast<Clipper*>(clipper)->inner : nullptr);
    }
    DDResult SetPalette(DDPalette* palette) override {
        DDResult result;
        if (scripted(role + ".SetPalette" + (palette ? "" : " null"), result)) return result;
        return inner->SetPalette(palette ? static_cast<Palette*>(palette)->inner : nullptr);
    }
    DDSurface* inner;
    std::string role;
};

class Object final : public DDObject {
  public:
    explicit Object(DDObject* inner) : inner(inner) {}
    void Release() override {
        record.push_back("Release");
        inner->Release();
        delete this;
    }
    DDResult SetCooperativeLevel(void* window, uint32_t flags) override {
        DDResult r;
        if (scripted(format("SetCooperativeLevel %s 0x%X", windowName(window).c_str(), flags), r))
            return r;
        return inner->SetCooperativeLevel(window, flags);
    }
    DDResult SetDisplayMode(uint32_t w, uint32_t h, uint32_t bits) override {
        DDResult r;
        if (scripted(format("SetDisplayMode %ux%ux%u", w, h, bits), r)) return r;
        return inner->SetDisplayMode(w, h, bits);
    }
    DDResult RestoreDisplayMode() override {
        DDResult r;
        if (scripted("RestoreDisplayMode", r)) return r;
        return inner->RestoreDisplayMode();
    }
    DDResult CreateSurface(const DDSurfaceDesc* desc, DDSurface** out, void* outer) override {
        DDResult r;
        bool primary = desc->caps & DDSCAPS_PRIMARYSURFACE;
        std::string call =
            primary ? format("CreateSurface primary flags=0x%X caps=0x%X", desc->flags, desc->caps)
                    : format("CreateSurface back flags=0x%X caps=0x%X %ux%u", desc->flags,
                             desc->caps, desc->width, desc->height);
        if (scripted(call, r)) {
            *out = nullptr;
            return r;
        }
        DDSurface* surface = nullptr;
        r = inner->CreateSurface(desc, &surface, outer);
        *out = r == DD_OK ? new Surface(surface, primary ? "primary" : "back") : nullptr;
        return r;
    }
    DDResult CreateClipper(uint32_t flags, DDClipper** out, void* outer) override {
        DDResult r;
        if (scripted(format("CreateClipper 0x%X", flags), r)) return r;
        DDClipper* clipper = nullptr;
        r = inner->CreateClipper(flags, &clipper, outer);
        *out = r == DD_OK ? new Clipper(clipper) : nullptr;
        return r;
    }
    DDResult CreatePalette(uint32_t caps, const DDPaletteEntry* entries, DDPalette** out,
                           void* outer) override {
        DDResult r;
        if (scripted(format("CreatePalette 0x%X", caps), r)) return r;
        DDPalette* palette = nullptr;
        r = inner->CreatePalette(caps, entries, &palette, outer);
        *out = r == DD_OK ? new Palette(palette) : nullptr;
        return r;
    }
    DDResult GetDisplayMode(DDSurfaceDesc* desc) override {
        DDResult r;
        if (scripted("GetDisplayMode", r)) return r;
        return inner->GetDisplayMode(desc);
    }
    DDObject* inner;
};

DDResult create(const void* guid, DDObject** out, void* outer) {
    DDResult r;
    if (scripted("DirectDrawCreate", r)) {
        *out = nullptr;
        return r;
    }
    DDObject* inner = nullptr;
    r = headlessDirectDrawCreate(guid, &inner, outer);
    *out = r == DD_OK ? new Object(inner) : nullptr;
    return r;
}

WindowSystem* windows() {
    return windowsHeadless();
}

const DisplayDriver scriptedDriver = {nullptr, nullptr, nullptr, create, windows};

} // namespace

const DisplayDriverRow driver = {"scripted", &scriptedDriver};

const std::vector<std::string>& calls() {
    return record;
}

void clear() {
    record.clear();
}

void fail(const std::string& name, DDResult result, int times) {
    failures[name] = {result, times};
}

void reset() {
    record.clear();
    failures.clear();
}

const DDPaletteEntry* lastPaletteEntries() {
    return sentEntries;
}

int count(const std::string& name) {
    int n = 0;
    for (const auto& call : record)
        n += call.substr(0, call.find(' ')) == name;
    return n;
}

} // namespace scripted
