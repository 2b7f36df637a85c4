// The host-facing side of the display: opening and closing it, screen
// modes, the back buffer, locking, presentation and the frame-rate readout.
#include "screen/screen.h"

#include "bitmap/bitmap.h"
#include "memory.h"
#include "screen/driver.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The mode in use and the one before it.
class CModeStack {
  public:
    void push(const screenmode_tag& mode) {
        if (count >= 0 && count < 2) slots[count++] = mode;
    }
    screenmode_tag* top() { return count < 1 ? nullptr : &slots[count - 1]; }
    void pop() {
        if (count > 0) --count;
    }

  private:
    int32_t count = 0;
    screenmode_tag slots[2];
};

// What the set-up reports for each screen pixel type.
struct ScreenTypeText {
    uint8_t type;
    const char* text;
};
constexpr ScreenTypeText screenTypeTexts[] = {
    {PIXEL_PAL8, "Screen pixel type is 8-bit\n"},
    {PIXEL_RGB565, "Screen pixel type is 16-bit: 565\n"},
    {PIXEL_ARGB1555, "Screen pixel type is 16-bit: 1555\n"},
};

constexpr bitmap_tag initialBackBuffer = {PIXEL_PAL8, 640, 480, 640, nullptr, nullptr};

WindowHandle hostWindow = nullptr;
WindowProc previousProc = nullptr;
WindowHandle displayWindow = nullptr;
bool ownsWindow = false;
CDDWin* displayObject = nullptr;
uint8_t dedicatedMode = 0;
uint8_t showFrameRate = 0;
bitmap_tag backBuffer = initialBackBuffer;
uint8_t* lockedPixels = nullptr;
bool backBufferAttached = false;
CModeStack modeStack;

// Frame-rate readout: the last second seen, the frames counted in it, the
// counts of the last ten seconds (a ring), its head and how many are valid.
struct FrameRate {
    uint32_t lastSecond = 0;
    int32_t frames = 0;
    int32_t counts[10] = {};
    int32_t head = 0;
    int32_t valid = 0;
};
FrameRate frameRate;

// The back surface is about to be released or replaced (a new Init, or the
// display object goes): its lock and the record's address go with it, and
// the record takes no locked address until a set-up has described the new
// surface (a failed Init may keep surfaces of another size).
void forgetBackSurface() {
    lockedPixels = nullptr;
    backBuffer.pixels = nullptr;
    backBufferAttached = false;
}

void freeDisplayObject() {
    if (!displayObject) return;
    forgetBackSurface();
    displayObject->Shutdown();
    displayObject->~CDDWin();
    memFree(displayObject);
    displayObject = nullptr;
}

// Closes what opening the display made: the display object and the window
// the library created.
void closeDisplay(WindowSystem* ws) {
    freeDisplayObject();
    if (ownsWindow && displayWindow) ws->DestroyWindow(displayWindow);
    ownsWindow = false;
    displayWindow = nullptr;
}

// Opens the display for rasterBegin: the display object, the display
// window, and the DirectDraw object of the default display. A display
// still open from an earlier rasterBegin is closed first.
bool screenOpenDisplay(const RasterBeginParams* params) {
    const DisplayDriverRow* opened = displayDriverOpen();
    if (!opened) {
        DebugPrintf("displayDriverOpen() failed in screenOpenDisplay()\n");
        return false;
    }
    const DisplayDriver& driver = *opened->driver;
    WindowSystem* ws = driver.windows();
    closeDisplay(ws);
    void* block = memAlloc(sizeof(CDDWin));
    if (!block) {
        DebugPrintf("memAlloc() failed in screenOpenDisplay()\n");
        return false;
    }
    displayObject = new (block) CDDWin(driver.directDrawCreate, ws);

    if (params->window) {
        ownsWindow = false;
        displayWindow = params->window;
    } else {
        ownsWindow = true;
        if (!params->classRegistered) {
            WindowClass windowClass = {};
            windowClass.style = CS_GLOBALCLASS;
            windowClass.procedure = reinterpret_cast<WindowProc>(params->windowProc);
            windowClass.instance = params->instance;
            windowClass.icon = ws->LoadIconA(params->instance, IDI_APPLICATION);
            windowClass.background = ws->GetStockObject(NULL_BRUSH);
            windowClass.className = params->className;
            if (!ws->RegisterClassA(&windowClass)) {
                DebugPrintf("RegisterClassA() failed in screenOpenDisplay()\n");
                return false;
            }
        }
        displayWindow = ws->CreateWindowExA(WS_EX_TOPMOST, params->className, params->className,
                                            WS_POPUP | WS_SYSMENU, 0, 0, 800, 600, nullptr, nullptr,
                                            nullptr, nullptr);
        if (!displayWindow) {
            DebugPrintf("CreateWindowExA() failed in screenOpenDisplay()\n");
            return false;
        }
        ws->ShowWindow(displayWindow, SW_MAXIMIZE);
        ws->UpdateWindow(displayWindow);
        ws->SetFocus(displayWindow);
    }
    return displayObject->Create();
}

