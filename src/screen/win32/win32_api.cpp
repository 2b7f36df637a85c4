#include "screen/win32/win32_api.h"

#include <windows.h>

namespace w32 {

namespace {

// The library procedure installed on each window, kept as a window
// property so that the platform procedure below can find it.
constexpr const char* procedureProperty = "spanwright.procedure";

LRESULT CALLBACK forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto procedure = reinterpret_cast<Procedure>(GetPropA(window, procedureProperty));
    if (!procedure) return DefWindowProcA(window, message, wParam, lParam);
    return procedure(window, message, wParam, lParam);
}

// The platform procedures handed out, so that they can be told from library
// procedures when they are put back.
constexpr int maxPlatform = 16;
Procedure platformProcedures[maxPlatform] = {};
int nextPlatform = 0;

bool isPlatform(Procedure procedure) {
    for (Procedure p : platformProcedures)
        if (p && p == procedure) return true;
    return false;
}

HWND hwnd(void* window) {
    return static_cast<HWND>(window);
}

} // namespace

uint16_t registerClass(uint32_t style, Procedure procedure, int32_t classExtra, int32_t windowExtra,
                       void* instance, void* icon, void* cursor, void* background,
                       const char* menuName, const char* className) {
    WNDCLASSA c = {};
    c.style = style;
    // The class procedure is the host's, a platform procedure.
    c.lpfnWndProc = procedure ? reinterpret_cast<WNDPROC>(procedure) : DefWindowProcA;
    c.cbClsExtra = classExtra;
    c.cbWndExtra = windowExtra;
    c.hInstance = static_cast<HINSTANCE>(instance);
    c.hIcon = static_cast<HICON>(icon);
    c.hCursor = static_cast<HCURSOR>(cursor);
    c.hbrBackground = static_cast<HBRUSH>(background);
    c.lpszMenuName = menuName;
    c.lpszClassName = className;
    return RegisterClassA(&c);
}

void* loadIcon(void* instance, uintptr_t id) {
    return LoadIconA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(id));
}

void* stockObject(int32_t id) {
    return GetStockObject(id);
}

void* createWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style,
                   int32_t x, int32_t y, int32_t width, int32_t height, void* parent, void* menu,
                   void* instance, void* param) {
    return CreateWindowExA(exStyle, className, title, style, x, y, width, height, hwnd(parent),
                           static_cast<HMENU>(menu), static_cast<HINSTANCE>(instance), param);
}

bool isWindow(void* window) {
    return window && IsWindow(hwnd(window));
}

bool showWindow(void* window, int32_t command) {
    return ShowWindow(hwnd(window), command);
}

bool updateWindow(void* window) {
    return UpdateWindow(hwnd(window));
}

void* setFocus(void* window) {
    return SetFocus(hwnd(window));
}

bool destroyWindow(void* window) {
    return DestroyWindow(hwnd(window));
}

Procedure windowProcedure(void* window) {
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd(window), GWLP_WNDPROC));
    if (current == forward)
        return reinterpret_cast<Procedure>(GetPropA(hwnd(window), procedureProperty));
    auto procedure = reinterpret_cast<Procedure>(current);
    if (!isPlatform(procedure)) {
        platformProcedures[nextPlatform] = procedure;
        nextPlatform = (nextPlatform + 1) % maxPlatform;
    }
    return procedure;
}

// A procedure the platform gave out (windowProcedure of a window without
// a library procedure) goes back on the window as it is; any other is a
// library procedure and goes behind the forwarding procedure.
Procedure setWindowProcedure(void* window, Procedure procedure) {
    HWND w = hwnd(window);
    Procedure previous = windowProcedure(window);
    const bool platform = isPlatform(procedure);
    if (platform) {
        RemovePropA(w, procedureProperty);
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    } else {
        SetPropA(w, procedureProperty, reinterpret_cast<HANDLE>(procedure));
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(forward));
    }
    return previous;
}

// A library procedure is called as what it is, a C function: on 32-bit x86
// the platform would call it in its own convention.
intptr_t callWindowProcedure(Procedure procedure, void* window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) {
    const bool platform = isPlatform(procedure);
    if (!platform) return procedure(window, message, wParam, lParam);
    return CallWindowProcA(reinterpret_cast<WNDPROC>(procedure), hwnd(window), message, wParam,
                           lParam);
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool windowRect(void* window, int32_t rect[4]) {
    RECT r;
    if (!GetWindowRect(hwnd(window), &r)) return false;
    rect[0] = r.left, rect[1] = r.top, rect[2] = r.right, rect[3] = r.bottom;
    return true;
}

bool clientRect(void* window, int32_t rect[4]) {
    RECT r;
    if (!GetClientRect(hwnd(window), &r)) return false;
    rect[0] = r.left, rect[1] = r.top, rect[2] = r.right, rect[3] = r.bottom;
    return true;
}

bool clientToScreen(void* window, int32_t point[2]) {
    POINT p = {point[0], point[1]};
    if (!ClientToScreen(hwnd(window), &p)) return false;
    point[0] = p.x, point[1] = p.y;
    return true;
}

bool clipCursor(const int32_t* rect) {
    if (!rect) return ClipCursor(nullptr);
    RECT r = {rect[0], rect[1], rect[2], rect[3]};
    return ClipCursor(&r);
}

int32_t messageBox(void* window, const char* text, const char* caption, uint32_t type) {
    return MessageBoxA(hwnd(window), text, caption, type);
}

uint32_t tickCount() {
    return GetTickCount();
}

void* getDC(void* window) {
    return GetDC(hwnd(window));
}

int32_t releaseDC(void* window, void* dc) {
    return ReleaseDC(hwnd(window), static_cast<HDC>(dc));
}

uint32_t systemPaletteUse(void* dc) {
    return GetSystemPaletteUse(static_cast<HDC>(dc));
}

uint32_t setSystemPaletteUse(void* dc, uint32_t use) {
    return SetSystemPaletteUse(static_cast<HDC>(dc), use);
}

void* createPalette(uint16_t version, uint16_t count, const uint8_t* entries) {
    struct {
        WORD version, count;
        PALETTEENTRY entries[256];
    } logical;
    if (count > 256) return nullptr;
    logical.version = version;
    logical.count = count;
    for (int i = 0; i < count; ++i)
        logical.entries[i] = {entries[4 * i], entries[4 * i + 1], entries[4 * i + 2],
                              entries[4 * i + 3]};
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
}

void* selectPalette(void* dc, void* palette, bool forceBackground) {
    return SelectPalette(static_cast<HDC>(dc), static_cast<HPALETTE>(palette), forceBackground);
}

uint32_t realizePalette(void* dc) {
    return RealizePalette(static_cast<HDC>(dc));
}

bool deleteObject(void* object) {
    return DeleteObject(static_cast<HGDIOBJ>(object));
}

uint32_t sysColor(int32_t element) {
    return GetSysColor(element);
}

bool setSysColors(int32_t count, const int32_t* elements, const uint32_t* colors) {
    return SetSysColors(count, reinterpret_cast<const INT*>(elements),
                        reinterpret_cast<const COLORREF*>(colors));
}

} // namespace w32
