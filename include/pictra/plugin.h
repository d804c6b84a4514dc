/*
 * The binary contract between the pictra.vxm module and its host.
 *
 * Every record here is a run of 32-bit words on the module's real target
 * (32-bit PowerPC). On 64-bit builds the words that hold pointers are
 * pointer-sized and every other word stays 32 bits; the 32-bit build pins
 * each record to its word count. Host tables are structs of function
 * pointers whose used slots sit at fixed indexes; unused slots are reserved
 * pointers so that offsetof() can check every index.
 *
 * Usable from C and C++.
 */
#ifndef PICTRA_PLUGIN_H
#define PICTRA_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Tag lists: {tag, value} pairs ended by tag 0 ------------------------ */

typedef struct TagItem {
    uint32_t tag;
    uintptr_t value;
} TagItem;

enum {
    TagEnd = 0,

    /* LoadIcon */
    LoadTagOpenParameter = 1, /* host value for the tagged open; 0 = none */
    LoadTagAttributes = 2,    /* IconAttributes* to fill; null = not wanted */
    LoadTagMaxPictures = 3,   /* pictures kept at most; absent = LoadBudgetPictures */
    LoadTagMaxPictureBytes = 4, /* pixel and palette bytes of all pictures at most;
                                   absent = LoadBudgetPictureBytes */

    /* SaveIcon */
    SaveTagFormat = 1,     /* FormatId of the format to write; required */
    SaveTagCompress = 2,   /* non-zero = compress */
    SaveTagAttributes = 3, /* IconAttributes* to read */

    /* OpenStreamTagged */
    OpenTagParameter = 1,

    /* DecodeImageFile */
    DecodeTagTrueColour = 1, /* 1: hand out 0xAARRGGBB pixels */
    DecodeTagMemoryBlock = 5 /* present (value 0) for named memory blocks */
};

/* A reader of a tag list stops after this many items even without TagEnd,
   so a list that never ends is cut off rather than read without bound. */
enum { TagListMaxItems = 256 };

/* What one load may cost when the caller's tags do not say. A load keeps
   the pictures that fit and leaves out the rest, decoding nothing after the
   first one that does not fit, so that no file makes a load cost more. The
   bytes leave room for one more decode on top: a JPEG 2000 picture of
   4096 x 4096 holds about 320 MiB while it is decoded. */
enum { LoadBudgetPictures = 256, LoadBudgetPictureBytes = 128 << 20 };

/* Readers keep at most this many tool types (the texts after it are left
   out), so a host can walk the array with this bound. */
enum { ToolTypeListMaxItems = 1 << 16 };

/* ---- Opaque host objects ------------------------------------------------- */

typedef struct PictraStream* StreamHandle;
typedef struct PictraHostImage* HostImageHandle;

/* ---- Records -------------------------------------------------------------- */

/* Info block, 14 words, owned by the host and filled by InitPlugin. */
typedef struct PluginInfo {
    uint32_t capabilities;
    uint32_t version;
    uint32_t revision;
    uint32_t hostVersion;
    uint32_t hostRevision;
    const char* name;
    const char* moduleName;
    const char* author;
    const char* description;
    const char* rights;
    const char* webAddress;
    const char* date;
    uintptr_t reserved12;
    uintptr_t reserved13;
} PluginInfo;

/* One saver of the enumeration, 3 words, owned by the host. */
typedef struct SaverQuery {
    uint32_t more;
    uint32_t formatId;
    const char* name;
} SaverQuery;

/* One picture of an icon, 9 words. */
typedef struct IconImage {
    struct IconImage* next;
    void* pixels; /* depth 1-8: one index byte per pixel; else 0xAARRGGBB words */
    int32_t width;
    int32_t height;
    uint32_t flags;
    uint32_t* palette; /* 256 x 0x00RRGGBB for depth 1-8, else null */
    int32_t transparentPen; /* -1 = none */
    int32_t depth;
    uint32_t mark; /* writer scratch, 0 at rest */
} IconImage;

enum {
    IconImagePrimary = 1,  /* first picture of the last image set an Amiga icon held */
    IconImageSelected = 2  /* selected-state picture of the normal picture before it */
};

/* What LoadIcon returns, 14 words. */
typedef struct IconRecord {
    IconImage* images;
    int32_t type;
    int32_t currentX;
    int32_t currentY;
    int32_t drawerLeft;
    int32_t drawerTop;
    int32_t drawerWidth;
    int32_t drawerHeight;
    int32_t drawerViewMode;
    int32_t drawerShowAll;
    int32_t stackSize;
    char* defaultTool;
    char* toolTypes;        /* NUL-terminated texts ended by an empty text */
    char** toolTypeArray;   /* null-terminated, points into toolTypes */
} IconRecord;

