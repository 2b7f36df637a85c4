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
// Each operation is a row of the table at the end: its name (printed for
// each call with SPANWRIGHT_FUZZ_TRACE=1, with the library's messages)
// and the member that decodes its arguments and makes the call. Inputs
// are read in the table's order: a row is only ever added at the end.
#include "api_model.h"
#include "harness.h"

#include "bitmap/bitmap.h"
#include "host/byteorder.h"
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
#include <map>
#include <string>
#include <strings.h>
#include <type_traits>
#include <utility>
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
constexpr int fileNameCount = int(std::size(fileNames));

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

// The screenshot counter of the library, followed here; both start at 0
// with every sequence.
int screenshotCounter = 0;
const bool tracing = std::getenv("SPANWRIGHT_FUZZ_TRACE") != nullptr;
const char* currentOp = "";

[[noreturn]] void fail(const std::string& what) {
    mismatch((std::string(currentOp) + ": " + what).c_str());
}
// Fails on `what` when a comparison gave a reason.
void expectSame(const std::string& what, const std::string& why) {
    if (!why.empty()) fail(what + ": " + why);
}

// Argument values: mostly near the objects they apply to, sometimes at the
// limits of their types.
class Input : public FuzzedDataProvider {
  public:
    using FuzzedDataProvider::FuzzedDataProvider;
    bool more() { return remaining_bytes() > 0; }
    int pick(int n) { return ConsumeIntegralInRange<int>(0, n - 1); }
    bool flag() { return ConsumeBool(); }
    uint64_t u64() { return ConsumeIntegral<uint64_t>(); }
    int32_t i32() { return ConsumeIntegral<int32_t>(); }
    int32_t range(int32_t lo, int32_t hi) { return ConsumeIntegralInRange(lo, hi); }
    std::string text() { return ConsumeRandomLengthString(40); }
    // One of the values, each as likely.
    template <class T>
    T oneOf(std::initializer_list<T> values) {
        return values.begin()[pick(int(values.size()))];
    }

    int32_t size() {
        switch (pick(4)) {
        case 0: return range(0, 9);
        case 1: return range(10, 300);
        default: return oneOf({0, 1, 2, 3, 4, 5, 7, 8, 16, 31, 32, 64, 127, 128, 255, 256, 300});
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
        case 1: return ConsumeIntegral<uint32_t>();
        case 2: return UINT32_MAX - uint32_t(range(0, 3));
        default: return uint32_t(range(0, 16));
        }
    }
    int32_t factor() {
        switch (pick(3)) {
        case 0: return i32();
        case 1: return range(-0x40000, 0x40000);
        default:
            return oneOf<int32_t>({0x10000, 0x8000, 0x20000, -0x10000, 0x18000, -0x8000, 0x30001, 3,
                                   2, -3, 0, 1, INT32_MAX, INT32_MIN});
        }
    }
    // A value near zero three times in four (`lo`..`hi`), else any.
    int32_t small(int32_t lo, int32_t hi, int in = 4) { return pick(in) ? range(lo, hi) : i32(); }
    void words(uint32_t (&out)[8]) {
        for (uint32_t& w : out)
            w = uint32_t(u64());
    }
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

// The host forgets a current palette or colormap before its memory goes.
void forget(const void* memory) {
    if (!memory) return;
    if (paletteCurrent == memory) paletteSetCurrent(nullptr, 0, 0);
    if (colormapCurrent == memory) colormapSetCurrent(nullptr);
}
// Releases a palette or colormap of the pool after forgetting it.
template <class T>
void dropTable(T*& table, void (*release)(T*)) {
    forget(table);
    release(std::exchange(table, nullptr));
}
void clearCurrent() {
    paletteSetCurrent(nullptr, 0, 0);
    colormapSetCurrent(nullptr);
    mipSetCurrent(nullptr);
}

// The arguments every drawing call starts with.
struct DrawArgs {
    int dst;
    int32_t w, h, color, x0, y0, x1, y1;
};

class Sequence {
  public:
    explicit Sequence(Input& in) : in(in) {
        for (int d = 0; d < 2; ++d) {
            dirs[d] = workDir() + "/d" + std::to_string(d);
            std::error_code ec;
            std::filesystem::remove_all(dirs[d], ec);
            std::filesystem::create_directories(dirs[d]);
        }
        std::snprintf(homedir, sizeof homedir, "%s", dirs[0].c_str());
        fileChDir(dirs[0].c_str());
        screenshotResetCounter();
        screenshotCounter = 0;
        // The mode list's cursor outlives a sequence: back to the first mode.
        screenmode_tag mode;
        while (screenGetNextMode(&mode)) {
        }
        headless::reset();
        headless::setTick(true, 5000);
        headless::setWindowRect(hostWindow, {10, 20, 650, 500});
        windowsHeadless()->SetWindowProc(hostWindow, hostProc);
        // Screen tables of a grey ramp, no current palette.
        paletteSetCurrent(greyRamp(), 0, 256);
        clearCurrent();
        bitmapSetFontColor(0xFFFFFFFF);
    }

    // What a host may read at any moment: the current palette, colormap and
    // mip, and the back buffer's pixels when it has any.
    void probe() {
        uint32_t copy[256];
        paletteGetCurrent(copy, 0, 256);
        volatile uint8_t sink = 0;
        if (const uint8_t* c = colormapGetCurrent())
            for (int i = 0; i < 16; ++i)
                sink = sink + c[i];
        if (const mip_tag* mip = mipGetCurrent())
            if (mip->levels && mip->level[0].pixels) sink = sink + mip->level[0].pixels[0];
        (void)sink;
        rowsOf(screenGetBackBuffer());
    }
    void finish() {
        for (auto& made : specials)
            freeSpecials(made);
        for (int s = 0; s < bitmapSlots; ++s)
            releaseBitmap(s, false);
        for (int m = 0; m < mipSlots; ++m)
            setMip(m, nullptr);
        for (uint32_t*& p : palettes)
            dropTable(p, paletteFree);
        for (uint8_t*& c : colormaps)
            dropTable(c, colormapFree);
        if (!cache.empty()) fail("the cache model kept an entry");
        unlockBitmap();
        for (int i = 0; i < 3 && screenCurrentMode(); ++i)
            screenEnd();
        if (rasterBegun) rasterEnd();
        if (headless::liveWindows() != 0) fail("rasterEnd left a window");
        clearCurrent();
        screenLifecycleReset();
        screenPaletteReset();
        memoryDisplayResetDefaults();
        headless::reset();
    }