// Switches the display to a mode when it differs from the back buffer's
// shape (or no primary surface exists yet) and refills the back buffer.
bool screenSetupBitmap(bitmap_tag* bm, const screenmode_tag& mode) {
    bool differs = mode.width != bm->width || mode.height != bm->height ||
                   mode.bitsPerPixel != pixelBitDepth(bm->pixelType) ||
                   !(displayObject && displayObject->hasPrimary());
    if (differs && displayObject) {
        forgetBackSurface();
        if (!displayObject->Init(displayWindow, dedicatedMode, mode.width, mode.height,
                                 mode.bitsPerPixel, nullptr)) {
            DDErrorBox(displayWindows(), displayWindow, "Error Initializing Direct Draw",
                       displayObject->lastResult());
            return false;
        }
    }

    std::memset(bm, 0, sizeof *bm);
    bm->pixelType = ScreenGetPixelType();
    bm->width = mode.width;
    bm->height = mode.height;
    bm->rowBytes = displayObject ? displayObject->GetPitch(1) : 0;
    if (lockedPixels) bm->pixels = lockedPixels;

    DebugPrintf("ddsd.lPitch = %d\n", bm->rowBytes);
    backBufferAttached = true;
    DebugPrintf("ddsd.lpSurface = %08" PRIxPTR "\n", reinterpret_cast<uintptr_t>(bm->pixels));

    const char* text = "Unknown Screen pixel type\n";
    for (const ScreenTypeText& row : screenTypeTexts)
        if (row.type == bm->pixelType) text = row.text;
    _Error("%s\n", text);
    return true;
}

int32_t ringIndex(int32_t i) {
    return ((i % 10) + 10) % 10;
}

// Counts the frame and draws " avg(last)" at the top left of `bm`.
void drawFrameRate(bitmap_tag* bm) {
    FrameRate& f = frameRate;
    uint32_t second = displayWindows()->GetTickCount() / 1000u;
    if (second != f.lastSecond) {
        f.lastSecond = second;
        f.counts[f.head] = f.frames;
        f.frames = 0;
        if (f.valid < 10) ++f.valid;
        f.head = f.head + 1 == 10 ? 0 : f.head + 1;
    }
    ++f.frames;
    if (f.valid <= 0) return;
    int32_t sum = 0;
    for (int32_t i = 0, at = ringIndex(f.head - f.valid); i < f.valid; ++i, at = ringIndex(at + 1))
        sum += f.counts[at];
    char text[32];
    std::snprintf(text, sizeof text, "%2d(%2d)", sum / f.valid, f.counts[ringIndex(f.head - 1)]);
    drawDebugText(bm, 255, 0, 0, text, 0);
}

// Unlocks the back buffer, sends a changed palette and shows the
// rectangle (0, 0, width, height) of `bm`. A failed presentation drops the
// frame silently.
void screenPresent(const bitmap_tag* bm) {
    DDRect rect = {0, 0, bm->width, bm->height};
    unlockBitmap();
    if (screenShadowDirty) screenFlushPalette();
    if (displayObject) displayObject->Present(&rect);
}

} // namespace

CDDWin* screenDisplayObject() {
    return displayObject;
}

WindowHandle screenDisplayWindow() {
    return displayWindow;
}

bool screenDedicatedMode() {
    return dedicatedMode != 0;
}

intptr_t screenSubclassProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    WindowSystem* ws = displayWindows();
    if (message == WM_NCDESTROY && ws->GetWindowProc(window) == screenSubclassProc) {
        WindowProc previous = previousProc;
        ws->SetWindowProc(window, previous);
        intptr_t result = ws->CallWindowProcA(previous, window, message, wParam, lParam);
        previousProc = nullptr;
        return result;
    }
    return ws->CallWindowProcA(previousProc, window, message, wParam, lParam);
}

void screenLifecycleReset() {
    modeStack = CModeStack();
    frameRate = FrameRate();
    backBuffer = initialBackBuffer;
    backBufferAttached = false;
    lockedPixels = nullptr;
    hostWindow = nullptr;
    dedicatedMode = 0;
    showFrameRate = 0;
}