/* The caller's attribute record, 12 words. */
typedef struct IconAttributes {
    int32_t type;
    int32_t drawerViewMode;
    int32_t currentX;
    int32_t currentY;
    int32_t drawerLeft;
    int32_t drawerTop;
    int32_t drawerWidth;
    int32_t drawerHeight;
    int32_t stackSize;
    const char* defaultTool;
    char** toolTypes; /* null-terminated array of texts, or null */
    int32_t drawerShowAll;
} IconAttributes;

/* A block of memory to be named for DecodeImageFile, 8 words.
 * The size is a signed 64-bit count kept as two 32-bit words, high first,
 * whatever the machine's byte order. */
typedef struct MemoryBlockDesc {
    uintptr_t reserved0;
    const void* data;
    const char* extension; /* "png" or "bin" */
    uintptr_t reserved3;
    uintptr_t reserved4;
    uintptr_t reserved5;
    uint32_t sizeHigh;
    uint32_t sizeLow;
} MemoryBlockDesc;

/* One pixel conversion, 8 words. */
typedef struct ConvertJob {
    int32_t width;
    int32_t height;
    int32_t sourceDepth;
    int32_t destinationDepth;
    const uint32_t* sourcePalette; /* null for 32-bit sources */
    uint32_t* destinationPalette;  /* 256 x 0x00RRGGBB */
    int32_t sourceTransparentPen;  /* -1 = none */
    int32_t destinationTransparentPen;
} ConvertJob;

enum {
    ConvertMapToPalette = 0,  /* map onto the given destination palette */
    ConvertChoosePalette = 2  /* choose up to 256 colours into it */
};

enum { StreamModeRead = 0, StreamModeNewFile = 1 };
enum { SeekFromCurrent = 0, SeekFromStart = 1, SeekFromEnd = 2 };
enum { MemoryNameLength = 1024 };

/* ---- Host services -------------------------------------------------------- */

typedef void (*ReservedSlot)(void);

typedef void* (*AllocMemoryFn)(uint32_t size, uint32_t clear, const char* tag);
typedef void (*FreeMemoryFn)(void* block);
typedef int32_t (*RegisterFormatFn)(PluginInfo* info, uint32_t kind, const char* description,
                                    const void* reserved, const char* extension,
                                    uint32_t formatId, uint32_t flags);

typedef StreamHandle (*OpenStreamFn)(const char* name, int32_t mode);
typedef StreamHandle (*OpenStreamTaggedFn)(const char* name, int32_t mode, const TagItem* tags);
typedef void (*CloseStreamFn)(StreamHandle stream);
typedef int32_t (*SeekStreamFn)(StreamHandle stream, int32_t offset, int32_t mode);
typedef int32_t (*ReadStreamFn)(StreamHandle stream, void* buffer, int32_t length);
typedef int32_t (*WriteStreamFn)(StreamHandle stream, const void* buffer, int32_t length);
typedef int32_t (*ReadStreamByteFn)(StreamHandle stream); /* 0-255, or -1 at the end */
typedef void (*WriteStreamByteFn)(StreamHandle stream, int32_t value);
typedef int32_t (*StreamAtEndFn)(StreamHandle stream);
typedef int32_t (*NameMemoryBlockFn)(char* name, int32_t nameLength, const MemoryBlockDesc* desc,
                                     uintptr_t reserved);
typedef StreamHandle (*OpenMemoryOutputFn)(char* name, int32_t nameLength, uintptr_t reserved);
typedef const void* (*MemoryOutputBytesFn)(StreamHandle stream, uint32_t* size, uintptr_t reserved);
typedef void (*CloseMemoryOutputFn)(StreamHandle stream);

typedef HostImageHandle (*DecodeImageFileFn)(const char* name, const TagItem* tags, int32_t* width,
                                             int32_t* height, uintptr_t reserved);
typedef const uint32_t* (*ImagePixelsFn)(HostImageHandle image);
typedef void (*ReleaseImageFn)(HostImageHandle image);
typedef int32_t (*EncodePngFileFn)(const char* name, const uint32_t* pixels, int32_t width,
                                   int32_t height, int32_t alpha, uintptr_t reserved5,
                                   uintptr_t reserved6);
typedef int32_t (*ConvertPixelsFn)(const void* source, uint8_t* destination, const ConvertJob* job,
                                   int32_t mode, uintptr_t reserved);

/* Both return 0 on success, with zlib's conventions: *length is the room on
 * entry and the bytes produced on return. */
typedef int32_t (*CompressBlockFn)(void* destination, uint32_t* length, const void* source,
                                   uint32_t sourceLength);
typedef uint32_t (*Crc32BlockFn)(const void* buffer, uint32_t length);