    // ------------------------------------------------------------ pool
    bool isView(int slot) const {
        return slot >= 0 && slot < bitmapSlots && bitmaps[slot].holder == Holder::view;
    }
    bitmap_tag* bm(int slot, bool twin = false) {
        if (slot == backBufferSlot) return screenGetBackBuffer();
        BitmapSlot& s = bitmaps[slot];
        return twin && s.holder == Holder::view ? &s.twin : s.bm;
    }
    // A bitmap argument: a live slot or the back buffer.
    int bitmapArg() {
        int live[bitmapSlots + 1], n = 0;
        for (int s = 0; s < bitmapSlots; ++s)
            if (bitmaps[s].holder != Holder::none) live[n++] = s;
        live[n++] = backBufferSlot;
        return live[in.pick(n)];
    }
    // One of the live objects of a pool (`none` when there is none).
    template <class T, size_t n>
    T* livePick(T* (&pool)[n], T* none = nullptr) {
        T* live[n];
        size_t count = 0;
        for (T* item : pool)
            if (item) live[count++] = item;
        return count ? live[in.pick(int(count))] : none;
    }
    int rootOf(int slot) const {
        while (slot >= 0 && slot < bitmapSlots && bitmaps[slot].parent >= 0)
            slot = bitmaps[slot].parent;
        return slot;
    }
    void releaseDependents(int parent) {
        for (int s = 0; s < bitmapSlots; ++s)
            if (bitmaps[s].holder != Holder::none && bitmaps[s].parent == parent)
                releaseBitmap(s, false);
    }
    void releaseBitmap(int slot, bool viaUnload) {
        BitmapSlot& s = bitmaps[slot];
        const Holder holder = s.holder;
        if (holder == Holder::none) return;
        s.holder = Holder::none; // dependents first, without coming back here
        releaseDependents(slot);
        switch (holder) {
        case Holder::instance: bitmapInstanceFree(s.bm); break;
        case Holder::view: forget(s.map.data()); break;
        case Holder::cached: {
            auto entry = std::find_if(cache.begin(), cache.end(),
                                      [&](const auto& e) { return e.second.first == s.bm; });
            if (entry == cache.end()) fail("a loaded bitmap missing from the cache model");
            if (--entry->second.second == 0) {
                forget(s.bm->map);
                cache.erase(entry);
            }
            bitmapUnload(s.bm);
            break;
        }
        case Holder::allocated:
        case Holder::uncached:
            forget(s.bm->map);
            viaUnload ? bitmapUnload(s.bm) : bitmapFree(s.bm);
            break;
        default: break;
        }
        s = BitmapSlot{};
    }
    void setMip(int slot, mip_tag* mip, void (*release)(mip_tag*) = mipFree) {
        if (mip_tag* old = mips[slot]) {
            if (mipGetCurrent() == old) mipSetCurrent(nullptr);
            forget(old->colormap);
        }
        release(std::exchange(mips[slot], mip));
    }
    void freeSpecials(uint8_t** made) {
        for (int k = 0; k < 2; ++k)
            bitmapFreeSpecial(std::exchange(made[k], nullptr));
    }

    // ---------------------------------------------------------- mirror
    // Runs `call(twin)` on the arguments as given and, when a view is among
    // them, again with the twins: results, the written bitmap and the views
    // must agree.
    template <class Call>
    void mirror(std::initializer_list<int> reads, int written, Call call) {
        auto run = [&](bool twin) -> int64_t {
            if constexpr (std::is_void_v<decltype(call(twin))>) {
                call(twin);
                return 0;
            } else {
                return int64_t(call(twin));
            }
        };
        const bool views = isView(written) || std::any_of(reads.begin(), reads.end(),
                                                          [&](int r) { return isView(r); });
        if (!views || written == backBufferSlot) {
            run(false);
            return;
        }
        bitmap_tag* target = written >= 0 && !isView(written) ? bm(written) : nullptr;
        const std::vector<uint8_t> before = rowsOf(target);
        const int64_t r1 = run(false);
        const std::vector<uint8_t> first = rowsOf(target);
        restoreRows(target, before);
        const int64_t r2 = run(true);
        if (r1 != r2)
            fail("a call on a bottom-up view gave " + std::to_string(r1) + ", on its twin " +
                 std::to_string(r2));
        if (rowsOf(target) != first) fail("a bottom-up view and its twin drew different pixels");
        for (int slot : reads)
            if (isView(slot)) compareView(slot, "read");
        if (isView(written)) compareView(written, "drawn");
    }
    void compareView(int slot, const char* what) {
        const BitmapSlot& s = bitmaps[slot];
        const int64_t stride = s.twin.rowBytes, height = s.twin.height;
        for (int64_t y = 0; y < height; ++y)
            if (std::memcmp(s.record.pixels - y * stride, s.twin.pixels + y * stride,
                            size_t(stride)))
                fail(std::string(what) + ": the bottom-up view and its twin differ in row " +
                     std::to_string(y));
        if (!std::equal(s.viewBuffer.begin() + stride * height, s.viewBuffer.end(),
                        s.twinBuffer.begin() + stride * height))
            fail(std::string(what) + ": written past the rows of a bottom-up view or its twin");
    }