extern "C" {

int32_t rasterVersion(void) {
    return 0;
}

// The host's version is accepted when its major part (version / 1000) is
// this library's, 0, and its minor part is not newer than ours, 0: that is
// -999 through 0.
uint8_t rasterBegin(int32_t version, uint8_t createDisplay, RasterBeginParams* params) {
    uint8_t result = 0;
    if (version / 1000 == 0 && version % 1000 <= 0) {
        result = 1;
        if (createDisplay && params) result = screenOpenDisplay(params);
    }
    // A second rasterBegin before rasterEnd keeps the first replacement:
    // replacing again would make the procedure its own previous one.
    WindowSystem* ws = displayWindows();
    if (hostWindow && ws->GetWindowProc(hostWindow) != screenSubclassProc)
        previousProc = ws->SetWindowProc(hostWindow, screenSubclassProc);
    return result;
}

void rasterEnd(void) {
    WindowSystem* ws = displayWindows();
    if (previousProc) {
        ws->SetWindowProc(hostWindow, previousProc);
        previousProc = nullptr;
    }
    closeDisplay(ws);
    ws->ClipCursor(nullptr);
    displayDriverClose();
}

uint8_t ScreenBegin(void* window) {
    hostWindow = window;
    return 1;
}

uint8_t ScreenSetMode(int32_t, int32_t, int32_t) {
    return 1;
}

uint8_t ScreenRestoreMode(int32_t width, int32_t height, int32_t bitsPerPixel) {
    return ScreenSetMode(width, height, bitsPerPixel);
}

void ScreenEnd(void) {}

uint8_t SetDedicatedMode(uint8_t dedicated) {
    uint8_t previous = dedicatedMode;
    dedicatedMode = dedicated;
    return previous;
}

uint8_t ShowFrameRate(uint8_t show) {
    showFrameRate = show;
    return show;
}

uint8_t screenBegin(screenmode_tag* mode) {
    if (!mode) return 0;
    ScreenSetMode(mode->width, mode->height, mode->bitsPerPixel);
    if (!screenSetupBitmap(&backBuffer, *mode)) return 0;
    modeStack.push(*mode);
    WinRect rect;
    WindowSystem* ws = displayWindows();
    if (ws->GetWindowRect(hostWindow, &rect)) ws->ClipCursor(&rect);
    return 1;
}

uint8_t screenEnd(void) {
    modeStack.pop();
    if (screenmode_tag* top = modeStack.top()) return screenSetupBitmap(&backBuffer, *top);
    std::memset(&backBuffer, 0, sizeof backBuffer);
    return 0;
}

screenmode_tag* screenCurrentMode(void) {
    return modeStack.top();
}

bitmap_tag* screenGetBackBuffer(void) {
    return &backBuffer;
}

uint8_t lockBitmap(void) {
    if (!displayObject) return 0;
    lockedPixels = static_cast<uint8_t*>(displayObject->Lock(1));
    if (backBufferAttached) backBuffer.pixels = lockedPixels;
    return lockedPixels != nullptr;
}

void unlockBitmap(void) {
    if (!lockedPixels) return;
    if (displayObject) displayObject->Unlock(1);
    lockedPixels = nullptr;
}

uint8_t getScreenInternalLock(uintptr_t out[3]) {
    if (!out) return 0;
    out[0] = reinterpret_cast<uintptr_t>(backBuffer.pixels);
    out[1] = uintptr_t(intptr_t(backBuffer.rowBytes));
    out[2] = backBuffer.pixelType;
    return 1;
}

uint8_t screenDisplay(bitmap_tag* readoutTarget) {
    if (showFrameRate) drawFrameRate(readoutTarget);
    screenPresent(&backBuffer);
    return 1;
}

uint8_t screenDisplayed(bitmap_tag* bm) {
    if (bm) screenPresent(bm);
    return 0;
}

void screenPalChanged(void) {}

uint8_t ScreenGetPixelType(void) {
    return displayObject ? displayObject->pixelType() : 255;
}

uint8_t screenSupportsTGA(void) {
    return isScreen16(ScreenGetPixelType());
}

uint8_t screenIs3dfx(void) {
    return 0;
}

// The entry points that answer false or do nothing share one body per
// signature.
uint8_t screenIsAccelerated(void) {
    return screenIs3dfx();
}

uint8_t getFxAAEnabled(void) {
    return screenIs3dfx();
}

void setFxAA(int32_t) {}

void setFxAAEnabled(int32_t value) {
    setFxAA(value);
}

void screenReset(void) {}

void screenSetupLargestBitmap(void) {
    screenReset();
}

void freeScreenInternalLock(void) {
    screenReset();
}

// Copies the primary surface where the last frame went into `dst`.
uint8_t screenReadFrame(bitmap_tag* dst) {
    if (!dst || !dst->pixels || !displayObject || !displayObject->hasPrimary()) return 0;
    const uint8_t type = ScreenGetPixelType();
    const int bpp = bytesPerPixel(type);
    if (bpp == 0 || dst->pixelType != type || dst->width <= 0 || dst->height <= 0 ||
        dst->rowBytes < int64_t(dst->width) * bpp)
        return 0;
    return displayObject->readFrame(dst->pixels, dst->rowBytes, dst->width, dst->height, bpp);
}

} // extern "C"