typedef struct SystemTable {
    ReservedSlot reserved0, reserved1, reserved2, reserved3, reserved4, reserved5, reserved6,
        reserved7, reserved8, reserved9, reserved10;
    AllocMemoryFn AllocMemory; /* 11 */
    FreeMemoryFn FreeMemory;   /* 12 */
    ReservedSlot reserved13, reserved14, reserved15, reserved16, reserved17, reserved18;
    RegisterFormatFn RegisterFormat; /* 19 */
} SystemTable;

typedef struct StreamTable {
    OpenStreamFn OpenStream;           /* 0 */
    CloseStreamFn CloseStream;         /* 1 */
    SeekStreamFn SeekStream;           /* 2 */
    ReadStreamFn ReadStream;           /* 3 */
    WriteStreamFn WriteStream;         /* 4 */
    ReadStreamByteFn ReadStreamByte;   /* 5 */
    WriteStreamByteFn WriteStreamByte; /* 6 */
    StreamAtEndFn StreamAtEnd;         /* 7 */
    ReservedSlot reserved8, reserved9, reserved10, reserved11, reserved12, reserved13, reserved14,
        reserved15, reserved16, reserved17, reserved18, reserved19, reserved20, reserved21,
        reserved22, reserved23, reserved24, reserved25, reserved26, reserved27, reserved28,
        reserved29, reserved30, reserved31;
    OpenStreamTaggedFn OpenStreamTagged; /* 32 */
    ReservedSlot reserved33;
    NameMemoryBlockFn NameMemoryBlock;     /* 34 */
    ReservedSlot reserved35;
    OpenMemoryOutputFn OpenMemoryOutput;   /* 36 */
    MemoryOutputBytesFn MemoryOutputBytes; /* 37 */
    CloseMemoryOutputFn CloseMemoryOutput; /* 38 */
} StreamTable;

typedef struct ImageTable {
    ReservedSlot reserved0;
    DecodeImageFileFn DecodeImageFile; /* 1 */
    ImagePixelsFn ImagePixels;         /* 2 */
    ReleaseImageFn ReleaseImage;       /* 3 */
    ReservedSlot reserved4, reserved5, reserved6, reserved7, reserved8, reserved9, reserved10,
        reserved11, reserved12, reserved13, reserved14, reserved15, reserved16, reserved17,
        reserved18, reserved19, reserved20, reserved21, reserved22, reserved23, reserved24,
        reserved25, reserved26, reserved27, reserved28, reserved29, reserved30, reserved31,
        reserved32, reserved33, reserved34, reserved35;
    EncodePngFileFn EncodePngFile; /* 36 */
    ConvertPixelsFn ConvertPixels; /* 37 */
} ImageTable;

typedef struct CompressionTable {
    ReservedSlot reserved0, reserved1, reserved2, reserved3, reserved4, reserved5, reserved6,
        reserved7, reserved8, reserved9, reserved10, reserved11, reserved12;
    CompressBlockFn CompressBlock;   /* 13 */
    CompressBlockFn UncompressBlock; /* 14 */
} CompressionTable;

typedef struct ChecksumTable {
    ReservedSlot reserved0, reserved1;
    Crc32BlockFn Crc32Block; /* 2 */
} ChecksumTable;

/* The services handed to InitPlugin. Word 0 is the host's version; words
 * 3, 4, 5, 12 and 15 point to the tables. */
typedef struct HostServices {
    uint32_t hostVersion;
    const void* reserved1;
    const void* reserved2;
    const SystemTable* system;      /* 3 */
    const StreamTable* stream;      /* 4 */
    const ImageTable* image;        /* 5 */
    const void* reserved6;
    const void* reserved7;
    const void* reserved8;
    const void* reserved9;
    const void* reserved10;
    const void* reserved11;
    const CompressionTable* compression; /* 12 */
    const void* reserved13;
    const void* reserved14;
    const ChecksumTable* checksum; /* 15 */
} HostServices;

/* ---- The seven entry points ------------------------------------------------ */

typedef int32_t (*InitPluginFn)(PluginInfo* info, HostServices* host);
typedef void (*ClosePluginFn)(void);
typedef void (*RegisterIconSaverFn)(SaverQuery* query);
typedef IconRecord* (*LoadIconFn)(const char* name, const TagItem* tags);
typedef IconImage* (*GetIconImagesFn)(IconRecord* icon);
typedef void (*FreeIconFn)(IconRecord* icon);
typedef int32_t (*SaveIconFn)(const char* name, IconImage* images, const TagItem* tags);

#if defined(PICTRA_MODULE_BUILD)
#define PICTRA_EXPORT __attribute__((visibility("default")))
#else
#define PICTRA_EXPORT
#endif

