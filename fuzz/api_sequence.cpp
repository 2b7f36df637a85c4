// Stateful fuzzing of the exported API: the input becomes a sequence of
// 1-64 calls over a small pool of live objects (bitmaps of every type,
// instances, bottom-up views, palettes, colormaps, mip chains, special
// records, files of every writer) while the current palette, colormap and
// mip and the headless display move through their states.
//
// The sequence behaves as a careful host: it releases what it made with
// the matching call, clears a current palette, colormap or mip before
// releasing its memory, never lets an instance outlive its parent (an
// instance of the back buffer lives until the next display call), and
// keeps polygon calls together. Everything else is fair game. Checks,
// beyond the sanitizers:
//  - after every call the current palette, colormap and mip and the back
//    buffer's pixels are read: none may point into released memory;
//  - a bottom-up view (negative rowBytes) has a twin with the same rows
//    top-down; every call on the view is repeated on the twin and must give
//    the same results, rows and written bytes;
//  - bitmapScale's general path writes the same bytes onto every one-byte
//    destination type;
//  - every file read back gives what its writer put in (pixels, palette,
//    colormap, mip chain), a second load of a cached name gives the same
//    bitmap with nothing taken from it;
//  - at the end, with the pool released and the display closed, the
//    library's live blocks are back where they started.
#include "api_model.h"
#include "harness.h"

#include "bitmap/bitmap.h"
#include "imagefile/tga.h"
#include "memory.h"
#include "screen/memory_display.h"
#include "screen/screen.h"
#include "screen/window.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace fuzz;

// Small pools, so that calls often meet the same objects.
constexpr int bitmapSlots = 4;
constexpr int backBufferSlot = bitmapSlots; // a bitmap argument naming the back buffer
constexpr int paletteSlots = 2, colormapSlots = 2, mipSlots = 2, specialSlots = 2;

// File names: two share their first 16 characters (one cache entry), the
// TGA test looks at the three characters after the first dot, and one is
// a screenshot's.
const char* const fileNames[] = {
    "a.pcx", "pic.TGAx", "c.bmp", "TEXTURE_ROAD_01A.PCX", "texture_road_01a_old.tga", "zvss01.tga"};
constexpr int fileNameCount = int(sizeof fileNames / sizeof fileNames[0]);

