// Every call goes to the platform. The headless layer underneath keeps
// only the call log, which tests read as they read the headless one.
#include "screen/win32/win32.h"

#include "screen/win32/win32_api.h"

namespace {

class WindowsWin32 final : public WindowsHeadless {
  public:
    uint16_t RegisterClassA(const WindowClass* c) override {
        log("RegisterClassA %s (Win32)", c && c->className ? c->className : "(null)");
        if (!c) return 0;
        return w32::registerClass(c->style, c->procedure, c->classExtra, c->windowExtra,
                                  c->instance, c->icon, c->cursor, c->background, c->menuName,
                                  c->className);
    }
    void* LoadIconA(void* instance, uintptr_t id) override { return w32::loadIcon(instance, id); }
    GdiObject GetStockObject(int32_t id) override { return w32::stockObject(id); }
    WindowHandle CreateWindowExA(uint32_t exStyle, const char* className, const char* title,
                                 uint32_t style, int32_t x, int32_t y, int32_t width,
                                 int32_t height, WindowHandle parent, void* menu, void* instance,
                                 void* param) override {
        log("CreateWindowExA class=%s (Win32)", className ? className : "(null)");
        return w32::createWindow(exStyle, className, title, style, x, y, width, height, parent,
                                 menu, instance, param);
    }
    bool ShowWindow(WindowHandle window, int32_t command) override {
        return w32::showWindow(window, command);
    }
    bool UpdateWindow(WindowHandle window) override { return w32::updateWindow(window); }
    WindowHandle SetFocus(WindowHandle window) override { return w32::setFocus(window); }
    bool DestroyWindow(WindowHandle window) override {
        log("DestroyWindow (Win32)");
        return w32::isWindow(window) && w32::destroyWindow(window);
    }
    WindowProc GetWindowProc(WindowHandle window) override {
        return w32::isWindow(window) ? w32::windowProcedure(window) : nullptr;
    }
    WindowProc SetWindowProc(WindowHandle window, WindowProc procedure) override {
        log("SetWindowLongPtrA GWLP_WNDPROC (Win32)");
        return w32::isWindow(window) ? w32::setWindowProcedure(window, procedure) : nullptr;
    }
    intptr_t CallWindowProcA(WindowProc procedure, WindowHandle window, uint32_t message,
                             uintptr_t wParam, intptr_t lParam) override {
        return procedure ? w32::callWindowProcedure(procedure, window, message, wParam, lParam) : 0;
    }
    bool GetWindowRect(WindowHandle window, WinRect* rect) override {
        int32_t r[4];
        if (!rect || !w32::windowRect(window, r)) return false;
        *rect = {r[0], r[1], r[2], r[3]};
        return true;
    }
    bool GetClientRect(WindowHandle window, WinRect* rect) override {
        int32_t r[4];
        if (!rect || !w32::clientRect(window, r)) return false;
        *rect = {r[0], r[1], r[2], r[3]};
        return true;
    }
    bool ClientToScreen(WindowHandle window, WinPoint* point) override {
        int32_t p[2] = {point->x, point->y};
        if (!w32::clientToScreen(window, p)) return false;
        *point = {p[0], p[1]};
        return true;
    }
    bool ClipCursor(const WinRect* rect) override {
        if (!rect) return w32::clipCursor(nullptr);
        const int32_t r[4] = {rect->left, rect->top, rect->right, rect->bottom};
        return w32::clipCursor(r);
    }
    int32_t MessageBoxA(WindowHandle window, const char* text, const char* caption,
                        uint32_t type) override {
        WindowsHeadless::MessageBoxA(window, text, caption, type);
        return w32::messageBox(window, text, caption, type);
    }
    uint32_t GetTickCount() override { return w32::tickCount(); }
    void* GetDC(WindowHandle window) override { return w32::getDC(window); }
    int32_t ReleaseDC(WindowHandle window, void* dc) override { return w32::releaseDC(window, dc); }
    uint32_t GetSystemPaletteUse(void* dc) override { return w32::systemPaletteUse(dc); }
    uint32_t SetSystemPaletteUse(void* dc, uint32_t use) override {
        log("SetSystemPaletteUse %u (Win32)", use);
        return w32::setSystemPaletteUse(dc, use);
    }
    GdiObject CreatePalette(const LogicalPalette* palette) override {
        if (!palette) return nullptr;
        log("CreatePalette %u (Win32)", unsigned(palette->count));
        return w32::createPalette(palette->version, palette->count, &palette->entries[0].red);
    }
    GdiObject SelectPalette(void* dc, GdiObject palette, bool forceBackground) override {
        return w32::selectPalette(dc, palette, forceBackground);
    }
    uint32_t RealizePalette(void* dc) override {
        log("RealizePalette (Win32)");
        return w32::realizePalette(dc);
    }
    bool DeleteObject(GdiObject object) override { return w32::deleteObject(object); }
    uint32_t GetSysColor(int32_t element) override { return w32::sysColor(element); }
    bool SetSysColors(int32_t count, const int32_t* elements, const uint32_t* colors) override {
        log("SetSysColors %d (Win32)", count);
        return w32::setSysColors(count, elements, colors);
    }
};

WindowsWin32 win32Windows;

} // namespace

WindowSystem* win32WindowSystem() {
    return &win32Windows;
}

void win32PumpMessages() {
    w32::pumpMessages();
}