PICTRA_EXPORT int32_t InitPlugin(PluginInfo* info, HostServices* host);
PICTRA_EXPORT void ClosePlugin(void);
PICTRA_EXPORT void RegisterIconSaver(SaverQuery* query);
PICTRA_EXPORT IconRecord* LoadIcon(const char* name, const TagItem* tags);
PICTRA_EXPORT IconImage* GetIconImages(IconRecord* icon);
PICTRA_EXPORT void FreeIcon(IconRecord* icon);
PICTRA_EXPORT int32_t SaveIcon(const char* name, IconImage* images, const TagItem* tags);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout checks --------------------------------------------------------- */

#ifdef __cplusplus
#define PICTRA_STATIC_ASSERT static_assert
#else
#define PICTRA_STATIC_ASSERT _Static_assert
#endif

/* Every slot the module calls: its table, the HostServices member that
   points at the table, the slot and its index. */
#define PICTRA_USED_SLOTS(X) \
    X(SystemTable, system, AllocMemory, 11) \
    X(SystemTable, system, FreeMemory, 12) \
    X(SystemTable, system, RegisterFormat, 19) \
    X(StreamTable, stream, OpenStream, 0) \
    X(StreamTable, stream, CloseStream, 1) \
    X(StreamTable, stream, SeekStream, 2) \
    X(StreamTable, stream, ReadStream, 3) \
    X(StreamTable, stream, WriteStream, 4) \
    X(StreamTable, stream, ReadStreamByte, 5) \
    X(StreamTable, stream, WriteStreamByte, 6) \
    X(StreamTable, stream, StreamAtEnd, 7) \
    X(StreamTable, stream, OpenStreamTagged, 32) \
    X(StreamTable, stream, NameMemoryBlock, 34) \
    X(StreamTable, stream, OpenMemoryOutput, 36) \
    X(StreamTable, stream, MemoryOutputBytes, 37) \
    X(StreamTable, stream, CloseMemoryOutput, 38) \
    X(ImageTable, image, DecodeImageFile, 1) \
    X(ImageTable, image, ImagePixels, 2) \
    X(ImageTable, image, ReleaseImage, 3) \
    X(ImageTable, image, EncodePngFile, 36) \
    X(ImageTable, image, ConvertPixels, 37) \
    X(CompressionTable, compression, CompressBlock, 13) \
    X(CompressionTable, compression, UncompressBlock, 14) \
    X(ChecksumTable, checksum, Crc32Block, 2)

#define PICTRA_SLOT(table, services, field, index) \
    PICTRA_STATIC_ASSERT(offsetof(table, field) == (index) * sizeof(void (*)(void)), \
                         #table "." #field " must sit at slot " #index);

PICTRA_USED_SLOTS(PICTRA_SLOT)

/* HostServices is a run of pointer-sized words after word 0. */
PICTRA_STATIC_ASSERT(offsetof(HostServices, system) == 3 * sizeof(void*), "System table at word 3");
PICTRA_STATIC_ASSERT(offsetof(HostServices, stream) == 4 * sizeof(void*), "Stream table at word 4");
PICTRA_STATIC_ASSERT(offsetof(HostServices, image) == 5 * sizeof(void*), "Image table at word 5");
PICTRA_STATIC_ASSERT(offsetof(HostServices, compression) == 12 * sizeof(void*),
                     "Compression table at word 12");
PICTRA_STATIC_ASSERT(offsetof(HostServices, checksum) == 15 * sizeof(void*),
                     "Checksum table at word 15");

#if UINTPTR_MAX == 0xFFFFFFFFu
/* On the 32-bit target every record is exactly its word count. */
PICTRA_STATIC_ASSERT(sizeof(PluginInfo) == 14 * 4, "PluginInfo is 14 words");
PICTRA_STATIC_ASSERT(sizeof(IconRecord) == 14 * 4, "IconRecord is 14 words");
PICTRA_STATIC_ASSERT(sizeof(IconAttributes) == 12 * 4, "IconAttributes is 12 words");
PICTRA_STATIC_ASSERT(sizeof(IconImage) == 9 * 4, "IconImage is 9 words");
PICTRA_STATIC_ASSERT(sizeof(SaverQuery) == 3 * 4, "SaverQuery is 3 words");
PICTRA_STATIC_ASSERT(sizeof(MemoryBlockDesc) == 8 * 4, "MemoryBlockDesc is 8 words");
PICTRA_STATIC_ASSERT(sizeof(ConvertJob) == 8 * 4, "ConvertJob is 8 words");
PICTRA_STATIC_ASSERT(sizeof(TagItem) == 2 * 4, "TagItem is 2 words");
PICTRA_STATIC_ASSERT(sizeof(HostServices) == 16 * 4, "HostServices is 16 words");
#endif

#undef PICTRA_SLOT
#undef PICTRA_STATIC_ASSERT

#endif /* PICTRA_PLUGIN_H */
