// The window-system layer of the display: window classes and windows,
// window procedure replacement, cursor confinement, the message box, the
// millisecond tick, device contexts, the system palette and the system
// colours. The calls are shaped like the platform's USER and GDI calls so
// that the display code reads the same on every platform.
//
// Two layers exist: WindowsHeadless keeps every window in memory and writes
// each call it is asked into a call log (tests read it); the SDL2 layer
// (screen/sdl) makes real windows and keeps the rest as the headless layer
// does. Neither platform has a system palette, so palettes are created,
// selected and realised in memory: the log and the realised entries show
// what would have reached the display.
#pragma once

#include <cstdint>

using WindowHandle = void*;
using GdiObject = void*;
using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

constexpr uint32_t WM_DESTROY = 0x2;
constexpr uint32_t WM_ACTIVATEAPP = 0x1C;
constexpr uint32_t WM_NCDESTROY = 0x82;

constexpr uint32_t CS_GLOBALCLASS = 0x4000;
constexpr uint32_t WS_EX_TOPMOST = 0x8;
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_SYSMENU = 0x80000;
constexpr int32_t SW_MAXIMIZE = 3;
constexpr uintptr_t IDI_APPLICATION = 32512;
constexpr int32_t NULL_BRUSH = 5;
constexpr uint32_t MB_OK = 0;

constexpr uint32_t SYSPAL_STATIC = 1;
constexpr uint32_t SYSPAL_NOSTATIC = 2;

struct WindowClass {
    uint32_t style;
    WindowProc procedure;
    int32_t classExtra, windowExtra;
    void* instance;
    void* icon;
    void* cursor;
    GdiObject background;
    const char* menuName;
    const char* className;
};

struct WinRect {
    int32_t left, top, right, bottom;
};

struct WinPoint {
    int32_t x, y;
};

struct GdiPaletteEntry {
    uint8_t red, green, blue, flags;
};

struct LogicalPalette {
    uint16_t version; // 0x300
    uint16_t count;
    GdiPaletteEntry entries[256];
};

class WindowSystem {
  public:
    // Windows.
    virtual uint16_t RegisterClassA(const WindowClass* windowClass) = 0;
    virtual void* LoadIconA(void* instance, uintptr_t id) = 0;
    virtual GdiObject GetStockObject(int32_t id) = 0;
    virtual WindowHandle CreateWindowExA(uint32_t exStyle, const char* className, const char* title,
                                         uint32_t style, int32_t x, int32_t y, int32_t width,
                                         int32_t height, WindowHandle parent, void* menu,
                                         void* instance, void* param) = 0;
    virtual bool ShowWindow(WindowHandle window, int32_t command) = 0;
    virtual bool UpdateWindow(WindowHandle window) = 0;
    virtual WindowHandle SetFocus(WindowHandle window) = 0;
    virtual bool DestroyWindow(WindowHandle window) = 0;
    // GetWindowLongA / SetWindowLongA with GWL_WNDPROC.
    virtual WindowProc GetWindowProc(WindowHandle window) = 0;
    virtual WindowProc SetWindowProc(WindowHandle window, WindowProc procedure) = 0;
    virtual intptr_t CallWindowProcA(WindowProc procedure, WindowHandle window, uint32_t message,
                                     uintptr_t wParam, intptr_t lParam) = 0;
    virtual bool GetWindowRect(WindowHandle window, WinRect* rect) = 0;
    virtual bool GetClientRect(WindowHandle window, WinRect* rect) = 0;
    virtual bool ClientToScreen(WindowHandle window, WinPoint* point) = 0;
    virtual bool ClipCursor(const WinRect* rect) = 0;
    virtual int32_t MessageBoxA(WindowHandle window, const char* text, const char* caption,
                                uint32_t type) = 0;
    virtual uint32_t GetTickCount() = 0;
    // Device contexts, palettes and system colours.
    virtual void* GetDC(WindowHandle window) = 0;
    virtual int32_t ReleaseDC(WindowHandle window, void* dc) = 0;
    virtual uint32_t GetSystemPaletteUse(void* dc) = 0;
    virtual uint32_t SetSystemPaletteUse(void* dc, uint32_t use) = 0;
    virtual GdiObject CreatePalette(const LogicalPalette* palette) = 0;
    virtual GdiObject SelectPalette(void* dc, GdiObject palette, bool forceBackground) = 0;
    virtual uint32_t RealizePalette(void* dc) = 0;
    virtual bool DeleteObject(GdiObject object) = 0;
    virtual uint32_t GetSysColor(int32_t element) = 0;
    virtual bool SetSysColors(int32_t count, const int32_t* elements, const uint32_t* colors) = 0;

