// Loading bitmaps from files of any supported format, and the cache that
// shares a bitmap between loads of the same file name from the same
// directory.
//
// The cache is two singly linked lists (directories, entries) of small
// records allocated through memAlloc. New records go to the front and
// searches run from the front. A load that fails leaves the cache as it
// was: a directory record made for it is released again when no entry
// refers to it.
#include "bitmap/bitmap.h"
#include "imagefile/imagefile.h"
#include "memory.h"

#include <cstring>
#include <new>
#include <strings.h>

namespace {

constexpr size_t dirNameBytes = 256;
constexpr size_t entryNameBytes = 16;

// Base of the cache records; a list's head is a bare node.
class CBitmapListNode {
  public:
    CBitmapListNode* next = nullptr;

    virtual bool Matches(const void* key, const void*) const { return Matches(key); }
    virtual bool Matches(const void*) const { return false; }
    virtual ~CBitmapListNode() = default;

    // Puts `node` right after this one (at the front when this is a head).
    void insertAfter(CBitmapListNode* node) {
        node->next = next;
        next = node;
    }
    // Unlinks `node` from the list that starts at this head.
    void unlink(CBitmapListNode* node) {
        for (CBitmapListNode* p = this; p->next; p = p->next)
            if (p->next == node) {
                p->next = node->next;
                node->next = nullptr;
                return;
            }
    }
    CBitmapListNode* find(const void* key, const void* key2) const {
        for (CBitmapListNode* p = next; p; p = p->next)
            if (p->Matches(key, key2)) return p;
        return nullptr;
    }
    CBitmapListNode* find(const void* key) const {
        for (CBitmapListNode* p = next; p; p = p->next)
            if (p->Matches(key)) return p;
        return nullptr;
    }
};

CBitmapListNode dirList;
CBitmapListNode entryList;

// Copies at most n characters, padding with zeros like strncpy; the copy
// is not terminated when the source has n characters or more.
void copyName(char* to, const char* from, size_t n) {
    size_t i = 0;
    for (; i < n && from[i]; ++i)
        to[i] = from[i];
    for (; i < n; ++i)
        to[i] = '\0';
}

// Records are made in memAlloc'd memory and destroyed through this.
template <class T>
void destroyRecord(T* record) {
    record->~T();
    memFree(record);
}

class CBitmapDir : public CBitmapListNode {
  public:
    char name[dirNameBytes];
    int32_t users = 0;

    explicit CBitmapDir(const char* dir) { copyName(name, dir, dirNameBytes); }
    using CBitmapListNode::Matches;
    bool Matches(const void* key) const override {
        return strncasecmp(name, static_cast<const char*>(key), dirNameBytes) == 0;
    }
};

class CBitmapCacheEntry : public CBitmapListNode {
  public:
    bitmap_tag* bitmap;
    char name[entryNameBytes]; // not terminated when 16 characters or longer
    CBitmapDir* dir;
    int32_t users = 1;

    CBitmapCacheEntry(bitmap_tag* bm, const char* fileName, CBitmapDir* directory)
        : bitmap(bm), dir(directory) {
        copyName(name, fileName, entryNameBytes);
        ++dir->users;
    }
    // Names agree ignoring case over 16 characters, in the same directory.
    bool Matches(const void* key, const void* key2) const override {
        return key2 == dir && strncasecmp(name, static_cast<const char*>(key), entryNameBytes) == 0;
    }
    bool Matches(const void* key) const override { return key == bitmap; }
    ~CBitmapCacheEntry() override {
        if (--dir->users < 1) {
            dirList.unlink(dir);
            destroyRecord(dir);
        }
    }
};

template <class T, class... Args>
T* makeRecord(Args... args) {
    void* memory = memAlloc(sizeof(T));
    return memory ? new (memory) T(args...) : nullptr;
}

// A loaded bitmap owns its map whatever its type says: bitmapLoad8a turns
// a shared 8-bit bitmap into PIXEL_ALPHA8 and leaves it its palette.
void releaseLoaded(bitmap_tag* bm) {
    memFree(bm->map);
    bm->map = nullptr;
    bitmapFree(bm);
}

} // namespace

uint8_t bitmapLoadFile(bitmap_tag** out, file_tag* file, uint8_t key) {
    return imageFormatForLoad(file).load(out, file, {"bitmapLoad", PixelKind::Palette8, key != 0});
}

extern "C" {

uint8_t bitmapLoad(bitmap_tag** out, file_tag* file, uint8_t key) {
    *out = nullptr;
    char dirName[dirNameBytes];
    if (libfileGetDir(dirName) != 1)
        DebugPrintf("libfileGetDir(%s) failed in BitmapLoad\n", dirName);
    dirName[dirNameBytes - 1] = '\0';

    auto* dir = static_cast<CBitmapDir*>(dirList.find(dirName));
    if (!dir) {
        dir = makeRecord<CBitmapDir>(static_cast<const char*>(dirName));
        if (!dir) {
            DebugPrintf("memAlloc() of the directory record failed in bitmapLoad()\n");
            return 0;
        }
        dirList.insertAfter(dir);
    }
    const char* name = libfileName(file);
    if (auto* entry = static_cast<CBitmapCacheEntry*>(entryList.find(name, dir))) {
        ++entry->users;
        *out = entry->bitmap;
        return 1;
    }

    bitmap_tag* bm;
    bool loaded = bitmapLoadFile(&bm, file, key);
    CBitmapCacheEntry* entry = nullptr;
    if (!loaded) {
        DebugPrintf("Couldn't load bitmap.\n");
    } else if (!(entry = makeRecord<CBitmapCacheEntry>(bm, name, dir))) {
        DebugPrintf("Couldn't cache bitmap.\n");
    } else {
        entryList.insertAfter(entry);
    }
    if (dir->users < 1) {
        dirList.unlink(dir);
        destroyRecord(dir);
    }
    if (!loaded) return 0;
    *out = bm;
    return 1;
}

void bitmapUnload(bitmap_tag* bm) {
    auto* entry = static_cast<CBitmapCacheEntry*>(entryList.find(bm));
    if (!entry) {
        bitmapFree(bm);
        return;
    }
    if (--entry->users > 0) return;
    entryList.unlink(entry);
    releaseLoaded(entry->bitmap);
    destroyRecord(entry);
}

uint8_t bitmapLoad4(bitmap_tag** out, file_tag* file, uint8_t key) {
    *out = nullptr;
    const ImageFormat& format = imageFormatForLoad(file);
    if (!format.loadsFourBit) {
        DebugPrintf("Invalid file type in bitmapLoad4()\n");
        return 0;
    }
    return format.load(out, file, {"bitmapLoad4", PixelKind::Colormap4, key != 0});
}

// Only the type changes: every holder of the shared bitmap keeps its
// palette, which the last bitmapUnload releases with it. A bitmap the cache
// could not take has no other holder and drops it at once.
uint8_t bitmapLoad8a(bitmap_tag** out, file_tag* file) {
    if (!bitmapLoad(out, file, 1)) return 0;
    bitmap_tag* bm = *out;
    bm->pixelType = PIXEL_ALPHA8;
    if (!entryList.find(bm)) {
        memFree(bm->map);
        bm->map = nullptr;
    }
    return 1;
}

} // extern "C"