// A stand-in for the host's window and its procedure.
int hostWindowObject;
void* const hostWindow = &hostWindowObject;
intptr_t hostProc(WindowHandle, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

// A grey ramp: the screen tables at the start of a sequence, and the
// palette of a PCX written when the pool has none.
uint32_t* greyRamp() {
    static uint32_t ramp[256];
    for (uint32_t i = 0; i < 256; ++i)
        ramp[i] = i * 0x010101u;
    return ramp;
}

// The screenshot counter of the library, followed here (it lives as long
// as the process).
int screenshotCounter = 0;

// Argument values: mostly near the objects they apply to, sometimes at the
// limits of their types.
class Input {
  public:
    explicit Input(FuzzedDataProvider& fdp) : fdp_(fdp) {}
    bool more() const { return fdp_.remaining_bytes() > 0; }
    int pick(int n) { return fdp_.ConsumeIntegralInRange<int>(0, n - 1); }
    bool flag() { return fdp_.ConsumeBool(); }
    uint64_t u64() { return fdp_.ConsumeIntegral<uint64_t>(); }
    int32_t i32() { return fdp_.ConsumeIntegral<int32_t>(); }
    int32_t range(int32_t lo, int32_t hi) { return fdp_.ConsumeIntegralInRange(lo, hi); }
    std::string text() { return fdp_.ConsumeRandomLengthString(40); }

    int32_t size() {
        static const int32_t sizes[] = {0,  1,  2,  3,   4,   5,   7,   8,  16,
                                        31, 32, 64, 127, 128, 255, 256, 300};
        switch (pick(4)) {
        case 0: return range(0, 9);
        case 1: return range(10, 300);
        default: return sizes[pick(int(sizeof sizes / sizeof sizes[0]))];
        }
    }
    // A coordinate on an axis of `extent` pixels.
    int32_t coord(int32_t extent) {
        extent = std::clamp(extent, 0, 1 << 20);
        switch (pick(6)) {
        case 0: return range(-10, 10);
        case 1: return extent + range(-10, 10);
        case 2: return range(-(extent + 10), extent + 10);
        case 3: return i32();
        case 4: return pick(2) ? INT32_MAX - range(0, 3) : INT32_MIN + range(0, 3);
        default: return range(0, std::max(extent, 1));
        }
    }
    // The same in 16.16 fixed point.
    int32_t fixedCoord(int32_t extent) {
        if (pick(5) == 0) return coord(extent);
        int64_t v =
            int64_t(range(-4, std::clamp(extent, 0, 1 << 14) + 4)) * 65536 + range(0, 0xFFFF);
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
    uint32_t extent(int32_t n) {
        switch (pick(4)) {
        case 0: return uint32_t(range(0, std::clamp(n, 0, 1 << 20) + 4));
        case 1: return fdp_.ConsumeIntegral<uint32_t>();
        case 2: return UINT32_MAX - uint32_t(range(0, 3));
        default: return uint32_t(range(0, 16));
        }
    }
    int32_t factor() {
        static const int32_t factors[] = {0x10000, 0x8000,  0x20000,   -0x10000, 0x18000,
                                          -0x8000, 0x30001, 3,         2,        -3,
                                          0,       1,       INT32_MAX, INT32_MIN};
        switch (pick(3)) {
        case 0: return i32();
        case 1: return range(-0x40000, 0x40000);
        default: return factors[pick(int(sizeof factors / sizeof factors[0]))];
        }
    }
    int32_t color() { return pick(4) ? range(0, 255) : i32(); }
    // How new pixels are filled: a seed and one of five patterns.
    struct Fill {
        uint64_t seed;
        int mode;
    };
    Fill fill() { return {u64(), pick(5)}; }

  private:
    FuzzedDataProvider& fdp_;
};

enum class Holder { none, allocated, cached, uncached, instance, instanceRecord, view };

struct BitmapSlot {
    Holder holder = Holder::none;
    bitmap_tag* bm = nullptr;
    int parent = -1;
    bitmap_tag record{}; // instances filled by bitmapInstance, and views
    // A view: rows top to bottom at decreasing addresses, and its twin with
    // the same rows top-down. Both own their buffers; the map is shared.
    bitmap_tag twin{};
    std::vector<uint8_t> viewBuffer, twinBuffer;
    std::vector<uint32_t> map;
};

struct CacheEntry {
    bitmap_tag* bm;
    int users;
};

// The call being made, for the messages.
const char* currentOp = "";

// Settings from the environment. An open finding can be left out while
// the fuzzer looks for others: SPANWRIGHT_FUZZ_LEAVE_OUT=views,types leaves
// out bottom-up views and pixel type numbers above 10 (inputs then read
// differently). SPANWRIGHT_FUZZ_TRACE=1 prints each call and the library's
// messages, to read a finding.
struct Settings {
    bool leaveOutViews = false, leaveOutTypes = false, trace = false;
};
const Settings& settings() {
    static const Settings chosen = [] {
        Settings s;
        const char* leaveOut = std::getenv("SPANWRIGHT_FUZZ_LEAVE_OUT");
        s.leaveOutViews = leaveOut && std::strstr(leaveOut, "views");
        s.leaveOutTypes = leaveOut && std::strstr(leaveOut, "types");
        s.trace = std::getenv("SPANWRIGHT_FUZZ_TRACE") != nullptr;
        return s;
    }();
    return chosen;
}

[[noreturn]] void fail(const std::string& what) {
    mismatch((std::string(currentOp) + ": " + what).c_str());
}

class Sequence {
  public:
    explicit Sequence(Input& in) : in_(in) {
        namespace fs = std::filesystem;
        for (int d = 0; d < 2; ++d) {
            dirs_[d] = workDir() + "/d" + std::to_string(d);
            std::error_code ec;
            fs::remove_all(dirs_[d], ec);
            fs::create_directories(dirs_[d]);
        }
        std::snprintf(homedir, sizeof homedir, "%s", dirs_[0].c_str());
        fileChDir(dirs_[0].c_str());
        headless::reset();
        headless::setTick(true, 5000);
        headless::setWindowRect(hostWindow, {10, 20, 650, 500});
        windowsHeadless()->SetWindowProc(hostWindow, hostProc);
        // Screen tables of a grey ramp, no current palette.
        paletteSetCurrent(greyRamp(), 0, 256);
        paletteSetCurrent(nullptr, 0, 0);
        colormapSetCurrent(nullptr);
        mipSetCurrent(nullptr);
        bitmapSetFontColor(0xFFFFFFFF);
    }

    void step();
    void probe();
    void finish();

  private:
    enum Op {
        opAllocBitmap,
        opReleaseBitmap,
        opInstance,
        opView,
        opPalette,
        opColormap,
        opMapCalls,
        opMipCreate,
        opMipRelease,
        opSpecialCreate,
        opSpecialDraw,
        opSpecialFree,
        opPaletteCurrent,
        opColormapCurrent,
        opMipCurrent,
        opColorQueries,
        opFontColor,
        opScreenBegin,
        opDedicated,
        opRasterBegin,
        opScreenMode,
        opScreenEnd,
        opLock,
        opUnlock,
        opDisplay,
        opDisplayMisc,
        opRasterEnd,
        opPixel,
        opFillRect,
        opLine,
        opText,
        opFill,
        opCopy,
        opScale,
        opMipCopy,
        opCharacter,
        opPoly,
        opTriangle,
        opChDir,
        opWriteNative,
        opWritePcx,
        opWriteTga,
        opWriteMip,
        opWriteTable,
        opScreenshot,
        opTgaColorMap,
        opCorrupt,
        opLoad,
        opRead,
        opTableLoad,
        opMipLoad,
        opCount
    };
    static constexpr const char* opNames[] = {"AllocBitmap",    "ReleaseBitmap",
                                              "Instance",       "View",
                                              "Palette",        "Colormap",
                                              "MapCalls",       "MipCreate",
                                              "MipRelease",     "SpecialCreate",
                                              "SpecialDraw",    "SpecialFree",
                                              "PaletteCurrent", "ColormapCurrent",
                                              "MipCurrent",     "ColorQueries",
                                              "FontColor",      "ScreenBegin",
                                              "Dedicated",      "RasterBegin",
                                              "ScreenMode",     "ScreenEnd",
                                              "Lock",           "Unlock",
                                              "Display",        "DisplayMisc",
                                              "RasterEnd",      "Pixel",
                                              "FillRect",       "Line",
                                              "Text",           "Fill",
                                              "Copy",           "Scale",
                                              "MipCopy",        "Character",
                                              "Poly",           "Triangle",
                                              "ChDir",          "WriteNative",
                                              "WritePcx",       "WriteTga",
                                              "WriteMip",       "WriteTable",
                                              "Screenshot",     "TgaColorMap",
                                              "Corrupt",        "Load",
                                              "Read",           "TableLoad",
                                              "MipLoad"};

    // ------------------------------------------------------------ pool
    bool isView(int slot) const {
        return slot >= 0 && slot < bitmapSlots && bitmaps_[slot].holder == Holder::view;
    }
    bitmap_tag* resolve(int slot, bool twin = false) {
        if (slot == backBufferSlot) return screenGetBackBuffer();
        BitmapSlot& s = bitmaps_[slot];
        return twin && s.holder == Holder::view ? &s.twin : s.bm;
    }
    // A bitmap argument: a live slot or the back buffer.
    int bitmapArg() {
        int live[bitmapSlots + 1], n = 0;
        for (int s = 0; s < bitmapSlots; ++s)
            if (bitmaps_[s].holder != Holder::none) live[n++] = s;
        live[n++] = backBufferSlot;
        return live[in_.pick(n)];
    }
    // One of the live objects of a pool (null when there is none).
    template <class T, size_t n>
    T* livePick(T* (&pool)[n]) {
        T* live[n];
        size_t count = 0;
        for (T* item : pool)
            if (item) live[count++] = item;
        return count ? live[in_.pick(int(count))] : nullptr;
    }
    int rootOf(int slot) const {
        while (slot >= 0 && slot < bitmapSlots && bitmaps_[slot].parent >= 0)
            slot = bitmaps_[slot].parent;
        return slot;
    }

    // The host forgets a current palette or colormap before its memory goes.
    static void forget(const void* memory) {
        if (!memory) return;
        if (paletteCurrent == memory) paletteSetCurrent(nullptr, 0, 0);
        if (colormapCurrent == memory) colormapSetCurrent(nullptr);
    }
    static void forgetMip(mip_tag* mip) {
        if (mipGetCurrent() == mip) mipSetCurrent(nullptr);
        forget(mip->colormap);
    }

    void releaseBitmap(int slot, bool viaUnload);
    void releaseDependents(int parent);
    void allocBitmap();
    void makeInstance();
    void makeView();

    // ---------------------------------------------------------- mirror
    // Runs `call` on the arguments as given and, when a view is among them,
    // again with the twins: results, the written bitmap and the views must
    // agree.
    void mirrored(std::initializer_list<int> reads, int written,
                  const std::function<int64_t(bool twin)>& call);
    void compareView(int slot, const char* what);

    // ---------------------------------------------------------- display
    void beforeDisplayCall() { releaseDependents(backBufferSlot); }
    void displayOp(int op);

    // ---------------------------------------------------------- drawing
    void drawOp(int op);
    void scaleOp();
    void polyOp();

    // ------------------------------------------------------------ files
    std::string fileKey(const std::string& name) const { return std::to_string(dir_) + "/" + name; }
    std::string path(const std::string& name) const { return dirs_[dir_] + "/" + name; }
    // A file name; often the one last written or loaded, so that loads
    // meet the files just written and the cache its entries.
    std::string fileName() {
        const int choice = in_.pick(fileNameCount + 2);
        if (choice < fileNameCount) return fileNames[choice];
        const std::string& recent = recent_[choice - fileNameCount];
        return recent.empty() ? fileNames[0] : recent;
    }
    std::string cacheKey(const std::string& name) const {
        std::string key = std::to_string(dir_) + "/";
        for (size_t i = 0; i < name.size() && i < 16; ++i)
            key += char(std::tolower(static_cast<unsigned char>(name[i])));
        return key;
    }
    // Writes through `write` (on the twin too when `slot` is a view: the
    // two files must be the same bytes); the result of the first write.
    bool writeFile(const std::string& name, int slot,
                   const std::function<bool(file_tag*, bool twin)>& write);
    void writeOp(int op);
    // The reading calls; `written` names a file just written (read back at
    // once), else the name comes from the input.
    void loadOp(const std::string* written = nullptr);
    void checkLoaded(const FileModel& m, const std::string& name, uint8_t first, int variant,
                     bitmap_tag* bm);
    void readOp();
    void tableLoadOp(const std::string* written = nullptr);
    void mipLoadOp(const std::string* written = nullptr);
    // Gives a written TGA file an id field and an unused colour map.
    void addTgaColorMap(const std::string& name);
    FileModel modelOf(const std::string& name) const {
        auto it = files_.find(fileKey(name));
        return it == files_.end() ? FileModel{} : it->second;
    }

    Input& in_;
    BitmapSlot bitmaps_[bitmapSlots];
    uint32_t* palettes_[paletteSlots] = {};
    uint8_t* colormaps_[colormapSlots] = {};
    mip_tag* mips_[mipSlots] = {};
    // Special records; a record built for a view's layout has a second one
    // built for its twin's.
    uint8_t* specials_[specialSlots][2] = {};
    std::map<std::string, CacheEntry> cache_;
    std::map<std::string, FileModel> files_;
    std::string dirs_[2];
    std::string recent_[2]; // the names last written and last loaded
    int dir_ = 0;
    bool rasterBegun_ = false;
    vertex_tag vertices_[25];
};

// ------------------------------------------------------------------ pool

void Sequence::releaseDependents(int parent) {
    for (int s = 0; s < bitmapSlots; ++s)
        if (bitmaps_[s].holder != Holder::none && bitmaps_[s].parent == parent)
            releaseBitmap(s, false);
}

void Sequence::releaseBitmap(int slot, bool viaUnload) {
    BitmapSlot& s = bitmaps_[slot];
    const Holder holder = s.holder;
    if (holder == Holder::none) return;
    s.holder = Holder::none; // dependents first, without coming back here
    releaseDependents(slot);
    bitmap_tag* bm = s.bm;
    switch (holder) {
    case Holder::instance: bitmapInstanceFree(bm); break;
    case Holder::view: forget(s.map.data()); break;
    case Holder::cached: {
        auto entry = std::find_if(cache_.begin(), cache_.end(),
                                  [&](const auto& e) { return e.second.bm == bm; });
        if (entry == cache_.end()) fail("a loaded bitmap missing from the cache model");
        if (--entry->second.users == 0) {
            forget(bm->map);
            cache_.erase(entry);
        }
        bitmapUnload(bm);
        break;
    }
    case Holder::allocated:
    case Holder::uncached:
        forget(bm->map);
        viaUnload ? bitmapUnload(bm) : bitmapFree(bm);
        break;
    default: break;
    }
    s = BitmapSlot{};
}

void Sequence::allocBitmap() {
    const int slot = in_.pick(bitmapSlots);
    uint8_t type = uint8_t(in_.pick(8) ? in_.pick(PIXEL_ALPHA8 + 1) : in_.range(11, 255));
    if (settings().leaveOutTypes) type %= PIXEL_ALPHA8 + 1;
    const int32_t width = in_.size(), height = in_.size();
    const bool withMap = in_.flag(), viaUnload = in_.flag();
    const Input::Fill fill = in_.fill();
    releaseBitmap(slot, viaUnload);
    bitmap_tag* bm;
    if (!bitmapAlloc(&bm, type, width, height, withMap)) {
        if (bm) fail("bitmapAlloc failed without clearing its out-pointer");
        return;
    }
    // The whole buffer: (height + 1) rows and a byte.
    fillPixels(bm, fill.seed, fill.mode, bm->pixels, size_t(bm->rowBytes) * size_t(height + 1) + 1);
    BitmapSlot& s = bitmaps_[slot];
    s.holder = Holder::allocated;
    s.bm = bm;
}

void Sequence::makeInstance() {
    const int slot = in_.pick(bitmapSlots);
    const int parent = bitmapArg();
    const int placement = in_.pick(4);
    const bool record = in_.flag();
    int32_t x = 0, y = 0, w = 0, h = 0;
    if (parent < 0 || parent == slot || isView(parent)) return;
    const bitmap_tag* p = resolve(parent);
    // A parent may itself be an instance of any size.
    const int32_t pw = std::clamp(int32_t{p->width}, 0, INT32_MAX - 1);
    const int32_t ph = std::clamp(int32_t{p->height}, 0, INT32_MAX - 1);
    switch (placement) {
    case 0: // inside
        x = in_.range(0, pw), y = in_.range(0, ph);
        w = in_.range(0, pw - x), h = in_.range(0, ph - y);
        break;
    case 1: // on the right and bottom edges
        w = in_.range(0, pw), h = in_.range(0, ph);
        x = pw - w, y = ph - h;
        break;
    case 2: // one past an edge, or a negative corner
        x = in_.coord(pw), y = in_.coord(ph);
        w = in_.range(0, pw + 1), h = in_.range(0, ph + 1);
        break;
    default: x = in_.i32(), y = in_.i32(), w = in_.i32(), h = in_.i32(); break;
    }
    for (int p = parent; p >= 0 && p < bitmapSlots; p = bitmaps_[p].parent)
        if (p == slot) return; // the new instance would release its own parent
    releaseBitmap(slot, false);
    BitmapSlot& s = bitmaps_[slot];
    if (record) {
        bitmapInstance(&s.record, resolve(parent), x, y, w, h);
        s.bm = &s.record;
    } else if (!bitmapInstanceAlloc(&s.bm, resolve(parent), x, y, w, h)) {
        return;
    }
    s.holder = record ? Holder::instanceRecord : Holder::instance;
    s.parent = parent;
}

// A bottom-up view over a buffer of its own (rows `stride` bytes apart,
// one spare row after the rows), with its twin.
void Sequence::makeView() {
    const int slot = in_.pick(bitmapSlots);
    const uint8_t type = uint8_t(in_.pick(PIXEL_ALPHA8 + 1));
    const int32_t width = in_.size(), height = std::max(in_.size(), 1);
    // Whole pixels of slack: the primitives step 16-bit rows by whole pixels.
    const int32_t slack = in_.range(0, 5), bpp = std::max(bytesPerPixel(type), 1);
    const int32_t stride = int32_t(allocRowBytes(type, width)) + slack - slack % bpp;
    const bool withMap = in_.flag() && hasMap(type);
    const Input::Fill fill = in_.fill();
    if (settings().leaveOutViews) return;
    releaseBitmap(slot, false);
    BitmapSlot& s = bitmaps_[slot];
    s.holder = Holder::view;
    s.viewBuffer.assign(size_t(stride) * size_t(height + 1) + 4, 0);
    if (withMap) s.map.assign(256, 0);
    s.record = {type,
                width,
                height,
                -stride,
                withMap ? s.map.data() : nullptr,
                s.viewBuffer.data() + int64_t(stride) * (height - 1)};
    s.bm = &s.record;
    fillPixels(s.bm, fill.seed, fill.mode, s.viewBuffer.data(), s.viewBuffer.size());
    s.twinBuffer.assign(s.viewBuffer.size(), 0);
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(s.twinBuffer.data() + int64_t(y) * stride,
                    s.record.pixels - int64_t(y) * stride, size_t(stride));
    std::copy(s.viewBuffer.begin() + int64_t(stride) * height, s.viewBuffer.end(),
              s.twinBuffer.begin() + int64_t(stride) * height);
    s.twin = {type, width, height, stride, s.record.map, s.twinBuffer.data()};
}

void Sequence::compareView(int slot, const char* what) {
    const BitmapSlot& s = bitmaps_[slot];
    const int64_t stride = s.twin.rowBytes, height = s.twin.height;
    for (int64_t y = 0; y < height; ++y)
        if (std::memcmp(s.record.pixels - y * stride, s.twin.pixels + y * stride, size_t(stride)))
            fail(std::string(what) + ": the bottom-up view and its twin differ in row " +
                 std::to_string(y));
    if (!std::equal(s.viewBuffer.begin() + stride * height, s.viewBuffer.end(),
                    s.twinBuffer.begin() + stride * height))
        fail(std::string(what) + ": written past the rows of a bottom-up view or its twin");
}

void Sequence::mirrored(std::initializer_list<int> reads, int written,
                        const std::function<int64_t(bool)>& call) {
    bool views = isView(written);
    for (int r : reads)
        views = views || isView(r);
    if (!views) {
        call(false);
        return;
    }
    if (written == backBufferSlot) {
        call(false);
        return;
    }
    std::vector<uint8_t> before, first;
    bitmap_tag* target = written >= 0 && !isView(written) ? resolve(written) : nullptr;
    if (target) before = rowsOf(target);
    const int64_t r1 = call(false);
    if (target) {
        first = rowsOf(target);
        restoreRows(target, before);
    }
    const int64_t r2 = call(true);
    if (r1 != r2)
        fail("a call on a bottom-up view gave " + std::to_string(r1) + ", on its twin " +
             std::to_string(r2));
    if (target && rowsOf(target) != first)
        fail("a bottom-up view and its twin drew different pixels");
    for (int slot : reads)
        if (isView(slot)) compareView(slot, "read");
    if (isView(written)) compareView(written, "drawn");
}

// ------------------------------------------------------------------ step

void Sequence::step() {
    const int op = in_.pick(opCount);
    currentOp = opNames[op];
    if (settings().trace) std::fprintf(stderr, "call %s\n", currentOp);
    switch (op) {
    case opAllocBitmap: allocBitmap(); break;
    case opReleaseBitmap: {
        int slot = in_.pick(bitmapSlots);
        releaseBitmap(slot, in_.flag());
        break;
    }
    case opInstance: makeInstance(); break;
    case opView: makeView(); break;
    case opPalette: {
        const int slot = in_.pick(paletteSlots), what = in_.pick(3);
        const int index = in_.pick(256);
        const uint32_t value = uint32_t(in_.u64());
        uint32_t*& p = palettes_[slot];
        if (what == 0) {
            forget(p);
            paletteFree(p);
            p = nullptr;
            if (!paletteAlloc(&p)) return;
            fillTable(p, sizeof(Palette), value);
        } else if (what == 1) {
            forget(p);
            in_.flag() ? paletteUnload(p) : paletteFree(p);
            p = nullptr;
        } else if (p) {
            paletteSetEntry(p, index, value);
            if (paletteGetEntry(p, index) != value) fail("paletteGetEntry");
        }
        break;
    }
    case opColormap: {
        const int slot = in_.pick(colormapSlots), what = in_.pick(3);
        const int index = in_.pick(16);
        const uint64_t value = in_.u64();
        uint8_t*& c = colormaps_[slot];
        if (what == 0) {
            forget(c);
            colormapFree(c);
            c = nullptr;
            if (!colormapAlloc(&c)) return;
            for (int i = 0; i < 16; ++i)
                c[i] = uint8_t(value >> (4 * (i % 16)));
        } else if (what == 1) {
            forget(c);
            in_.flag() ? colormapUnload(c) : colormapFree(c);
            c = nullptr;
        } else if (c) {
            colormapSetEntry(c, index, uint8_t(value));
        }
        break;
    }
    case opMapCalls: {
        const int slot = bitmapArg(), what = in_.pick(4);
        const int first = in_.pick(257);
        const int count = in_.range(-2, 256 - first);
        uint32_t* pool = livePick(palettes_);
        uint8_t* colormapPool = livePick(colormaps_);
        bitmap_tag* bm = resolve(slot);
        uint32_t paletteCopy[256] = {};
        uint8_t colormapCopy[16] = {};
        uint32_t* palette = pool ? pool : paletteCopy;
        uint8_t* colormap = colormapPool ? colormapPool : colormapCopy;
        switch (what) {
        case 0: bitmapGetPalette(palette, bm, first, count); break;
        case 1: bitmapSetPalette(bm, palette, first, count); break;
        case 2: bitmapGetColormap(colormap, bm); break;
        default: bitmapSetColormap(bm, colormap); break;
        }
        break;
    }
    case opMipCreate: {
        const int slot = in_.pick(mipSlots), src = bitmapArg();
        const uint32_t levels = uint32_t(in_.pick(4) ? in_.range(0, 12) : in_.i32());
        const bool subset = in_.flag();
        uint32_t mask[8];
        for (uint32_t& m : mask)
            m = uint32_t(in_.u64());
        if (src < 0) return;
        if (mips_[slot]) forgetMip(mips_[slot]);
        mipFree(mips_[slot]);
        mips_[slot] = nullptr;
        mip_tag* made[2] = {};
        mirrored({src}, -1, [&](bool twin) -> int64_t {
            mip_tag*& out = made[twin];
            uint8_t ok = subset ? mipCreateFromSubset(&out, resolve(src, twin), levels, 7, mask)
                                : mipCreate(&out, resolve(src, twin), levels, 7);
            if (!ok && out) fail("mipCreate failed without clearing its out-pointer");
            return ok;
        });
        if (made[0] && made[1]) {
            std::string why = compareMip(mipImageOf(made[0]), made[1]);
            if (!why.empty()) fail("mip chains of a bottom-up view and its twin: " + why);
        }
        mipFree(made[1]);
        mips_[slot] = made[0];
        break;
    }
    case opMipRelease: {
        const int slot = in_.pick(mipSlots);
        const bool unload = in_.flag();
        if (!mips_[slot]) return;
        forgetMip(mips_[slot]);
        unload ? mipUnload(mips_[slot]) : mipFree(mips_[slot]);
        mips_[slot] = nullptr;
        break;
    }
    case opSpecialCreate: {
        const int slot = in_.pick(specialSlots), src = bitmapArg(), layout = bitmapArg();
        const int32_t x = in_.coord(64), y = in_.coord(64);
        if (src < 0 || layout < 0) return;
        uint8_t** made = specials_[slot];
        bitmapFreeSpecial(made[0]);
        bitmapFreeSpecial(made[1]);
        made[0] = made[1] = nullptr;
        mirrored({src, layout}, -1, [&](bool twin) -> int64_t {
            made[twin] = bitmapCreateSpecial(resolve(src, twin), resolve(layout, twin), x, y);
            return made[twin] != nullptr;
        });
        // From the same rows for the same layout, the same record.
        if (made[0] && made[1] && !isView(layout)) {
            const size_t bytes = 22 + (made[0][18] | made[0][19] << 8 | made[0][20] << 16 |
                                       size_t(made[0][21]) << 24);
            if (std::memcmp(made[0], made[1], bytes))
                fail("special records of a bottom-up view and its twin differ");
        }
        if (!isView(layout)) {
            bitmapFreeSpecial(made[1]);
            made[1] = nullptr;
        }
        break;
    }
    case opSpecialDraw: {
        const int dst = bitmapArg();
        uint8_t* const* made = specials_[in_.pick(specialSlots)];
        if (dst < 0 || !made[0] || (isView(dst) && !made[1])) return;
        mirrored({}, dst, [&](bool twin) -> int64_t {
            bitmapDrawSpecial(resolve(dst, twin), made[twin && made[1]]);
            return 0;
        });
        break;
    }
    case opSpecialFree: {
        uint8_t** made = specials_[in_.pick(specialSlots)];
        bitmapFreeSpecial(made[0]);
        bitmapFreeSpecial(made[1]);
        made[0] = made[1] = nullptr;
        break;
    }
    case opPaletteCurrent: {
        const int what = in_.pick(4);
        uint32_t* palette = in_.pick(4) ? livePick(palettes_) : nullptr;
        const int first = in_.range(0, 256), end = in_.range(0, 256);
        const int slot = bitmapArg();
        if (what == 0) {
            paletteSetCurrent(palette, first, end);
        } else if (what == 1 && slot >= 0) {
            paletteSetCurrentFromBitmap(resolve(slot), first, end);
        } else {
            uint32_t copy[256];
            paletteGetCurrent(copy, first, end);
        }
        break;
    }
    case opColormapCurrent: {
        const int what = in_.pick(3);
        uint8_t* colormap = in_.pick(4) ? livePick(colormaps_) : nullptr;
        const mip_tag* mip = livePick(mips_);
        const int slot = bitmapArg();
        if (what == 0) {
            colormapSetCurrent(colormap);
        } else if (what == 1) {
            colormapSetCurrentFromBitmap(resolve(slot));
        } else if (mip) {
            colormapSetCurrent(mip->colormap);
        }
        break;
    }
    case opMipCurrent: mipSetCurrent(in_.pick(4) ? livePick(mips_) : nullptr); break;
    case opColorQueries: {
        const int slot = bitmapArg();
        const uint32_t* p = livePick(palettes_);
        const uint8_t* c = livePick(colormaps_);
        const uint32_t value = uint32_t(in_.pick(3) ? in_.range(0, 255) : in_.i32());
        const uint8_t r = uint8_t(in_.u64()), g = uint8_t(in_.u64()), b = uint8_t(in_.u64());
        uint32_t mask[8];
        for (uint32_t& m : mask)
            m = uint32_t(in_.u64());
        if (slot >= 0)
            mirrored({slot}, -1, [&](bool twin) -> int64_t {
                bitmap_tag* bm = resolve(slot, twin);
                return int64_t(colorA(bm, value)) ^ colorR(bm, value) << 8 ^
                       colorG(bm, value) << 16 ^ int64_t(colorB(bm, value)) << 24 ^
                       int64_t(colorRGB(bm, r, g, b)) << 32 ^ colorSubsetRGB(bm, r, g, b, mask) ^
                       colorRGBA(bm, r, g, b, uint8_t(value));
            });
        volatile uint32_t sink = 0;
        if (p)
            sink = paletteRGB(p, r, g, b) ^ paletteSubsetRGB(p, r, g, b, mask) ^
                   paletteRGBA(p, r, g, b, 9);
        if (c)
            sink = colormapR(c, int32_t(value & 15)) ^ colormapG(c, 3) ^ colormapB(c, 15) ^
                   colormapA(c, 0) ^ colormapRGB(c, r, g, b) ^ colormapSubsetRGB(c, r, g, b, mask) ^
                   colormapRGBA(c, r, g, b, 1);
        (void)sink;
        break;
    }
    case opFontColor: bitmapSetFontColor(uint32_t(in_.u64())); break;
    case opScreenBegin:
    case opDedicated:
    case opRasterBegin:
    case opScreenMode:
    case opScreenEnd:
    case opLock:
    case opUnlock:
    case opDisplay:
    case opDisplayMisc:
    case opRasterEnd: displayOp(op); break;
    case opPixel:
    case opFillRect:
    case opLine:
    case opText:
    case opFill:
    case opCopy:
    case opMipCopy:
    case opCharacter:
    case opTriangle: drawOp(op); break;
    case opScale: scaleOp(); break;
    case opPoly: polyOp(); break;
    case opChDir:
        dir_ = in_.pick(2);
        if (!fileChDir(dirs_[dir_].c_str())) fail("fileChDir");
        break;
    case opWriteNative:
    case opWritePcx:
    case opWriteTga:
    case opWriteMip:
    case opWriteTable:
    case opScreenshot:
    case opTgaColorMap:
    case opCorrupt: writeOp(op); break;
    case opLoad: loadOp(); break;
    case opRead: readOp(); break;
    case opTableLoad: tableLoadOp(); break;
    case opMipLoad: mipLoadOp(); break;
    default: break;
    }
}

// What a host may read at any moment: the current palette, colormap and
// mip, and the back buffer's pixels when it has any.
void Sequence::probe() {
    uint32_t copy[256];
    paletteGetCurrent(copy, 0, 256);
    volatile uint8_t sink = 0;
    if (const uint8_t* c = colormapGetCurrent())
        for (int i = 0; i < 16; ++i)
            sink = sink + c[i];
    if (const mip_tag* mip = mipGetCurrent())
        if (mip->levels && mip->level[0].pixels) sink = sink + mip->level[0].pixels[0];
    const bitmap_tag* back = screenGetBackBuffer();
    const int bpp = bytesPerPixel(back->pixelType);
    if (back->pixels && bpp && back->width > 0 && back->height > 0 &&
        back->rowBytes >= int64_t(back->width) * bpp) {
        sink = sink + back->pixels[0];
        sink = sink + back->pixels[int64_t(back->height - 1) * back->rowBytes +
                                   int64_t(back->width) * bpp - 1];
    }
    (void)sink;
}

void Sequence::finish() {
    for (auto& made : specials_)
        for (uint8_t*& special : made) {
            bitmapFreeSpecial(special);
            special = nullptr;
        }
    for (int s = 0; s < bitmapSlots; ++s)
        releaseBitmap(s, false);
    for (mip_tag*& mip : mips_)
        if (mip) {
            forgetMip(mip);
            mipFree(mip);
            mip = nullptr;
        }
    for (uint32_t*& p : palettes_) {
        forget(p);
        paletteFree(p);
        p = nullptr;
    }
    for (uint8_t*& c : colormaps_) {
        forget(c);
        colormapFree(c);
        c = nullptr;
    }
    if (!cache_.empty()) fail("the cache model kept an entry");
    unlockBitmap();
    for (int i = 0; i < 3 && screenCurrentMode(); ++i)
        screenEnd();
    if (rasterBegun_) rasterEnd();
    if (headless::liveWindows() != 0) fail("rasterEnd left a window");
    paletteSetCurrent(nullptr, 0, 0);
    colormapSetCurrent(nullptr);
    mipSetCurrent(nullptr);
    screenLifecycleReset();
    screenPaletteReset();
    memoryDisplayResetDefaults();
    headless::reset();
}

// --------------------------------------------------------------- display

// The display may lose its surfaces between any two calls; the call that
// meets the loss restores them.
void Sequence::displayOp(int op) {
    beforeDisplayCall();
    switch (op) {
    case opScreenBegin:
        if (!rasterBegun_) ScreenBegin(in_.flag() ? hostWindow : nullptr);
        break;
    case opDedicated: SetDedicatedMode(uint8_t(in_.pick(3))); break;
    case opRasterBegin: {
        static const int32_t versions[] = {0, -999, 1, 1000, -1000, -1};
        const int32_t version = versions[in_.pick(6)];
        const bool create = in_.pick(4) != 0, withParams = in_.pick(5) != 0;
        const bool ownWindow = in_.flag(), registered = in_.flag();
        if (rasterBegun_) return;
        RasterBeginParams params{};
        params.window = ownWindow ? nullptr : hostWindow;
        params.classRegistered = registered;
        params.className = "spanwright fuzz";
        params.windowProc = reinterpret_cast<void*>(hostProc);
        rasterBegin(version, create, withParams ? &params : nullptr);
        rasterBegun_ = true;
        break;
    }
    case opScreenMode: {
        screenmode_tag modes[12] = {};
        int count = 0;
        if (screenGetFirstMode(&modes[0]))
            for (count = 1; count < 6 && screenGetNextMode(&modes[count]); ++count) {
            }
        static const int32_t odd[][3] = {{0, 0, 8},      {320, 200, 8},  {1, 1, 16},
                                         {800, 600, 32}, {5000, 16, 16}, {640, 480, 15}};
        for (const auto& o : odd) {
            modes[count] = modes[0];
            modes[count].width = o[0], modes[count].height = o[1], modes[count].bitsPerPixel = o[2];
            ++count;
        }
        const int choice = in_.pick(in_.pick(4) ? 6 : count);
        screenBegin(in_.pick(16) ? &modes[choice] : nullptr);
        break;
    }
    case opScreenEnd:
        if (in_.pick(4))
            screenEnd();
        else
            ScreenEnd();
        break;
    case opLock: lockBitmap(); break;
    case opUnlock: unlockBitmap(); break;
    case opDisplay: {
        const int target = bitmapArg();
        const bool displayed = in_.pick(4) == 0;
        ShowFrameRate(uint8_t(in_.pick(2)));
        headless::setTick(true, 5000 + uint32_t(in_.pick(4)) * 700);
        // The readout is not drawn twice: a view is left out.
        bitmap_tag* bm = target < 0 || isView(target) ? screenGetBackBuffer() : resolve(target);
        displayed ? screenDisplayed(bm) : screenDisplay(bm);
        break;
    }
    case opDisplayMisc: {
        const int what = in_.pick(8);
        static const uint32_t messages[] = {0x82, 0x1C, 0x311, 0x30F};
        if (what == 0) screenGotFocus();
        if (what == 1) screenLostFocus();
        if (what == 2) screenPalChanged();
        if (what == 3) {
            uintptr_t out[3];
            getScreenInternalLock(in_.flag() ? out : nullptr);
        }
        if (what == 4) headless::sendMessage(hostWindow, messages[in_.pick(4)], 1, 0);
        if (what == 5) {
            volatile uint8_t sink = ScreenGetPixelType() ^ screenSupportsTGA();
            (void)sink;
        }
        if (what == 6) {
            const int dst = bitmapArg();
            if (dst >= 0 && !isView(dst)) screenReadFrame(resolve(dst));
        }
        if (what == 7) memoryDisplayLoseSurfaces();
        break;
    }
    case opRasterEnd:
        if (rasterBegun_) rasterEnd();
        rasterBegun_ = false;
        break;
    default: break;
    }
}

// --------------------------------------------------------------- drawing

void Sequence::drawOp(int op) {
    const int dst = bitmapArg();
    if (dst < 0) return;
    const bitmap_tag* d = resolve(dst);
    const int32_t w = d->width, h = d->height;
    const int32_t color = in_.color();
    const int32_t x0 = in_.coord(w), y0 = in_.coord(h), x1 = in_.coord(w), y1 = in_.coord(h);
    switch (op) {
    case opPixel: {
        const int what = in_.pick(3);
        mirrored({}, dst, [&](bool twin) -> int64_t {
            bitmap_tag* bm = resolve(dst, twin);
            if (what == 0) drawPixel(bm, color, x0, y0);
            if (what == 1) return readPixel(bm, x0, y0);
            int32_t r = -1, g = -1, b = -1;
            if (what == 2) readPixelRGB(bm, x0, y0, &r, &g, &b);
            return int64_t(r) << 32 ^ g << 16 ^ b;
        });
        break;
    }
    case opFillRect: {
        const uint32_t fw = in_.extent(w), fh = in_.extent(h);
        mirrored({}, dst, [&](bool twin) -> int64_t {
            fillRect(resolve(dst, twin), color, x0, y0, fw, fh);
            return 0;
        });
        break;
    }
    case opLine: {
        const bool fixed = in_.flag();
        const int32_t fx0 = in_.fixedCoord(w), fy0 = in_.fixedCoord(h);
        const int32_t fx1 = in_.fixedCoord(w), fy1 = in_.fixedCoord(h);
        mirrored({}, dst, [&](bool twin) -> int64_t {
            if (fixed)
                aaLine(resolve(dst, twin), color, fx0, fy0, fx1, fy1);
            else
                drawLine(resolve(dst, twin), color, x0, y0, x1, y1);
            return 0;
        });
        break;
    }
    case opText: {
        const bool transparent = in_.flag();
        const std::string text = in_.text();
        mirrored({}, dst, [&](bool twin) -> int64_t {
            drawDebugText(resolve(dst, twin), color, x0, y0, text.c_str(), transparent);
            return 0;
        });
        break;
    }
    case opFill:
        mirrored({}, dst, [&](bool twin) -> int64_t {
            bitmapFill(resolve(dst, twin), color);
            return 0;
        });
        break;
    case opCopy: {
        const int src = bitmapArg();
        if (src < 0) return;
        mirrored({src}, dst, [&](bool twin) -> int64_t {
            bitmapCopy(resolve(dst, twin), x0, y0, resolve(src, twin));
            return 0;
        });
        break;
    }
    case opMipCopy: {
        mip_tag* mip = livePick(mips_);
        const uint32_t level = uint32_t(in_.pick(4) ? in_.range(0, 4) : in_.i32());
        if (!mip) return;
        mirrored({}, dst, [&](bool twin) -> int64_t {
            mipCopyBitmap(resolve(dst, twin), x0, y0, mip, level);
            return 0;
        });
        break;
    }
    case opCharacter: {
        const int pattern = bitmapArg(), glyph = bitmapArg();
        if (pattern < 0 || glyph < 0) return;
        mirrored({pattern, glyph}, dst, [&](bool twin) -> int64_t {
            bitmapCopyCharacter(resolve(dst, twin), x0, y0, resolve(pattern, twin),
                                resolve(glyph, twin));
            return 0;
        });
        break;
    }
    case opTriangle: {
        const uint32_t triangleColor = uint32_t(in_.pick(4) ? in_.range(0, 255) : in_.i32());
        int32_t c[6];
        for (int i = 0; i < 6; ++i)
            c[i] = in_.fixedCoord(i % 2 ? h : w);
        mirrored({}, dst, [&](bool twin) -> int64_t {
            aaTriangle(resolve(dst, twin), triangleColor, c[0], c[1], c[2], c[3], c[4], c[5]);
            return 0;
        });
        break;
    }
    default: break;
    }
}

// bitmapScale, and on its general path the same bytes on every one-byte
// destination type.
void Sequence::scaleOp() {
    const int dst = bitmapArg(), src = bitmapArg();
    if (dst < 0 || src < 0) return;
    const bitmap_tag* d = resolve(dst);
    const int32_t x = in_.coord(d->width), y = in_.coord(d->height);
    const int32_t fx = in_.factor(), fy = in_.factor();
    bitmap_tag* target = resolve(dst);
    const std::vector<uint8_t> before = rowsOf(target);
    mirrored({src}, dst, [&](bool twin) -> int64_t {
        bitmapScale(resolve(dst, twin), x, y, resolve(src, twin), fx, fy);
        return 0;
    });
    const uint8_t type = target->pixelType, srcType = resolve(src)->pixelType;
    const bool general =
        !(fx == 0x10000 && fy == 0x10000) && !(isIndexed8(type) && isIndexed8(srcType));
    if (!general || dst == backBufferSlot || isView(dst) || rootOf(dst) == rootOf(src) ||
        bytesPerPixel(type) != 1 || before.empty())
        return;
    const uint8_t other = type == PIXEL_ALPHA8 ? PIXEL_CMAP4 : PIXEL_ALPHA8;
    std::vector<uint8_t> buffer(before.size() + size_t(target->width) + 4);
    std::copy(before.begin(), before.end(), buffer.begin());
    bitmap_tag copy = {other,         target->width, target->height,
                       target->width, target->map,   buffer.data()};
    bitmapScale(&copy, x, y, resolve(src), fx, fy);
    if (rowsOf(&copy) != rowsOf(target))
        fail("bitmapScale wrote different bytes onto pixel types " + std::to_string(type) +
             " and " + std::to_string(other));
}

void Sequence::polyOp() {
    const int dst = bitmapArg();
    if (dst < 0) return;
    const bitmap_tag* d = resolve(dst);
    const int32_t mode = in_.pick(4) ? in_.range(0, 7) : in_.i32();
    const int count = in_.range(0, 25);
    const bool setColor = in_.flag();
    const uint32_t color = uint32_t(in_.color());
    std::vector<bool> skipped(static_cast<size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        vertex_tag& v = vertices_[i];
        v.x = in_.fixedCoord(d->width);
        v.y = in_.fixedCoord(d->height);
        v.z = in_.pick(4) ? in_.range(1, 1 << 20) : in_.range(1, INT32_MAX);
        v.u = in_.pick(3) ? in_.range(-0x20000, 0x20000) : in_.i32();
        v.v = in_.pick(3) ? in_.range(-0x20000, 0x20000) : in_.i32();
        v.color = in_.color();
        skipped[size_t(i)] = in_.pick(16) == 0; // a null vertex is ignored
    }
    mirrored({}, dst, [&](bool twin) -> int64_t {
        polyBegin(resolve(dst, twin), mode);
        if (setColor) polySetColor(color);
        for (int i = 0; i < count; ++i)
            polyVertex(skipped[size_t(i)] ? nullptr : &vertices_[i]);
        polyEnd();
        return 0;
    });
}

// ----------------------------------------------------------------- files

bool Sequence::writeFile(const std::string& name, int slot,
                         const std::function<bool(file_tag*, bool)>& write) {
    auto writeOne = [&](const std::string& where, bool twin) {
        file_tag* f;
        if (!fileCreate(&f, where.c_str())) fail("fileCreate " + where);
        bool ok = write(f, twin);
        fileClose(f);
        return ok;
    };
    const bool ok = writeOne(path(name), false);
    if (isView(slot)) {
        const std::string twinPath = workDir() + "/twin";
        const bool twinOk = writeOne(twinPath, true);
        if (ok != twinOk || readFileBytes(path(name)) != readFileBytes(twinPath))
            fail("a bottom-up view and its twin were written differently");
        compareView(slot, "written");
    }
    return ok;
}

// The palette a writer of `slot` is given: a pool palette or the bitmap's.
void Sequence::writeOp(int op) {
    const int slot = bitmapArg();
    const std::string name = fileName();
    FileModel model;
    switch (op) {
    case opWriteNative: {
        if (slot < 0) return;
        if (writeFile(name, slot, [&](file_tag* f, bool twin) {
                return bitmapWrite(f, resolve(slot, twin)) == 1;
            }))
            model = nativeModel(resolve(slot, true));
        break;
    }
    case opWritePcx: {
        const bool own = in_.flag();
        const uint32_t* pool = livePick(palettes_);
        if (slot < 0) return;
        bitmap_tag* bm = resolve(slot);
        const uint32_t* palette = own && isIndexed8(bm->pixelType) && bm->map
                                      ? static_cast<uint32_t*>(bm->map)
                                  : pool ? pool
                                         : greyRamp();
        if (writeFile(name, slot, [&](file_tag* f, bool twin) {
                return bitmapWritePcx(f, resolve(slot, twin), palette) == 1;
            }))
            model = pcxModel(resolve(slot, true), palette);
        break;
    }
    case opWriteTga: {
        static const int depths[] = {15, 16, 24, 32, 8, 0};
        const int bits = depths[in_.pick(in_.pick(8) ? 4 : 6)];
        const bool compress = in_.flag(), withColorMap = in_.pick(4) == 0;
        const uint32_t* palette = in_.flag() ? livePick(palettes_) : nullptr;
        const bool mapped = in_.pick(3) == 0;
        if (slot < 0) return;
        if (!writeFile(name, slot, [&](file_tag* f, bool twin) {
                return tgaWriteBitmap(resolve(slot, twin), palette, f, compress, withColorMap,
                                      bits);
            }))
            break;
        const bitmap_tag* bm = resolve(slot, true);
        std::vector<uint32_t> want = tgaExpectedPixels(bm, palette, bits), got;
        std::string why;
        if (!decodeTga(readFileBytes(path(name)), bm->width, bm->height, bits, got, why))
            fail("written TGA: " + why);
        if (got != want) fail("written TGA pixels differ from the bitmap's");
        model.kind = FileKind::tga;
        model.tgaBits = bits;
        model.image = {PIXEL_ARGB1555, bm->width, bm->height, want};
        model.loadable = (bits == 15 || bits == 16) && bm->width >= 1 && bm->height >= 1;
        if (mapped) addTgaColorMap(name);
        break;
    }
    case opWriteMip: {
        mip_tag* mip = livePick(mips_);
        const int form = in_.pick(3), extra = in_.pick(3);
        const uint32_t slack = uint32_t(in_.pick(3) ? 0 : in_.range(0, 4096));
        static const uint32_t* extraPalette;
        extraPalette = livePick(palettes_);
        if (!mip) return;
        // Extra chunks: none, a palette (paletteLoad finds it), or a failure.
        mipExtraFunction callback = nullptr;
        if (extra == 1 && extraPalette)
            callback = [](file_tag* f, uint32_t) -> uint8_t {
                return paletteWrite(f, extraPalette);
            };
        if (extra == 2) callback = [](file_tag*, uint32_t) -> uint8_t { return 0; };
        const MipImage image = mipImageOf(mip);
        const uint8_t type = mip->levels ? mip->level[0].pixelType : 0;
        if (form == 2) {
            if (bytesPerPixel(type) != 1 || !mip->levels) return;
            writeFileBytes(path(name), oldStyleMipFile(image, slack));
            model.kind = FileKind::oldMip;
            model.mip = image;
            model.mip.flag = 1;
            model.mip.colormap.reset();
            for (Image& level : model.mip.level)
                level.type = PIXEL_PAL8;
            break;
        }
        file_tag* f;
        if (!fileCreate(&f, path(name).c_str())) fail("fileCreate");
        const bool ok = mipWrite(f, mip, form == 1 ? nullptr : callback, 0x5EED);
        fileClose(f);
        if (ok != (form == 1 || extra != 2)) fail("mipWrite result");
        if (!ok) break;
        model.kind = form == 1 ? FileKind::omtMip : FileKind::mip;
        model.mip = image;
        if (!isIndexed4(type)) model.mip.colormap.reset(); // only a 4-bit chain writes its own
        model.loadable = mip->levels > 0;
        if (form == 0 && callback && extraPalette) {
            model.palette.emplace();
            std::memcpy(model.palette->data(), extraPalette, sizeof(Palette));
        }
        if (form == 1) {
            const int omt = omtTypeOf(type);
            model.loadable = model.loadable && omt >= 0;
            writeFileBytes(path(name),
                           omtMipFile(readFileBytes(path(name)), uint8_t(omt >= 0 ? omt : 2)));
        }
        break;
    }
    case opWriteTable: {
        const uint32_t* palette = in_.flag() ? livePick(palettes_) : nullptr;
        const uint8_t* colormap = palette ? nullptr : livePick(colormaps_);
        file_tag* f;
        if (!palette && !colormap) return;
        if (!fileCreate(&f, path(name).c_str())) fail("fileCreate");
        const bool ok = palette ? paletteWrite(f, palette) : colormapWrite(f, colormap);
        fileClose(f);
        if (!ok) fail("writing a palette or colormap chunk failed");
        if (palette) {
            model.kind = FileKind::palette;
            model.palette.emplace();
            std::memcpy(model.palette->data(), palette, sizeof(Palette));
        } else {
            model.kind = FileKind::colormap;
            model.colormap.emplace();
            std::memcpy(model.colormap->data(), colormap, 16);
        }
        break;
    }
    case opScreenshot: {
        const bitmap_tag back = *screenGetBackBuffer();
        saveScreenshot();
        if (++screenshotCounter > 99) screenshotCounter = 0;
        dir_ = 0;
        char shot[16];
        std::snprintf(shot, sizeof shot, "zvss%02d.tga", screenshotCounter);
        const int bpp = bytesPerPixel(back.pixelType);
        FileModel& m = files_[fileKey(shot)];
        m = FileModel{};
        // An 8-bit screen without a current palette is left to the writer.
        if (!back.pixels || !bpp || back.width < 0 || back.height < 0 ||
            back.rowBytes < int64_t(back.width) * bpp || (bpp == 1 && !paletteCurrent))
            return;
        Palette current;
        paletteGetCurrent(current.data(), 0, 256);
        std::vector<uint32_t> want = tgaExpectedPixels(&back, current.data(), 16), got;
        std::string why;
        if (!decodeTga(readFileBytes(path(shot)), back.width, back.height, 16, got, why))
            fail("screenshot: " + why);
        if (got != want) fail("screenshot pixels differ from the back buffer's");
        m.kind = FileKind::tga;
        m.tgaBits = 16;
        m.image = {PIXEL_ARGB1555, back.width, back.height, want};
        m.loadable = back.width >= 1 && back.height >= 1;
        return;
    }
    case opTgaColorMap:
        model = modelOf(name);
        if (model.kind != FileKind::tga) return;
        addTgaColorMap(name);
        break;
    case opCorrupt: {
        std::vector<uint8_t> bytes = readFileBytes(path(name));
        const size_t at = size_t(in_.range(0, 1 << 20));
        const uint8_t value = uint8_t(in_.u64());
        if (bytes.empty()) return;
        if (in_.flag())
            bytes.resize(at % bytes.size());
        else
            bytes[at % bytes.size()] ^= value | 1;
        writeFileBytes(path(name), bytes);
        break;
    }
    default: break;
    }
    files_[fileKey(name)] = model;
    recent_[0] = name;
    switch (in_.pick(4)) {
    case 1: loadOp(&name); break;
    case 2: tableLoadOp(&name); break;
    case 3: mipLoadOp(&name); break;
    default: break;
    }
}

void Sequence::addTgaColorMap(const std::string& name) {
    static const uint8_t entryBits[] = {15, 16, 24, 32};
    uint8_t idBytes = uint8_t(in_.range(0, 40));
    if (idBytes == 10) idBytes = 0; // a first byte of 10 makes a PCX file
    const uint16_t length = uint16_t(in_.range(0, 300));
    const uint8_t bits = entryBits[in_.pick(4)];
    writeFileBytes(path(name), tgaWithColorMap(readFileBytes(path(name)), idBytes, length, bits));
}

// A load of a file this sequence wrote, by what its first byte and its name
// make the loader take it for.
void Sequence::checkLoaded(const FileModel& m, const std::string& name, uint8_t first, int variant,
                           bitmap_tag* bm) {
    const bool pcx = first == 10;
    const char* dot = std::strchr(name.c_str(), '.');
    const bool tgaName = dot && std::tolower(dot[1]) == 't' && std::tolower(dot[2]) == 'g' &&
                         std::tolower(dot[3]) == 'a';
    const bool load4 = variant >= 3;
    Image want = m.image;
    const void* wantPalette = nullptr;
    const void* wantColormap = nullptr;
    bool expected = false;
    if (load4) {
        expected = pcx && m.kind == FileKind::pcx && m.loadable;
        want.type = variant == 4 ? PIXEL_CMAP4_KEY : PIXEL_CMAP4;
    } else if (pcx) {
        expected = m.kind == FileKind::pcx && m.loadable;
        want.type = variant == 0 ? PIXEL_PAL8 : PIXEL_PAL8_KEY;
        if (m.palette) wantPalette = m.palette->data();
    } else if (tgaName) {
        expected = m.kind == FileKind::tga && m.loadable;
    } else {
        expected = m.kind == FileKind::native && m.loadable;
        if (m.palette) wantPalette = m.palette->data();
        if (m.colormap) wantColormap = m.colormap->data();
    }
    if (!expected) return;
    if (!bm) fail("a written file did not load: " + name);
    if (variant == 2) {
        // The pixels as loaded, under the type the file gave them.
        if (bm->pixelType != PIXEL_ALPHA8) fail("bitmapLoad8a type");
        bitmap_tag asLoaded = *bm;
        asLoaded.pixelType = want.type;
        std::string why = compareImage(want, &asLoaded);
        if (!why.empty()) fail("loaded " + name + ": " + why);
        return; // the map of a coverage bitmap is the library's business
    }
    std::string why = compareImage(want, bm);
    if (!why.empty()) fail("loaded " + name + ": " + why);
    if (load4 && bm->map) fail("bitmapLoad4 gave a map");
    if (wantPalette && (!bm->map || std::memcmp(bm->map, wantPalette, sizeof(Palette))))
        fail("loaded " + name + ": palette");
    if (wantColormap && (!bm->map || std::memcmp(bm->map, wantColormap, 16)))
        fail("loaded " + name + ": colormap");
}

void Sequence::loadOp(const std::string* written) {
    const int slot = in_.pick(bitmapSlots), variant = in_.pick(5);
    const std::string name = written ? *written : fileName();
    // The same name once more (a cache hit), as hosts load shared pictures.
    const bool again = in_.pick(3) == 2;
    file_tag* f;
    if (!fileOpen(&f, name.c_str())) return;
    const std::vector<uint8_t> bytes = readFileBytes(path(name));
    const uint8_t first = bytes.empty() ? 0 : bytes[0];
    releaseBitmap(slot, in_.flag());
    bitmap_tag* bm = nullptr;
    if (variant >= 3) {
        if (!bitmapLoad4(&bm, f, variant == 4) && bm) fail("bitmapLoad4 kept its out-pointer");
        fileClose(f);
        checkLoaded(modelOf(name), name, first, variant, bm);
        if (bm) bitmaps_[slot].holder = Holder::uncached, bitmaps_[slot].bm = bm;
        if (again) loadOp(&name);
        return;
    }
    recent_[1] = name;
    const std::string key = cacheKey(name);
    auto entry = cache_.find(key);
    const void* mapBefore = entry != cache_.end() ? entry->second.bm->map : nullptr;
    const uint8_t ok = variant == 2 ? bitmapLoad8a(&bm, f) : bitmapLoad(&bm, f, uint8_t(variant));
    fileClose(f);
    if (entry != cache_.end()) {
        if (!ok || bm != entry->second.bm) fail("a cached name did not give its cached bitmap");
        if (bm->map != mapBefore) fail("loading a cached bitmap again changed its map");
        if (variant == 2 && bm->pixelType != PIXEL_ALPHA8) fail("bitmapLoad8a type");
        ++entry->second.users;
    } else if (ok) {
        cache_[key] = {bm, 1};
        checkLoaded(modelOf(name), name, first, variant, bm);
    } else {
        if (bm) fail("bitmapLoad failed without clearing its out-pointer");
        checkLoaded(modelOf(name), name, first, variant, nullptr);
    }
    if (ok) bitmaps_[slot].holder = Holder::cached, bitmaps_[slot].bm = bm;
    if (again) loadOp(&name);
}

void Sequence::readOp() {
    const int slot = bitmapArg();
    const std::string name = fileName();
    if (slot < 0) return;
    const FileModel m = modelOf(name);
    const std::vector<uint8_t> bytes = readFileBytes(path(name));
    if (bytes.empty()) return;
    uint8_t result = 0;
    mirrored({}, slot, [&](bool twin) -> int64_t {
        file_tag* f;
        if (!fileOpen(&f, name.c_str())) fail("fileOpen " + name);
        result = bitmapRead(resolve(slot, twin), f);
        fileClose(f);
        return result;
    });
    const bitmap_tag* bm = resolve(slot);
    const bool oneByte = bytesPerPixel(bm->pixelType) == 1 && bm->rowBytes >= bm->width;
    const bool sameShape = bm->width == m.image.width && bm->height == m.image.height;
    Image want = m.image;
    want.type = bm->pixelType;
    bool expected = false;
    if (bytes[0] == 10)
        expected = m.kind == FileKind::pcx && m.loadable && oneByte && sameShape;
    else
        expected = m.kind == FileKind::native && m.loadable && sameShape &&
                   bm->pixelType == m.image.type &&
                   bm->rowBytes == allocRowBytes(bm->pixelType, bm->width);
    if (!expected) return;
    if (!result) fail("bitmapRead of a written file into a bitmap of its shape failed");
    const std::string why = compareImage(want, bm);
    if (!why.empty()) fail("bitmapRead " + name + ": " + why);
}

void Sequence::tableLoadOp(const std::string* written) {
    const bool palette = in_.flag(), load = in_.flag();
    const int slot = in_.pick(std::max(paletteSlots, colormapSlots));
    const std::string name = written ? *written : fileName();
    if (!load && (palette ? !palettes_[slot % paletteSlots] : !colormaps_[slot % colormapSlots]))
        return;
    file_tag* f;
    if (!fileOpen(&f, name.c_str())) return;
    const FileModel m = modelOf(name);
    bool ok;
    if (palette) {
        uint32_t*& p = palettes_[slot % paletteSlots];
        if (load) {
            forget(p);
            paletteFree(p);
            ok = paletteLoad(&p, f);
            if (!ok && p) fail("paletteLoad failed without clearing its out-pointer");
        } else {
            ok = paletteRead(p, f);
        }
        fileClose(f);
        const bool tableFile = m.kind == FileKind::native || m.kind == FileKind::pcx ||
                               m.kind == FileKind::palette || m.kind == FileKind::mip;
        if (!tableFile) return;
        if (m.palette && !ok) fail("the palette of " + name + " did not load");
        if (!m.palette && ok) fail("a palette loaded from " + name + ", which has none");
        if (ok && std::memcmp(p, m.palette->data(), sizeof(Palette)))
            fail("palette loaded from " + name);
    } else {
        uint8_t*& c = colormaps_[slot % colormapSlots];
        if (load) {
            forget(c);
            colormapFree(c);
            ok = colormapLoad(&c, f);
            if (!ok && c) fail("colormapLoad failed without clearing its out-pointer");
        } else {
            ok = colormapRead(c, f);
        }
        fileClose(f);
        if (m.kind == FileKind::unknown) return;
        if ((m.kind == FileKind::colormap) != bool(ok))
            fail("colormapLoad of " + name + " gave " + std::to_string(ok));
        if (ok && std::memcmp(c, m.colormap->data(), 16)) fail("colormap loaded from " + name);
    }
}

void Sequence::mipLoadOp(const std::string* written) {
    const int slot = in_.pick(mipSlots);
    const std::string name = written ? *written : fileName();
    file_tag* f;
    if (!fileOpen(&f, name.c_str())) return;
    if (mips_[slot]) forgetMip(mips_[slot]);
    mipFree(mips_[slot]);
    mips_[slot] = nullptr;
    mip_tag* mip = nullptr;
    const uint8_t ok = mipLoad(&mip, f);
    fileClose(f);
    if (!ok && mip) fail("mipLoad failed without clearing its out-pointer");
    mips_[slot] = mip;
    const FileModel m = modelOf(name);
    const bool mipFile =
        m.kind == FileKind::mip || m.kind == FileKind::omtMip || m.kind == FileKind::oldMip;
    if (!mipFile) return;
    if (bool(ok) != (m.kind == FileKind::oldMip || m.loadable))
        fail("mipLoad of " + name + " gave " + std::to_string(ok));
    if (!ok) return;
    const std::string why = compareMip(m.mip, mip);
    if (!why.empty()) fail("mip loaded from " + name + ": " + why);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The sequence moves through directories of its own; libFuzzer's paths
    // may be relative to the one it started in.
    static char startDir[256];
    static const bool once = [] {
        if (!settings().trace) silenceMessages();
        rasterSetDisplayDriver("headless");
        return libfileGetDir(startDir) == 1;
    }();
    if (!once) std::abort();
    FuzzedDataProvider fdp(data, size);
    Input in(fdp);
    const int calls = in.range(1, 64);
    Sequence sequence(in);
    const int64_t before = memLiveBlocks();
    for (int i = 0; i < calls && in.more(); ++i) {
        sequence.step();
        sequence.probe();
    }
    sequence.finish();
    fileChDir(startDir);
    expectNoLeak(before, "the API sequence");
    return 0;
}
