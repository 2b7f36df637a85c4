#include "scripted.h"

#include "screen/memory_display.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace scripted {

std::vector<std::string> calls;
DDPaletteEntry sentEntries[256];
const void* backMemory = nullptr;

namespace {

std::map<std::string, std::pair<DDResult, int>> failures;

template <class... Args>
std::string format(const char* f, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, f, args...);
    return text;
}

std::string rect(const DDRect* r) {
    return r ? format("%d,%d,%d,%d", r->left, r->top, r->right, r->bottom) : "null";
}

// Records the call; answers its scripted result, or runs it.
template <class Run>
DDResult call(const std::string& text, Run run) {
    calls.push_back(text);
    auto it = failures.find(text.substr(0, text.find(' ')));
    if (it == failures.end()) return run();
    const DDResult result = it->second.first;
    if (--it->second.second <= 0) failures.erase(it);
    return result;
}

// Wraps an object of the headless display under a name for the record.
template <class Interface>
class Wrapped : public Interface {
  public:
    Wrapped(Interface* inner, std::string role) : inner(inner), role(std::move(role)) {}
    virtual ~Wrapped() = default;
    void Release() override {
        calls.push_back(role.empty() ? "Release" : role + ".Release");
        if (role == "back") backMemory = nullptr;
        inner->Release();
        delete this;
    }
    Interface* inner;
    std::string role;
};

// Wraps the object the headless display made, if it made one.
template <class Wrapper, class Interface>
DDResult wrapped(DDResult result, Interface** out, const char* role) {
    *out = result == DD_OK ? new Wrapper(*out, role) : nullptr;
    return result;
}

class Palette final : public Wrapped<DDPalette> {
  public:
    using Wrapped::Wrapped;
    DDResult SetEntries(uint32_t flags, uint32_t first, uint32_t count,
                        const DDPaletteEntry* entries) override {
        return call(format("palette.SetEntries %u %u", first, count), [&] {
            if (first == 0 && count == 256) std::memcpy(sentEntries, entries, sizeof sentEntries);
            return inner->SetEntries(flags, first, count, entries);
        });
    }
};

class Surface final : public Wrapped<DDSurface> {
  public:
    using Wrapped::Wrapped;
    static DDSurface* unwrap(DDSurface* s) { return s ? static_cast<Surface*>(s)->inner : nullptr; }
    static const char* name(DDSurface* s) {
        return s ? static_cast<Surface*>(s)->role.c_str() : "null";
    }
    DDResult Lock(const DDRect* r, DDSurfaceDesc* desc, uint32_t flags, void* event) override {
        return call(role + ".Lock", [&] {
            DDResult result = inner->Lock(r, desc, flags, event);
            if (result == DD_OK && role == "back") backMemory = desc->surface;
            return result;
        });
    }
    DDResult Unlock(void* address) override {
        return call(role + ".Unlock", [&] { return inner->Unlock(address); });
    }
    DDResult Blt(const DDRect* dst, DDSurface* src, const DDRect* srcRect, uint32_t flags,
                 const DDBltFx* fx) override {
        std::string text = format("%s.Blt %s <- %s %s flags=0x%X", role.c_str(), rect(dst).c_str(),
                                  name(src), rect(srcRect).c_str(), flags);
        if (fx)
            text += format(flags & DDBLT_COLORFILL ? " fill=%u" : " fx=0x%X",
                           flags & DDBLT_COLORFILL ? fx->fillColor : fx->fx);
        if (flags & DDBLT_DDFX && fx && fx->size != 100) text += " badsize";
        return call(text, [&] { return inner->Blt(dst, unwrap(src), srcRect, flags, fx); });
    }
    DDResult BltFast(int32_t x, int32_t y, DDSurface* src, const DDRect* srcRect,
                     uint32_t flags) override {
        return call(format("%s.BltFast %d,%d <- %s %s flags=0x%X", role.c_str(), x, y, name(src),
                           rect(srcRect).c_str(), flags),
                    [&] { return inner->BltFast(x, y, unwrap(src), srcRect, flags); });
    }
    DDResult Restore() override {
        return call(role + ".Restore", [&] { return inner->Restore(); });
    }
    DDResult SetColorKey(uint32_t flags, const DDColorKey* key) override {
        return call(format("%s.SetColorKey 0x%X %u,%u", role.c_str(), flags, key->low, key->high),
                    [&] { return inner->SetColorKey(flags, key); });
    }
    DDResult SetClipper(DDClipper* clipper) override {
        return call(role + ".SetClipper", [&] { return inner->SetClipper(clipper); });
    }
    DDResult SetPalette(DDPalette* palette) override {
        return call(role + ".SetPalette" + (palette ? "" : " null"), [&] {
            return inner->SetPalette(palette ? static_cast<Palette*>(palette)->inner : nullptr);
        });
    }
};

class Object final : public Wrapped<DDObject> {
  public:
    using Wrapped::Wrapped;
    DDResult SetCooperativeLevel(void* window, uint32_t flags) override {
        return call(format("SetCooperativeLevel %s 0x%X", window ? "window" : "null", flags),
                    [&] { return inner->SetCooperativeLevel(window, flags); });
    }
    DDResult SetDisplayMode(uint32_t w, uint32_t h, uint32_t bits) override {
        return call(format("SetDisplayMode %ux%ux%u", w, h, bits),
                    [&] { return inner->SetDisplayMode(w, h, bits); });
    }
    DDResult RestoreDisplayMode() override {
        return call("RestoreDisplayMode", [&] { return inner->RestoreDisplayMode(); });
    }
    DDResult CreateSurface(const DDSurfaceDesc* desc, DDSurface** out, void* outer) override {
        const char* role = desc->caps & DDSCAPS_PRIMARYSURFACE ? "primary" : "back";
        return call(std::string("CreateSurface ") + role, [&] {
            return wrapped<Surface>(inner->CreateSurface(desc, out, outer), out, role);
        });
    }
    DDResult CreateClipper(uint32_t flags, DDClipper** out, void* outer) override {
        return call("CreateClipper", [&] { return inner->CreateClipper(flags, out, outer); });
    }
    DDResult CreatePalette(uint32_t caps, const DDPaletteEntry* entries, DDPalette** out,
                           void* outer) override {
        return call(format("CreatePalette 0x%X", caps), [&] {
            return wrapped<Palette>(inner->CreatePalette(caps, entries, out, outer), out,
                                    "palette");
        });
    }
    DDResult GetDisplayMode(DDSurfaceDesc* desc) override {
        return call("GetDisplayMode", [&] { return inner->GetDisplayMode(desc); });
    }
};

DDResult create(const void* guid, DDObject** out, void* outer) {
    return call("DirectDrawCreate", [&] {
        return wrapped<Object>(headlessDirectDrawCreate(guid, out, outer), out, "");
    });
}

const DisplayDriver scriptedDriver = {nullptr, nullptr, nullptr, create,
                                      []() -> WindowSystem* { return windowsHeadless(); }};

} // namespace

const DisplayDriverRow driver = {"scripted", &scriptedDriver};

void fail(const std::string& name, DDResult result, int times) {
    failures[name] = {result, times};
}

void reset() {
    calls.clear();
    failures.clear();
}

int count(const std::string& name) {
    int n = 0;
    for (const auto& text : calls)
        n += text.substr(0, text.find(' ')) == name;
    return n;
}

} // namespace scripted
