// The USER, GDI and kernel calls of the Win32 window layer, in plain types.
// Only win32_api.cpp sees the platform's headers: their macros (WM_DESTROY,
// IDI_APPLICATION, ...) would collide with the display's own constants.
#pragma once

#include <cstdint>

namespace w32 {

// The library's procedures: intptr_t (window, message, wParam, lParam) in
// the C calling convention, whatever the platform's window procedures use.
using Procedure = intptr_t (*)(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

uint16_t registerClass(uint32_t style, Procedure procedure, int32_t classExtra, int32_t windowExtra,
                       void* instance, void* icon, void* cursor, void* background,
                       const char* menuName, const char* className);
void* loadIcon(void* instance, uintptr_t id);
void* stockObject(int32_t id);
void* createWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style,
                   int32_t x, int32_t y, int32_t width, int32_t height, void* parent, void* menu,
                   void* instance, void* param);
bool isWindow(void* window);
bool showWindow(void* window, int32_t command);
bool updateWindow(void* window);
void* setFocus(void* window);
bool destroyWindow(void* window);
// Window procedures. A library procedure is installed behind a platform
// procedure of the right convention that calls it; asking for the
// procedure of such a window gives the library procedure back.
Procedure windowProcedure(void* window);
Procedure setWindowProcedure(void* window, Procedure procedure);
intptr_t callWindowProcedure(Procedure procedure, void* window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam);
// Dispatches the messages waiting for this thread's windows.
void pumpMessages();
bool windowRect(void* window, int32_t rect[4]);
bool clientRect(void* window, int32_t rect[4]);
bool clientToScreen(void* window, int32_t point[2]);
bool clipCursor(const int32_t* rect);
int32_t messageBox(void* window, const char* text, const char* caption, uint32_t type);
uint32_t tickCount();
void* getDC(void* window);
int32_t releaseDC(void* window, void* dc);
uint32_t systemPaletteUse(void* dc);
uint32_t setSystemPaletteUse(void* dc, uint32_t use);
// entries: `count` × (red, green, blue, flags).
void* createPalette(uint16_t version, uint16_t count, const uint8_t* entries);
void* selectPalette(void* dc, void* palette, bool forceBackground);
uint32_t realizePalette(void* dc);
bool deleteObject(void* object);
uint32_t sysColor(int32_t element);
bool setSysColors(int32_t count, const int32_t* elements, const uint32_t* colors);

} // namespace w32