    // ---------------------------------------------------------- objects
    void allocBitmap() {
        const int slot = in.pick(bitmapSlots);
        const uint8_t type =
            uint8_t(in.pick(8) ? in.pick(pixelTypeCount) : in.range(pixelTypeCount, 255));
        const int32_t width = in.size(), height = in.size();
        const bool withMap = in.flag(), viaUnload = in.flag();
        const uint64_t seed = in.u64(); // and one of five fill patterns
        const int mode = in.pick(5);
        releaseBitmap(slot, viaUnload);
        bitmap_tag* made;
        if (!bitmapAlloc(&made, type, width, height, withMap)) {
            if (made) fail("bitmapAlloc failed without clearing its out-pointer");
            return;
        }
        // The whole buffer: (height + 1) rows and a byte.
        fillPixels(made, seed, mode, made->pixels, size_t(made->rowBytes) * size_t(height + 1) + 1);
        bitmaps[slot] = {.holder = Holder::allocated, .bm = made};
    }
    void releaseOp() {
        const int slot = in.pick(bitmapSlots);
        releaseBitmap(slot, in.flag());
    }
    void instance() {
        const int slot = in.pick(bitmapSlots), parent = bitmapArg(), placement = in.pick(4);
        const bool record = in.flag();
        if (parent == slot || isView(parent)) return;
        // A parent may itself be an instance of any size.
        const int32_t pw = std::clamp(int32_t{bm(parent)->width}, 0, INT32_MAX - 1);
        const int32_t ph = std::clamp(int32_t{bm(parent)->height}, 0, INT32_MAX - 1);
        int32_t x, y, w, h;
        switch (placement) {
        case 0: // inside
            x = in.range(0, pw), y = in.range(0, ph);
            w = in.range(0, pw - x), h = in.range(0, ph - y);
            break;
        case 1: // on the right and bottom edges
            w = in.range(0, pw), h = in.range(0, ph);
            x = pw - w, y = ph - h;
            break;
        case 2: // one past an edge, or a negative corner
            x = in.coord(pw), y = in.coord(ph);
            w = in.range(0, pw + 1), h = in.range(0, ph + 1);
            break;
        default: x = in.i32(), y = in.i32(), w = in.i32(), h = in.i32(); break;
        }
        for (int p = parent; p >= 0 && p < bitmapSlots; p = bitmaps[p].parent)
            if (p == slot) return; // the new instance would release its own parent
        releaseBitmap(slot, false);
        BitmapSlot& s = bitmaps[slot];
        if (record) {
            bitmapInstance(&s.record, bm(parent), x, y, w, h);
            s.bm = &s.record;
        } else if (!bitmapInstanceAlloc(&s.bm, bm(parent), x, y, w, h)) {
            return;
        }
        s.holder = record ? Holder::instanceRecord : Holder::instance;
        s.parent = parent;
    }
    // A bottom-up view over a buffer of its own (rows `stride` bytes apart,
    // one spare row after the rows), with its twin.
    void view() {
        const int slot = in.pick(bitmapSlots);
        const uint8_t type = uint8_t(in.pick(pixelTypeCount));
        const int32_t width = in.size(), height = std::max(in.size(), 1);
        // Whole pixels of slack: the primitives step 16-bit rows by whole pixels.
        const int32_t slack = in.range(0, 5), bpp = std::max(bytesPerPixel(type), 1);
        const int32_t stride = int32_t(allocRowBytes(type, width)) + slack - slack % bpp;
        const bool withMap = in.flag() && hasMap(type);
        const uint64_t seed = in.u64();
        const int mode = in.pick(5);
        releaseBitmap(slot, false);
        BitmapSlot& s = bitmaps[slot];
        s.holder = Holder::view;
        s.viewBuffer.assign(size_t(stride) * size_t(height + 1) + 4, 0);
        if (withMap) s.map.assign(256, 0);
        uint8_t* last = s.viewBuffer.data() + int64_t(stride) * (height - 1);
        s.record = {type, width, height, -stride, withMap ? s.map.data() : nullptr, last};
        s.bm = &s.record;
        fillPixels(s.bm, seed, mode, s.viewBuffer.data(), s.viewBuffer.size());
        s.twinBuffer = s.viewBuffer;
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(s.twinBuffer.data() + int64_t(y) * stride, last - int64_t(y) * stride,
                        size_t(stride));
        s.twin = {type, width, height, stride, s.record.map, s.twinBuffer.data()};
    }
    void palette() {
        const int slot = in.pick(paletteSlots), what = in.pick(3), index = in.pick(256);
        const uint32_t value = uint32_t(in.u64());
        uint32_t*& p = palettes[slot];
        if (what == 2) {
            if (p) paletteSetEntry(p, index, value);
            if (p && paletteGetEntry(p, index) != value) fail("paletteGetEntry");
            return;
        }
        dropTable(p, what == 0 || !in.flag() ? paletteFree : paletteUnload);
        if (what == 0 && paletteAlloc(&p)) fillTable(p, sizeof(Palette), value);
    }
    void colormap() {
        const int slot = in.pick(colormapSlots), what = in.pick(3), index = in.pick(16);
        const uint64_t value = in.u64();
        uint8_t*& c = colormaps[slot];
        if (what == 2) {
            if (c) colormapSetEntry(c, index, uint8_t(value));
            return;
        }
        dropTable(c, what == 0 || !in.flag() ? colormapFree : colormapUnload);
        if (what == 0 && colormapAlloc(&c))
            for (int i = 0; i < 16; ++i)
                c[i] = uint8_t(value >> (4 * i));
    }
    void mapCalls() {
        const int slot = bitmapArg(), what = in.pick(4), first = in.pick(257);
        const int count = in.range(-2, 256 - first);
        uint32_t paletteCopy[256] = {};
        uint8_t colormapCopy[16] = {};
        uint32_t* palette = livePick(palettes, paletteCopy);
        uint8_t* colormap = livePick(colormaps, colormapCopy);
        switch (what) {
        case 0: bitmapGetPalette(palette, bm(slot), first, count); break;
        case 1: bitmapSetPalette(bm(slot), palette, first, count); break;
        case 2: bitmapGetColormap(colormap, bm(slot)); break;
        default: bitmapSetColormap(bm(slot), colormap); break;
        }
    }
    void mipCreateOp() {
        const int slot = in.pick(mipSlots), src = bitmapArg();
        const uint32_t levels = uint32_t(in.small(0, 12));
        const bool subset = in.flag();
        uint32_t mask[8];
        in.words(mask);
        setMip(slot, nullptr);
        mip_tag* made[2] = {};
        mirror({src}, -1, [&](bool twin) {
            mip_tag*& out = made[twin];
            uint8_t ok = subset ? mipCreateFromSubset(&out, bm(src, twin), levels, 7, mask)
                                : mipCreate(&out, bm(src, twin), levels, 7);
            if (!ok && out) fail("mipCreate failed without clearing its out-pointer");
            return ok;
        });
        if (made[0] && made[1])
            expectSame("mip chains of a bottom-up view and its twin",
                       compareMip(mipImageOf(made[0]), made[1]));
        mipFree(made[1]);
        mips[slot] = made[0];
    }
    void mipRelease() {
        const int slot = in.pick(mipSlots);
        const bool unload = in.flag();
        if (mips[slot]) setMip(slot, nullptr, unload ? mipUnload : mipFree);
    }
    void specialCreate() {
        const int slot = in.pick(specialSlots), src = bitmapArg(), layout = bitmapArg();
        const int32_t x = in.coord(64), y = in.coord(64);
        uint8_t** made = specials[slot];
        freeSpecials(made);
        mirror({src, layout}, -1, [&](bool twin) {
            made[twin] = bitmapCreateSpecial(bm(src, twin), bm(layout, twin), x, y);
            return made[twin] != nullptr;
        });
        // From the same rows for the same layout, the same record.
        if (made[0] && made[1] && !isView(layout) &&
            std::memcmp(made[0], made[1], 22 + size_t(loadLe32(made[0] + 18))))
            fail("special records of a bottom-up view and its twin differ");
        if (!isView(layout)) bitmapFreeSpecial(std::exchange(made[1], nullptr));
    }
    void specialDraw() {
        const int dst = bitmapArg();
        uint8_t* const* made = specials[in.pick(specialSlots)];
        if (!made[0] || (isView(dst) && !made[1])) return;
        mirror({}, dst, [&](bool t) { bitmapDrawSpecial(bm(dst, t), made[t && made[1]]); });
    }
    void specialFree() { freeSpecials(specials[in.pick(specialSlots)]); }
    void paletteCurrentOp() {
        const int what = in.pick(4);
        uint32_t* palette = in.pick(4) ? livePick(palettes) : nullptr;
        const int first = in.range(0, 256), end = in.range(0, 256), slot = bitmapArg();
        uint32_t copy[256];
        if (what == 0) paletteSetCurrent(palette, first, end);
        if (what == 1) paletteSetCurrentFromBitmap(bm(slot), first, end);
        if (what >= 2) paletteGetCurrent(copy, first, end);
    }
    void colormapCurrentOp() {
        const int what = in.pick(3);
        uint8_t* colormap = in.pick(4) ? livePick(colormaps) : nullptr;
        const mip_tag* mip = livePick(mips);
        const int slot = bitmapArg();
        if (what == 0) colormapSetCurrent(colormap);
        if (what == 1) colormapSetCurrentFromBitmap(bm(slot));
        if (what == 2 && mip) colormapSetCurrent(mip->colormap);
    }
    void mipCurrent() { mipSetCurrent(in.pick(4) ? livePick(mips) : nullptr); }
    void colorQueries() {
        const int slot = bitmapArg();
        const uint32_t* p = livePick(palettes);
        const uint8_t* c = livePick(colormaps);
        const uint32_t value = uint32_t(in.pick(3) ? in.range(0, 255) : in.i32());
        const uint8_t r = uint8_t(in.u64()), g = uint8_t(in.u64()), b = uint8_t(in.u64());
        uint32_t mask[8];
        in.words(mask);
        mirror({slot}, -1, [&](bool twin) {
            bitmap_tag* x = bm(slot, twin);
            return int64_t(colorA(x, value)) ^ colorR(x, value) << 8 ^ colorG(x, value) << 16 ^
                   int64_t(colorB(x, value)) << 24 ^ int64_t(colorRGB(x, r, g, b)) << 32 ^
                   colorSubsetRGB(x, r, g, b, mask) ^ colorRGBA(x, r, g, b, uint8_t(value));
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
    }
    void fontColor() { bitmapSetFontColor(uint32_t(in.u64())); }

    // ---------------------------------------------------------- display
    // The display may lose its surfaces between any two calls; the call
    // that meets the loss restores them.
    void screenBeginOp() {
        if (!rasterBegun) ScreenBegin(in.flag() ? hostWindow : nullptr);
    }
    void dedicated() { SetDedicatedMode(uint8_t(in.pick(3))); }
    void rasterBeginOp() {
        const int32_t version = in.oneOf({0, -999, 1, 1000, -1000, -1});
        const bool create = in.pick(4) != 0, withParams = in.pick(5) != 0;
        const bool ownWindow = in.flag(), registered = in.flag();
        if (rasterBegun) return;
        RasterBeginParams params{.window = ownWindow ? nullptr : hostWindow,
                                 .classRegistered = registered,
                                 .className = "spanwright fuzz",
                                 .windowProc = reinterpret_cast<void*>(hostProc)};
        rasterBegin(version, create, withParams ? &params : nullptr);
        rasterBegun = true;
    }
    void screenMode() {
        // The driver's first six modes, then six it may refuse.
        screenmode_tag modes[12] = {};
        int count = 0;
        if (screenGetFirstMode(&modes[0]))
            for (count = 1; count < 6 && screenGetNextMode(&modes[count]); ++count) {
            }
        static const int32_t odd[][3] = {{0, 0, 8},      {320, 200, 8},  {1, 1, 16},
                                         {800, 600, 32}, {5000, 16, 16}, {640, 480, 15}};
        for (const auto& o : odd) {
            screenmode_tag& m = modes[count++] = modes[0];
            m.width = o[0], m.height = o[1], m.bitsPerPixel = o[2];
        }
        const int choice = in.pick(in.pick(4) ? 6 : count);
        screenBegin(in.pick(16) ? &modes[choice] : nullptr);
    }
    void screenEndOp() {
        if (in.pick(4))
            screenEnd();
        else
            ScreenEnd();
    }
    void lock() { lockBitmap(); }
    void unlock() { unlockBitmap(); }
    void display() {
        const int target = bitmapArg();
        const bool displayed = in.pick(4) == 0;
        ShowFrameRate(uint8_t(in.pick(2)));
        headless::setTick(true, 5000 + uint32_t(in.pick(4)) * 700);
        // The readout is not drawn twice: a view is left out.
        bitmap_tag* shown = isView(target) ? screenGetBackBuffer() : bm(target);
        displayed ? screenDisplayed(shown) : screenDisplay(shown);
    }
    void displayMisc() {
        switch (in.pick(8)) {
        case 0: screenGotFocus(); break;
        case 1: screenLostFocus(); break;
        case 2: screenPalChanged(); break;
        case 3: {
            uintptr_t out[3];
            getScreenInternalLock(in.flag() ? out : nullptr);
            break;
        }
        case 4:
            headless::sendMessage(hostWindow, in.oneOf<uint32_t>({0x82, 0x1C, 0x311, 0x30F}), 1, 0);
            break;
        case 5: {
            volatile uint8_t sink = ScreenGetPixelType() ^ screenSupportsTGA();
            (void)sink;
            break;
        }
        case 6: {
            const int dst = bitmapArg();
            if (!isView(dst)) screenReadFrame(bm(dst));
            break;
        }
        default: memoryDisplayLoseSurfaces(); break;
        }
    }
    void rasterEndOp() {
        if (rasterBegun) rasterEnd();
        rasterBegun = false;
    }

    // ---------------------------------------------------------- drawing
    DrawArgs drawArgs() {
        const int dst = bitmapArg();
        const int32_t w = bm(dst)->width, h = bm(dst)->height;
        // A braced list is read left to right: colour, x0, y0, x1, y1.
        return {dst, w, h, in.small(0, 255), in.coord(w), in.coord(h), in.coord(w), in.coord(h)};
    }
    void pixel() {
        const DrawArgs a = drawArgs();
        const int what = in.pick(3);
        mirror({}, a.dst, [&](bool twin) -> int64_t {
            bitmap_tag* x = bm(a.dst, twin);
            if (what == 0) drawPixel(x, a.color, a.x0, a.y0);
            if (what == 1) return readPixel(x, a.x0, a.y0);
            int32_t r = -1, g = -1, b = -1;
            if (what == 2) readPixelRGB(x, a.x0, a.y0, &r, &g, &b);
            return int64_t(r) << 32 ^ g << 16 ^ b;
        });
    }
    void fillRectOp() {
        const DrawArgs a = drawArgs();
        const uint32_t fw = in.extent(a.w), fh = in.extent(a.h);
        mirror({}, a.dst, [&](bool t) { fillRect(bm(a.dst, t), a.color, a.x0, a.y0, fw, fh); });
    }
    void line() {
        const DrawArgs a = drawArgs();
        const bool fixed = in.flag();
        const int32_t fx0 = in.fixedCoord(a.w), fy0 = in.fixedCoord(a.h);
        const int32_t fx1 = in.fixedCoord(a.w), fy1 = in.fixedCoord(a.h);
        mirror({}, a.dst, [&](bool t) {
            fixed ? aaLine(bm(a.dst, t), a.color, fx0, fy0, fx1, fy1)
                  : drawLine(bm(a.dst, t), a.color, a.x0, a.y0, a.x1, a.y1);
        });
    }
    void text() {
        const DrawArgs a = drawArgs();
        const bool transparent = in.flag();
        const std::string s = in.text();
        mirror({}, a.dst, [&](bool t) {
            drawDebugText(bm(a.dst, t), a.color, a.x0, a.y0, s.c_str(), transparent);
        });
    }
    void fillOp() {
        const DrawArgs a = drawArgs();
        mirror({}, a.dst, [&](bool t) { bitmapFill(bm(a.dst, t), a.color); });
    }
    void copy() {
        const DrawArgs a = drawArgs();
        const int src = bitmapArg();
        mirror({src}, a.dst, [&](bool t) { bitmapCopy(bm(a.dst, t), a.x0, a.y0, bm(src, t)); });
    }
    // bitmapScale, and on its general path the same bytes on every one-byte
    // destination type.
    void scale() {
        const int dst = bitmapArg(), src = bitmapArg();
        bitmap_tag* target = bm(dst);
        const int32_t x = in.coord(target->width), y = in.coord(target->height);
        const int32_t fx = in.factor(), fy = in.factor();
        const std::vector<uint8_t> before = rowsOf(target);
        mirror({src}, dst, [&](bool t) { bitmapScale(bm(dst, t), x, y, bm(src, t), fx, fy); });
        const uint8_t type = target->pixelType, srcType = bm(src)->pixelType;
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
        bitmapScale(&copy, x, y, bm(src), fx, fy);
        if (rowsOf(&copy) != rowsOf(target))
            fail("bitmapScale wrote different bytes onto pixel types " + std::to_string(type) +
                 " and " + std::to_string(other));
    }
    void mipCopy() {
        const DrawArgs a = drawArgs();
        mip_tag* mip = livePick(mips);
        const uint32_t level = uint32_t(in.small(0, 4));
        if (mip)
            mirror({}, a.dst, [&](bool t) { mipCopyBitmap(bm(a.dst, t), a.x0, a.y0, mip, level); });
    }
    void character() {
        const DrawArgs a = drawArgs();
        const int pattern = bitmapArg(), glyph = bitmapArg();
        mirror({pattern, glyph}, a.dst, [&](bool t) {
            bitmapCopyCharacter(bm(a.dst, t), a.x0, a.y0, bm(pattern, t), bm(glyph, t));
        });
    }
    void poly() {
        const int dst = bitmapArg();
        const int32_t w = bm(dst)->width, h = bm(dst)->height;
        const int32_t mode = in.small(0, 7), count = in.range(0, 25);
        const bool setColor = in.flag();
        const uint32_t color = uint32_t(in.small(0, 255));
        bool skipped[25];
        for (int i = 0; i < count; ++i) {
            // A braced list is read left to right: x, y, z, u, v, colour.
            vertices[i] = {in.fixedCoord(w),
                           in.fixedCoord(h),
                           in.pick(4) ? in.range(1, 1 << 20) : in.range(1, INT32_MAX),
                           in.small(-0x20000, 0x20000, 3),
                           in.small(-0x20000, 0x20000, 3),
                           in.small(0, 255)};
            skipped[i] = in.pick(16) == 0; // a null vertex is ignored
        }
        mirror({}, dst, [&](bool t) {
            polyBegin(bm(dst, t), mode);
            if (setColor) polySetColor(color);
            for (int i = 0; i < count; ++i)
                polyVertex(skipped[i] ? nullptr : &vertices[i]);
            polyEnd();
        });
    }
    void triangle() {
        const DrawArgs a = drawArgs();
        const uint32_t color = uint32_t(in.small(0, 255));
        int32_t c[6];
        for (int i = 0; i < 6; ++i)
            c[i] = in.fixedCoord(i % 2 ? a.h : a.w);
        mirror({}, a.dst, [&](bool t) {
            aaTriangle(bm(a.dst, t), color, c[0], c[1], c[2], c[3], c[4], c[5]);
        });
    }

    // ------------------------------------------------------------ files
    std::string fileKey(const std::string& name) const { return std::to_string(dir) + "/" + name; }
    std::string path(const std::string& name) const { return dirs[dir] + "/" + name; }
    // A file name; often the one last written or loaded, so that loads
    // meet the files just written and the cache its entries.
    std::string fileName() {
        const int choice = in.pick(fileNameCount + 2);
        if (choice < fileNameCount) return fileNames[choice];
        const std::string& last = recent[choice - fileNameCount];
        return last.empty() ? fileNames[0] : last;
    }
    std::string cacheKey(const std::string& name) const {
        std::string key = std::to_string(dir) + "/";
        for (size_t i = 0; i < name.size() && i < 16; ++i)
            key += char(std::tolower(static_cast<unsigned char>(name[i])));
        return key;
    }
    FileModel modelOf(const std::string& name) const {
        auto it = files.find(fileKey(name));
        return it == files.end() ? FileModel{} : it->second;
    }
    void chDir() {
        dir = in.pick(2);
        if (!fileChDir(dirs[dir].c_str())) fail("fileChDir");
    }
    // `write(file)` on a new file at `where`; its result.
    template <class Write>
    bool create(const std::string& where, Write write) {
        file_tag* f;
        if (!fileCreate(&f, where.c_str())) fail("fileCreate " + where);
        const bool ok = write(f);
        fileClose(f);
        return ok;
    }
    // Writes through `write(file, twin)` (on the twin too when `slot` is a
    // view: the two files must be the same bytes); the first one's result.
    template <class Write>
    bool writeFile(const std::string& name, int slot, Write write) {
        const bool ok = create(path(name), [&](file_tag* f) { return write(f, false); });
        if (isView(slot)) {
            const std::string twinPath = workDir() + "/twin";
            if (ok != create(twinPath, [&](file_tag* f) { return write(f, true); }) ||
                readFileBytes(path(name)) != readFileBytes(twinPath))
                fail("a bottom-up view and its twin were written differently");
            compareView(slot, "written");
        }
        return ok;
    }
    // A writing call: `body(slot, name, model)` writes and says what the
    // file holds; unless it returns false the file may be read back at once.
    template <class Body>
    void writeOp(Body body) {
        const int slot = bitmapArg();
        const std::string name = fileName();
        FileModel model;
        if (!body(slot, name, model)) return;
        files[fileKey(name)] = model;
        recent[0] = name;
        switch (in.pick(4)) {
        case 1: load(&name); break;
        case 2: tableLoad(&name); break;
        case 3: mipLoadOp(&name); break;
        default: break;
        }
    }
    void writeNative() {
        writeOp([&](int slot, const std::string& name, FileModel& model) {
            if (writeFile(name, slot,
                          [&](file_tag* f, bool t) { return bitmapWrite(f, bm(slot, t)); }))
                model = nativeModel(bm(slot, true));
            return true;
        });
    }
    // The palette of a PCX: the bitmap's own, a pool palette or a grey ramp.
    void writePcx() {
        writeOp([&](int slot, const std::string& name, FileModel& model) {
            const bool own = in.flag();
            const uint32_t* pool = livePick(palettes, greyRamp());
            const bitmap_tag* x = bm(slot);
            const uint32_t* palette =
                own && isIndexed8(x->pixelType) && x->map ? static_cast<uint32_t*>(x->map) : pool;
            if (writeFile(name, slot, [&](file_tag* f, bool t) {
                    return bitmapWritePcx(f, bm(slot, t), palette);
                }))
                model = pcxModel(bm(slot, true), palette);
            return true;
        });
    }
    // The file's pixels are decoded here and compared with the bitmap's
    // colours as the writer converts them.
    void writeTga() {
        writeOp([&](int slot, const std::string& name, FileModel& model) {
            const int bits =
                in.pick(8) ? in.oneOf({15, 16, 24, 32}) : in.oneOf({15, 16, 24, 32, 8, 0});
            const bool compress = in.flag(), withColorMap = in.pick(4) == 0;
            const uint32_t* palette = in.flag() ? livePick(palettes) : nullptr;
            const bool mapped = in.pick(3) == 0;
            if (!writeFile(name, slot, [&](file_tag* f, bool t) {
                    return tgaWriteBitmap(bm(slot, t), palette, f, compress, withColorMap, bits);
                }))
                return true;
            model = tgaModel(name, bm(slot, true), palette, bits, "written TGA");
            if (mapped) addTgaColorMap(name);
            return true;
        });
    }
    // The three mip file forms: mipWrite's (with no extra chunk, a palette or
    // a failing one), the OMT form and the old style.
    void writeMip() {
        writeOp([&](int, const std::string& name, FileModel& model) {
            mip_tag* mip = livePick(mips);
            const int form = in.pick(3), extra = in.pick(3);
            const uint32_t slack = uint32_t(in.pick(3) ? 0 : in.range(0, 4096));
            static const uint32_t* extraPalette;
            extraPalette = livePick(palettes);
            if (!mip) return false;
            mipExtraFunction callback = nullptr;
            if (extra == 1 && extraPalette)
                callback = [](file_tag* f, uint32_t) { return paletteWrite(f, extraPalette); };
            if (extra == 2) callback = [](file_tag*, uint32_t) -> uint8_t { return 0; };
            model.mip = mipImageOf(mip);
            const uint8_t type = mip->levels ? mip->level[0].pixelType : 0;
            if (form == 2) {
                if (bytesPerPixel(type) != 1 || !mip->levels) return false;
                writeFileBytes(path(name), oldStyleMipFile(model.mip, slack));
                model.kind = FileKind::oldMip;
                model.mip.flag = 1;
                model.mip.colormap.reset();
                for (Image& level : model.mip.level)
                    level.type = PIXEL_PAL8;
                return true;
            }
            const bool ok = create(path(name), [&](file_tag* f) {
                return mipWrite(f, mip, form == 1 ? nullptr : callback, 0x5EED);
            });
            if (ok != (form == 1 || extra != 2)) fail("mipWrite result");
            if (!ok) return true;
            model.kind = form == 1 ? FileKind::omtMip : FileKind::mip;
            if (!isIndexed4(type)) model.mip.colormap.reset(); // only a 4-bit chain writes its own
            model.loadable = mip->levels > 0;
            if (form == 0 && callback && extraPalette)
                std::memcpy(model.palette.emplace().data(), extraPalette, sizeof(Palette));
            if (form == 1) {
                const int omt = omtTypeOf(type);
                model.loadable = model.loadable && omt >= 0;
                writeFileBytes(path(name),
                               omtMipFile(readFileBytes(path(name)), uint8_t(omt >= 0 ? omt : 2)));
            }
            return true;
        });
    }
    void writeTable() {
        writeOp([&](int, const std::string& name, FileModel& model) {
            const uint32_t* palette = in.flag() ? livePick(palettes) : nullptr;
            const uint8_t* colormap = palette ? nullptr : livePick(colormaps);
            if (!palette && !colormap) return false;
            if (!create(path(name), [&](file_tag* f) {
                    return palette ? paletteWrite(f, palette) : colormapWrite(f, colormap);
                }))
                fail("writing a palette or colormap chunk failed");
            model.kind = palette ? FileKind::palette : FileKind::colormap;
            if (palette) std::memcpy(model.palette.emplace().data(), palette, sizeof(Palette));
            if (colormap) std::memcpy(model.colormap.emplace().data(), colormap, 16);
            return true;
        });
    }
    // The screenshot is a 16-bit TGA of the back buffer through the current
    // palette, in the first directory.
    void screenshot() {
        writeOp([&](int, const std::string&, FileModel&) {
            const bitmap_tag back = *screenGetBackBuffer();
            saveScreenshot();
            if (++screenshotCounter > 99) screenshotCounter = 0;
            dir = 0;
            char shot[16];
            std::snprintf(shot, sizeof shot, "zvss%02d.tga", screenshotCounter);
            FileModel& m = files[fileKey(shot)] = {};
            // An 8-bit screen without a current palette is left to the writer.
            if (!readable(&back) || (bytesPerPixel(back.pixelType) == 1 && !paletteCurrent))
                return false;
            Palette current;
            paletteGetCurrent(current.data(), 0, 256);
            m = tgaModel(shot, &back, current.data(), 16, "screenshot");
            return false;
        });
    }
    // A written TGA file of `x` decoded and compared with the bitmap's
    // colours as the writer converts them.
    FileModel tgaModel(const std::string& name, const bitmap_tag* x, const uint32_t* palette,
                       int bits, const char* what) {
        const std::vector<uint32_t> want = tgaExpectedPixels(x, palette, bits);
        expectSame(what, compareTga(readFileBytes(path(name)), x->width, x->height, bits, want));
        return {.kind = FileKind::tga,
                .image = {PIXEL_ARGB1555, x->width, x->height, want},
                .loadable = (bits == 15 || bits == 16) && x->width >= 1 && x->height >= 1};
    }
    void tgaColorMapOp() {
        writeOp([&](int, const std::string& name, FileModel& model) {
            model = modelOf(name);
            if (model.kind != FileKind::tga) return false;
            addTgaColorMap(name);
            return true;
        });
    }
    // A flipped byte or a cut: the file is no longer what any writer made.
    void corrupt() {
        writeOp([&](int, const std::string& name, FileModel&) {
            std::vector<uint8_t> bytes = readFileBytes(path(name));
            const size_t at = size_t(in.range(0, 1 << 20));
            const uint8_t value = uint8_t(in.u64());
            if (bytes.empty()) return false;
            if (in.flag())
                bytes.resize(at % bytes.size());
            else
                bytes[at % bytes.size()] ^= value | 1;
            writeFileBytes(path(name), bytes);
            return true;
        });
    }
    void addTgaColorMap(const std::string& name) {
        uint8_t idBytes = uint8_t(in.range(0, 40));
        if (idBytes == 10) idBytes = 0; // a first byte of 10 makes a PCX file
        const uint16_t length = uint16_t(in.range(0, 300));
        const uint8_t bits = in.oneOf<uint8_t>({15, 16, 24, 32});
        writeFileBytes(path(name),
                       tgaWithColorMap(readFileBytes(path(name)), idBytes, length, bits));
    }
    // The reading calls; `written` names a file just written (read back at
    // once), else the name comes from the input.
    void load(const std::string* written = nullptr) {
        const int slot = in.pick(bitmapSlots), variant = in.pick(5);
        const std::string name = written ? *written : fileName();
        // The same name once more (a cache hit), as hosts load shared pictures.
        const bool again = in.pick(3) == 2;
        file_tag* f;
        if (!fileOpen(&f, name.c_str())) return;
        releaseBitmap(slot, in.flag());
        // bitmapLoad4 makes a new bitmap each time; the others share cached ones.
        const bool cached = variant < 3;
        if (cached) recent[1] = name;
        const std::string key = cacheKey(name);
        auto entry = cached ? cache.find(key) : cache.end();
        const void* mapBefore = entry != cache.end() ? entry->second.first->map : nullptr;
        bitmap_tag* loaded = nullptr;
        const uint8_t ok = !cached        ? bitmapLoad4(&loaded, f, variant == 4)
                           : variant == 2 ? bitmapLoad8a(&loaded, f)
                                          : bitmapLoad(&loaded, f, uint8_t(variant));
        fileClose(f);
        if (entry != cache.end()) {
            if (!ok || loaded != entry->second.first)
                fail("a cached name did not give its cached bitmap");
            if (loaded->map != mapBefore) fail("loading a cached bitmap again changed its map");
            if (variant == 2 && loaded->pixelType != PIXEL_ALPHA8) fail("bitmapLoad8a type");
            ++entry->second.second;
        } else {
            if (ok && cached) cache[key] = {loaded, 1};
            if (!ok && loaded) fail("a failed bitmap load did not clear its out-pointer");
            checkLoaded(name, variant, loaded);
        }
        if (ok)
            bitmaps[slot] = {.holder = cached ? Holder::cached : Holder::uncached, .bm = loaded};
        if (again) load(&name);
    }
    // A load of a file this sequence wrote, by what its first byte and its name
    // make the loader take it for.
    void checkLoaded(const std::string& name, int variant, const bitmap_tag* loaded) {
        const FileModel m = modelOf(name);
        const std::vector<uint8_t> bytes = readFileBytes(path(name));
        const bool pcx = !bytes.empty() && bytes[0] == 10, load4 = variant >= 3;
        const char* dot = std::strchr(name.c_str(), '.');
        const bool tgaName = dot && strncasecmp(dot + 1, "tga", 3) == 0;
        // The 4-bit loaders take nothing but PCX; TGA goes by the name.
        const FileKind kind = pcx       ? FileKind::pcx
                              : load4   ? FileKind::unknown
                              : tgaName ? FileKind::tga
                                        : FileKind::native;
        if (m.kind != kind || !m.loadable) return;
        if (!loaded) fail("a written file did not load: " + name);
        // A PCX file takes the type of its loader (by variant); bitmapLoad8a's
        // pixels are compared under the type the file gave them.
        static const uint8_t pcxTypes[] = {PIXEL_PAL8, PIXEL_PAL8_KEY, PIXEL_PAL8_KEY, PIXEL_CMAP4,
                                           PIXEL_CMAP4_KEY};
        Image want = m.image;
        if (pcx) want.type = pcxTypes[variant];
        bitmap_tag asLoaded = *loaded;
        if (variant == 2 && loaded->pixelType != PIXEL_ALPHA8) fail("bitmapLoad8a type");
        if (variant == 2) asLoaded.pixelType = want.type;
        expectSame("loaded " + name, compareImage(want, &asLoaded));
        if (variant == 2) return; // the map of a coverage bitmap is the library's business
        if (load4 && loaded->map) fail("bitmapLoad4 gave a map");
        // Only PCX and native models have a palette or colormap.
        if (!load4 && m.palette &&
            (!loaded->map || std::memcmp(loaded->map, m.palette->data(), sizeof(Palette))))
            fail("loaded " + name + ": palette");
        if (m.colormap && (!loaded->map || std::memcmp(loaded->map, m.colormap->data(), 16)))
            fail("loaded " + name + ": colormap");
    }
    void read() {
        const int slot = bitmapArg();
        const std::string name = fileName();
        const FileModel m = modelOf(name);
        const std::vector<uint8_t> bytes = readFileBytes(path(name));
        if (bytes.empty()) return;
        uint8_t result = 0;
        mirror({}, slot, [&](bool twin) {
            file_tag* f;
            if (!fileOpen(&f, name.c_str())) fail("fileOpen " + name);
            result = bitmapRead(bm(slot, twin), f);
            fileClose(f);
            return result;
        });
        const bitmap_tag* x = bm(slot);
        // A PCX file goes into any one-byte layout, a native file into its own.
        const bool fits = bytes[0] == 10
                              ? m.kind == FileKind::pcx && bytesPerPixel(x->pixelType) == 1 &&
                                    x->rowBytes >= x->width
                              : m.kind == FileKind::native && x->pixelType == m.image.type &&
                                    x->rowBytes == allocRowBytes(x->pixelType, x->width);
        // An instance outside its parent has the shape but no pixels.
        if (!fits || !m.loadable || x->width != m.image.width || x->height != m.image.height ||
            !x->pixels)
            return;
        if (!result) fail("bitmapRead of a written file into a bitmap of its shape failed");
        Image want = m.image;
        want.type = x->pixelType;
        expectSame("bitmapRead " + name, compareImage(want, x));
    }
    void tableLoad(const std::string* written = nullptr) {
        const bool isPalette = in.flag(), fresh = in.flag();
        const int slot = in.pick(std::max(paletteSlots, colormapSlots));
        const std::string name = written ? *written : fileName();
        uint32_t*& p = palettes[slot % paletteSlots];
        uint8_t*& c = colormaps[slot % colormapSlots];
        if (!fresh && (isPalette ? !p : !c)) return;
        file_tag* f;
        if (!fileOpen(&f, name.c_str())) return;
        const FileModel m = modelOf(name);
        if (fresh) {
            forget(isPalette ? static_cast<void*>(p) : c);
            isPalette ? paletteFree(p) : colormapFree(c);
        }
        const bool ok = isPalette ? fresh ? paletteLoad(&p, f) : paletteRead(p, f)
                        : fresh ? colormapLoad(&c, f)
                                  : colormapRead(c, f);
        fileClose(f);
        if (!ok && fresh && (isPalette ? static_cast<void*>(p) : c))
            fail("a failed load did not clear its out-pointer");
        if (isPalette) {
            if (m.kind != FileKind::native && m.kind != FileKind::pcx &&
                m.kind != FileKind::palette && m.kind != FileKind::mip)
                return;
            if (bool(m.palette) != ok)
                fail("paletteLoad of " + name + " gave " + std::to_string(ok));
            if (ok && std::memcmp(p, m.palette->data(), sizeof(Palette)))
                fail("palette loaded from " + name);
        } else if (m.kind != FileKind::unknown) {
            if ((m.kind == FileKind::colormap) != ok)
                fail("colormapLoad of " + name + " gave " + std::to_string(ok));
            if (ok && std::memcmp(c, m.colormap->data(), 16)) fail("colormap loaded from " + name);
        }
    }
    void mipLoadOp(const std::string* written = nullptr) {
        const int slot = in.pick(mipSlots);
        const std::string name = written ? *written : fileName();
        file_tag* f;
        if (!fileOpen(&f, name.c_str())) return;
        setMip(slot, nullptr);
        const uint8_t ok = mipLoad(&mips[slot], f);
        fileClose(f);
        if (!ok && mips[slot]) fail("mipLoad failed without clearing its out-pointer");
        const FileModel m = modelOf(name);
        if (m.kind != FileKind::mip && m.kind != FileKind::omtMip && m.kind != FileKind::oldMip)
            return;
        if (bool(ok) != (m.kind == FileKind::oldMip || m.loadable))
            fail("mipLoad of " + name + " gave " + std::to_string(ok));
        if (ok) expectSame("mip loaded from " + name, compareMip(m.mip, mips[slot]));
    }
    void loadOp() { load(); }
    void tableLoadOp() { tableLoad(); }
    void mipLoadFromInput() { mipLoadOp(); }

    Input& in;
    BitmapSlot bitmaps[bitmapSlots];
    uint32_t* palettes[paletteSlots] = {};
    uint8_t* colormaps[colormapSlots] = {};
    mip_tag* mips[mipSlots] = {};
    // Special records; a record built for a view's layout has a second one
    // built for its twin's.
    uint8_t* specials[specialSlots][2] = {};
    std::map<std::string, std::pair<bitmap_tag*, int>> cache; // key: bitmap, holders
    std::map<std::string, FileModel> files;
    std::string dirs[2];
    std::string recent[2]; // the names last written and last loaded
    int dir = 0;
    bool rasterBegun = false;
    vertex_tag vertices[25];
};

// ------------------------------------------------------------- the table

struct Op {
    const char* name;
    void (Sequence::*run)();
    bool display = false; // instances of the back buffer go first
};
const Op ops[] = {
    {"AllocBitmap", &Sequence::allocBitmap},
    {"ReleaseBitmap", &Sequence::releaseOp},
    {"Instance", &Sequence::instance},
    {"View", &Sequence::view},
    {"Palette", &Sequence::palette},
    {"Colormap", &Sequence::colormap},
    {"MapCalls", &Sequence::mapCalls},
    {"MipCreate", &Sequence::mipCreateOp},
    {"MipRelease", &Sequence::mipRelease},
    {"SpecialCreate", &Sequence::specialCreate},
    {"SpecialDraw", &Sequence::specialDraw},
    {"SpecialFree", &Sequence::specialFree},
    {"PaletteCurrent", &Sequence::paletteCurrentOp},
    {"ColormapCurrent", &Sequence::colormapCurrentOp},
    {"MipCurrent", &Sequence::mipCurrent},
    {"ColorQueries", &Sequence::colorQueries},
    {"FontColor", &Sequence::fontColor},
    {"ScreenBegin", &Sequence::screenBeginOp, true},
    {"Dedicated", &Sequence::dedicated, true},
    {"RasterBegin", &Sequence::rasterBeginOp, true},
    {"ScreenMode", &Sequence::screenMode, true},
    {"ScreenEnd", &Sequence::screenEndOp, true},
    {"Lock", &Sequence::lock, true},
    {"Unlock", &Sequence::unlock, true},
    {"Display", &Sequence::display, true},
    {"DisplayMisc", &Sequence::displayMisc, true},
    {"RasterEnd", &Sequence::rasterEndOp, true},
    {"Pixel", &Sequence::pixel},
    {"FillRect", &Sequence::fillRectOp},
    {"Line", &Sequence::line},
    {"Text", &Sequence::text},
    {"Fill", &Sequence::fillOp},
    {"Copy", &Sequence::copy},
    {"Scale", &Sequence::scale},
    {"MipCopy", &Sequence::mipCopy},
    {"Character", &Sequence::character},
    {"Poly", &Sequence::poly},
    {"Triangle", &Sequence::triangle},
    {"ChDir", &Sequence::chDir},
    {"WriteNative", &Sequence::writeNative},
    {"WritePcx", &Sequence::writePcx},
    {"WriteTga", &Sequence::writeTga},
    {"WriteMip", &Sequence::writeMip},
    {"WriteTable", &Sequence::writeTable},
    {"Screenshot", &Sequence::screenshot},
    {"TgaColorMap", &Sequence::tgaColorMapOp},
    {"Corrupt", &Sequence::corrupt},
    {"Load", &Sequence::loadOp},
    {"Read", &Sequence::read},
    {"TableLoad", &Sequence::tableLoadOp},
    {"MipLoad", &Sequence::mipLoadFromInput},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The sequence moves through directories of its own; libFuzzer's paths
    // may be relative to the one it started in.
    static char startDir[256];
    static const bool once = [] {
        if (!tracing) silenceMessages();
        rasterSetDisplayDriver("headless");
        return libfileGetDir(startDir) == 1;
    }();
    if (!once) std::abort();
    Input in(data, size);
    const int calls = in.range(1, 64);
    Sequence sequence(in);
    const int64_t before = memLiveBlocks();
    for (int i = 0; i < calls && in.more(); ++i) {
        const Op& op = ops[in.pick(int(std::size(ops)))];
        currentOp = op.name;
        if (tracing) std::fprintf(stderr, "call %s\n", currentOp);
        if (op.display) sequence.releaseDependents(backBufferSlot);
        (sequence.*op.run)();
        sequence.probe();
    }
    sequence.finish();
    fileChDir(startDir);
    expectNoLeak(before, "the API sequence");
    return 0;
}