  protected:
    ~WindowSystem() = default;
};

// ------------------------------------------------------------ headless layer

// The headless layer. A handle it has not made (a host window) is taken as
// a window the first time it is used. The call log is plain text, one line
// per call ("SetSystemPaletteUse 2\n"); palettes are named "pal1", "pal2",
// ... in order of creation, windows it creates "win1", ....
class WindowsHeadless : public WindowSystem {
  public:
    uint16_t RegisterClassA(const WindowClass* windowClass) override;
    void* LoadIconA(void* instance, uintptr_t id) override;
    GdiObject GetStockObject(int32_t id) override;
    WindowHandle CreateWindowExA(uint32_t exStyle, const char* className, const char* title,
                                 uint32_t style, int32_t x, int32_t y, int32_t width,
                                 int32_t height, WindowHandle parent, void* menu, void* instance,
                                 void* param) override;
    bool ShowWindow(WindowHandle window, int32_t command) override;
    bool UpdateWindow(WindowHandle window) override;
    WindowHandle SetFocus(WindowHandle window) override;
    bool DestroyWindow(WindowHandle window) override;
    WindowProc GetWindowProc(WindowHandle window) override;
    WindowProc SetWindowProc(WindowHandle window, WindowProc procedure) override;
    intptr_t CallWindowProcA(WindowProc procedure, WindowHandle window, uint32_t message,
                             uintptr_t wParam, intptr_t lParam) override;
    bool GetWindowRect(WindowHandle window, WinRect* rect) override;
    bool GetClientRect(WindowHandle window, WinRect* rect) override;
    bool ClientToScreen(WindowHandle window, WinPoint* point) override;
    bool ClipCursor(const WinRect* rect) override;
    int32_t MessageBoxA(WindowHandle window, const char* text, const char* caption,
                        uint32_t type) override;
    uint32_t GetTickCount() override;
    void* GetDC(WindowHandle window) override;
    int32_t ReleaseDC(WindowHandle window, void* dc) override;
    uint32_t GetSystemPaletteUse(void* dc) override;
    uint32_t SetSystemPaletteUse(void* dc, uint32_t use) override;
    GdiObject CreatePalette(const LogicalPalette* palette) override;
    GdiObject SelectPalette(void* dc, GdiObject palette, bool forceBackground) override;
    uint32_t RealizePalette(void* dc) override;
    bool DeleteObject(GdiObject object) override;
    uint32_t GetSysColor(int32_t element) override;
    bool SetSysColors(int32_t count, const int32_t* elements, const uint32_t* colors) override;

    struct Window;

  protected:
    // Appends one formatted line to the call log (truncated when full).
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The record of a window, made on first use; null for a null handle or
    // when all records are taken.
    Window* find(WindowHandle window, bool create);
    // Records a window made by a derived layer as one the layer made.
    bool adoptMade(WindowHandle window, const WinRect& rect);
    const char* windowName(WindowHandle window);
    const char* paletteName(GdiObject palette);
};

WindowsHeadless* windowsHeadless();

// Test controls and views of the headless layer (also valid for the SDL
// layer, which shares its state).
namespace headless {
// The call log since the last clear.
const char* callLog();
void clearCallLog();
// Puts the layer back to its state at load: no windows, classes or
// palettes, static system palette use, desktop colours, real tick.
void reset();
// A fixed millisecond tick; `fixed` false returns to the real clock.
void setTick(bool fixed, uint32_t tick);
// Makes GetDC answer null (no device context).
void setNoDeviceContext(bool none);
// Makes the n-th CreatePalette from now fail (1 = the next); 0 = none.
void failCreatePaletteNth(int n);
// Makes RegisterClassA or CreateWindowExA fail while set.
void setFailRegisterClass(bool fail);
void setFailCreateWindow(bool fail);
// The rectangle GetWindowRect gives for a window, and the screen position
// of its client area (the client size is the rectangle's size).
void setWindowRect(WindowHandle window, const WinRect& rect);
// Delivers a message to the window's current procedure, as the platform's
// dispatcher would; 0 when the window has none.
intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// The last palette realised: entry count and entries; 0 before any.
int realizedPalette(GdiPaletteEntry* out);
// The system palette use and the colour of a system colour element.
uint32_t systemPaletteUse();
uint32_t sysColor(int32_t element);
// The rectangle the cursor is confined to; false when it is free.
bool cursorClip(WinRect* rect);
// The texts of the last message box; empty before any.
const char* lastMessageBoxText();
const char* lastMessageBoxCaption();
// Number of live palettes and windows the layer made (leak checks).
int livePalettes();
int liveWindows();
} // namespace headless
