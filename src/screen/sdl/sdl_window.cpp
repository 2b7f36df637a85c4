// The SDL2 window layer: windows the library makes are real SDL windows,
// and a window handle is an SDL_Window*; a handle that is no SDL window is
// treated as the headless layer treats it. SDL has no window procedures,
// system palette or system colours; those stay the headless layer's
// bookkeeping, which this layer shares.
#include "screen/sdl/sdl.h"

#include <SDL.h>

namespace {

class WindowsSdl final : public WindowsHeadless {
  public:
    WindowHandle CreateWindowExA(uint32_t exStyle, const char* className, const char* title,
                                 uint32_t style, int32_t x, int32_t y, int32_t width,
                                 int32_t height, WindowHandle parent, void* menu, void* instance,
                                 void* param) override {
        log("CreateWindowExA ex=0x%X class=%s title=%s style=0x%X %d,%d %dx%d parent=%s "
            "menu=%s instance=%s (SDL)",
            exStyle, className ? className : "(null)", title ? title : "(null)", style, x, y, width,
            height, parent ? "set" : "none", menu ? "set" : "none", instance ? "set" : "none");
        (void)param;
        uint32_t flags = SDL_WINDOW_HIDDEN;
        if (style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
        if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        SDL_Window* window = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
        if (!window) return nullptr;
        if (!adoptMade(window, {x, y, x + width, y + height})) {
            SDL_DestroyWindow(window);
            return nullptr;
        }
        made(window, true);
        return window;
    }

    bool ShowWindow(WindowHandle window, int32_t command) override {
        bool known = WindowsHeadless::ShowWindow(window, command);
        if (!sdlIsWindow(window)) return known;
        auto* w = static_cast<SDL_Window*>(window);
        SDL_ShowWindow(w);
        if (command == SW_MAXIMIZE) SDL_MaximizeWindow(w);
        return true;
    }

    WindowHandle SetFocus(WindowHandle window) override {
        WindowsHeadless::SetFocus(window);
        if (sdlIsWindow(window)) SDL_RaiseWindow(static_cast<SDL_Window*>(window));
        return nullptr;
    }

    bool DestroyWindow(WindowHandle window) override {
        bool known = WindowsHeadless::DestroyWindow(window);
        for (Met& m : met)
            if (m.handle == window) m = {};
        if (window && isMade(window)) {
            made(window, false);
            SDL_DestroyWindow(static_cast<SDL_Window*>(window));
        }
        return known;
    }

    bool GetWindowRect(WindowHandle window, WinRect* rect) override {
        if (!sdlIsWindow(window)) return WindowsHeadless::GetWindowRect(window, rect);
        int x, y, w, h;
        SDL_GetWindowPosition(static_cast<SDL_Window*>(window), &x, &y);
        SDL_GetWindowSize(static_cast<SDL_Window*>(window), &w, &h);
        *rect = {x, y, x + w, y + h};
        return true;
    }

    bool GetClientRect(WindowHandle window, WinRect* rect) override {
        if (!sdlIsWindow(window)) return WindowsHeadless::GetClientRect(window, rect);
        int w, h;
        SDL_GetWindowSize(static_cast<SDL_Window*>(window), &w, &h);
        *rect = {0, 0, w, h};
        return true;
    }

    // The primary surface of the SDL driver is the window itself, so a
    // window's client area starts at the origin of "the screen".
    bool ClientToScreen(WindowHandle window, WinPoint* point) override {
        if (!sdlIsWindow(window)) return WindowsHeadless::ClientToScreen(window, point);
        return true;
    }

    // The cursor is confined to the window whose rectangle is given; null
    // frees it everywhere.
    bool ClipCursor(const WinRect* rect) override {
        WindowsHeadless::ClipCursor(rect);
        for (SDL_Window*& w : confined) {
            if (w) SDL_SetWindowMouseRect(w, nullptr);
            w = nullptr;
        }
        if (!rect) return true;
        for (SDL_Window* w : windowsMade) {
            WinRect r;
            if (!w || !GetWindowRect(w, &r)) continue;
            if (r.left == rect->left && r.top == rect->top && r.right == rect->right &&
                r.bottom == rect->bottom) {
                SDL_Rect inside = {0, 0, r.right - r.left, r.bottom - r.top};
                SDL_SetWindowMouseRect(w, &inside);
                confined[0] = w;
                break;
            }
        }
        return true;
    }

    int32_t MessageBoxA(WindowHandle window, const char* text, const char* caption,
                        uint32_t type) override {
        WindowsHeadless::MessageBoxA(window, text, caption, type);
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text ? text : "",
                                 sdlIsWindow(window) ? static_cast<SDL_Window*>(window) : nullptr);
        return 1;
    }

    uint32_t GetTickCount() override { return SDL_GetTicks(); }

    // Destroys the windows still made by the layer and forgets the handles
    // met (the display closes).
    void destroyAll() {
        for (SDL_Window*& w : windowsMade) {
            if (w) DestroyWindow(w);
        }
        for (Met& m : met)
            m = {};
    }

    // A window the layer made is known by its handle. SDL cannot be asked
    // about any other pointer without reading through it, so a handle the
    // layer did not make is looked for among SDL's window ids once, when it
    // is first met, and the answer kept.
    bool isSdlWindow(WindowHandle handle) {
        if (!handle) return false;
        if (isMade(handle)) return true;
        for (const Met& m : met)
            if (m.handle == handle) return m.sdl;
        Met& slot = met[nextMet];
        nextMet = (nextMet + 1) % maxMet;
        slot = {handle, amongSdlWindowIds(handle)};
        return slot.sdl;
    }

  private:
    struct Met {
        WindowHandle handle;
        bool sdl;
    };
    static constexpr int maxMet = 4;
    // SDL numbers its windows from 1 in order of creation; a process has few.
    static bool amongSdlWindowIds(WindowHandle handle) {
        constexpr uint32_t highestWindowId = 4096;
        for (uint32_t id = 1; id <= highestWindowId; ++id)
            if (SDL_GetWindowFromID(id) == handle) return true;
        return false;
    }

    static constexpr int maxMade = 8;
    void made(WindowHandle window, bool on) {
        for (SDL_Window*& w : windowsMade) {
            if (on ? w == nullptr : w == window) {
                w = on ? static_cast<SDL_Window*>(window) : nullptr;
                return;
            }
        }
    }
    bool isMade(WindowHandle window) const {
        for (SDL_Window* w : windowsMade)
            if (w && w == window) return true;
        return false;
    }
    SDL_Window* windowsMade[maxMade] = {};
    SDL_Window* confined[1] = {};
    Met met[maxMet] = {};
    int nextMet = 0;
};

WindowsSdl sdlWindows;

} // namespace

bool sdlIsWindow(void* handle) {
    return sdlWindows.isSdlWindow(handle);
}

WindowSystem* sdlWindowSystem() {
    return &sdlWindows;
}

void sdlWindowsCloseAll() {
    sdlWindows.destroyAll();
}
