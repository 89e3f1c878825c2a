// On-disk structures of the Unicode .pst format, named as in [MS-PST] §2.2.
// The structs are read and written with memcpy, so the host must be little-endian.
#pragma once

#include <bit>
#include <cstdint>

namespace baleport::pst::disk {

static_assert(std::endian::native == std::endian::little, "the .pst layout structs assume a little-endian host");

inline constexpr uint32_t kPageSize = 512;
inline constexpr uint32_t kPageDataSize = 496;       // bytes before the PAGETRAILER
inline constexpr uint32_t kMaxBlockSize = 8192;
inline constexpr uint32_t kBlockTrailerSize = 16;
inline constexpr uint32_t kMaxBlockData = kMaxBlockSize - kBlockTrailerSize;  // 8176
inline constexpr uint64_t kFirstAMapOffset = 0x4400;
inline constexpr uint64_t kDListOffset = 0x4200;
inline constexpr uint64_t kSectionSize = 496 * 8 * 64;  // 253 952 bytes mapped by one AMap
inline constexpr uint32_t kSlotSize = 64;
inline constexpr uint32_t kSlotsPerSection = 496 * 8;
inline constexpr uint16_t kVersionUnicode = 23;
inline constexpr uint16_t kVersionClient = 19;
inline constexpr uint32_t kMagic = 0x4E444221;        // "!BDN"
inline constexpr uint16_t kMagicClient = 0x4D53;      // "SM"

// Page types of PAGETRAILER.ptype (§2.2.2.7.1).
enum PageType : uint8_t {
  kPtypeBBT = 0x80,
  kPtypeNBT = 0x81,
  kPtypeFMap = 0x82,
  kPtypePMap = 0x83,
  kPtypeAMap = 0x84,
  kPtypeFPMap = 0x85,
  kPtypeDL = 0x86,
};

// fAMapValid of ROOT (§2.2.2.5).
inline constexpr uint8_t kInvalidAMap = 0x00;
inline constexpr uint8_t kValidAMap2 = 0x02;

#pragma pack(push, 1)

struct BREF {
  uint64_t bid;
  uint64_t ib;
};
static_assert(sizeof(BREF) == 16);

struct ROOT {
  uint32_t dwReserved;
  uint64_t ibFileEof;
  uint64_t ibAMapLast;
  uint64_t cbAMapFree;
  uint64_t cbPMapFree;
  BREF BREFNBT;
  BREF BREFBBT;
  uint8_t fAMapValid;
  uint8_t bReserved;
  uint16_t wReserved;
};
static_assert(sizeof(ROOT) == 72);

struct HEADER {
  uint32_t dwMagic;
  uint32_t dwCRCPartial;
  uint16_t wMagicClient;
  uint16_t wVer;
  uint16_t wVerClient;
  uint8_t bPlatformCreate;
  uint8_t bPlatformAccess;
  uint32_t dwReserved1;
  uint32_t dwReserved2;
  uint64_t bidUnused;
  uint64_t bidNextP;
  uint32_t dwUnique;
  uint32_t rgnid[32];
  uint64_t qwUnused;
  ROOT root;
  uint32_t dwAlign;
  uint8_t rgbFM[128];
  uint8_t rgbFP[128];
  uint8_t bSentinel;
  uint8_t bCryptMethod;
  uint16_t rgbReserved;
  uint64_t bidNextB;
  uint32_t dwCRCFull;
  uint8_t rgbReserved2[3];
  uint8_t bReserved;
  uint8_t rgbReserved3[32];
};
static_assert(sizeof(HEADER) == 564);
inline constexpr uint32_t kHeaderPartialCrcOffset = 0x008, kHeaderPartialCrcSize = 471;
inline constexpr uint32_t kHeaderFullCrcOffset = 0x008, kHeaderFullCrcSize = 516;

struct PAGETRAILER {
  uint8_t ptype;
  uint8_t ptypeRepeat;
  uint16_t wSig;
  uint32_t dwCRC;
  uint64_t bid;
};
static_assert(sizeof(PAGETRAILER) == 16);

struct BLOCKTRAILER {
  uint16_t cb;
  uint16_t wSig;
  uint32_t dwCRC;
  uint64_t bid;
};
static_assert(sizeof(BLOCKTRAILER) == 16);

// BTPAGE (§2.2.2.7.7.1): entries, then these four counters and padding, then the trailer.
struct BTPAGE_COUNTS {
  uint8_t cEnt;
  uint8_t cEntMax;
  uint8_t cbEnt;
  uint8_t cLevel;
  uint32_t dwPadding;
};
static_assert(sizeof(BTPAGE_COUNTS) == 8);
inline constexpr uint32_t kBTPageEntryBytes = 488;

struct BTENTRY {
  uint64_t btkey;
  BREF BREF_;
};
static_assert(sizeof(BTENTRY) == 24);

struct BBTENTRY {
  BREF BREF_;
  uint16_t cb;
  uint16_t cRef;
  uint32_t dwPadding;
};
static_assert(sizeof(BBTENTRY) == 24);

struct NBTENTRY {
  uint64_t nid;
  uint64_t bidData;
  uint64_t bidSub;
  uint32_t nidParent;
  uint32_t dwPadding;
};
static_assert(sizeof(NBTENTRY) == 32);

inline constexpr uint8_t kNbtLeafMax = 15, kBbtLeafMax = 20, kBtIntermediateMax = 20;

// Internal blocks (§2.2.2.8.3.2, §2.2.2.8.3.3).
struct XBLOCK_HEADER {
  uint8_t btype;    // 0x01
  uint8_t cLevel;   // 1 = XBLOCK, 2 = XXBLOCK
  uint16_t cEnt;
  uint32_t lcbTotal;
};
static_assert(sizeof(XBLOCK_HEADER) == 8);

struct SLBLOCK_HEADER {
  uint8_t btype;    // 0x02
  uint8_t cLevel;   // 0 = SLBLOCK, 1 = SIBLOCK
  uint16_t cEnt;
  uint32_t dwPadding;
};
static_assert(sizeof(SLBLOCK_HEADER) == 8);

struct SLENTRY {
  uint64_t nid;
  uint64_t bidData;
  uint64_t bidSub;
};
static_assert(sizeof(SLENTRY) == 24);

struct SIENTRY {
  uint64_t nid;
  uint64_t bid;
};
static_assert(sizeof(SIENTRY) == 16);

inline constexpr uint32_t kXBlockMaxEntries = (kMaxBlockData - 8) / 8;     // 1021
inline constexpr uint32_t kSLBlockMaxEntries = (kMaxBlockData - 8) / 24;   // 340
inline constexpr uint32_t kSIBlockMaxEntries = (kMaxBlockData - 8) / 16;   // 510

// DLISTPAGE (§2.2.2.7.4).
struct DLISTPAGE {
  uint8_t bFlags;
  uint8_t cEntDList;
  uint16_t wPadding;
  uint32_t ulCurrentPage;
  uint32_t rgDListPageEnt[119];
  uint8_t rgPadding[12];
  PAGETRAILER pageTrailer;
};
static_assert(sizeof(DLISTPAGE) == 512);

// The heap's first block begins with HNHDR (§2.3.1.2); every block's page map with
// HNPAGEMAP's counts, followed by cAlloc + 1 offsets (§2.3.1.5).
struct HNHDR {
  uint16_t ibHnpm;
  uint8_t bSig;
  uint8_t bClientSig;
  uint32_t hidUserRoot;
  uint32_t rgbFillLevel;
};
static_assert(sizeof(HNHDR) == 12);

struct HNPAGEMAP {
  uint16_t cAlloc;
  uint16_t cFree;
};
static_assert(sizeof(HNPAGEMAP) == 4);

// A table's header, TCINFO (§2.3.4.1), followed by cCols TCOLDESCs (§2.3.4.2).
struct TCINFO {
  uint8_t bType;
  uint8_t cCols;
  uint16_t rgib[4];  // ends of the 4-, 2- and 1-byte columns, and the row size
  uint32_t hidRowIndex;
  uint32_t hnidRows;
  uint32_t hidIndex;
};
static_assert(sizeof(TCINFO) == 22);

struct TCOLDESC {
  uint32_t tag;
  uint16_t ibData;
  uint8_t cbData;
  uint8_t iBit;
};
static_assert(sizeof(TCOLDESC) == 8);

#pragma pack(pop)

inline constexpr uint64_t kBidInternal = 0x2;

// §5.5: the signature binding a page or block to its place and id.
constexpr uint16_t ComputeSig(uint64_t ib, uint64_t bid) {
  uint32_t v = static_cast<uint32_t>(ib ^ bid);
  return static_cast<uint16_t>(static_cast<uint16_t>(v >> 16) ^ static_cast<uint16_t>(v));
}

// Total bytes a block of cb data bytes takes on disk, trailer included.
constexpr uint32_t BlockDiskSize(uint32_t cb) { return (cb + kBlockTrailerSize + 63) / 64 * 64; }

// NID (§2.2.2.1).
enum NidType : uint8_t {
  kNidTypeHid = 0x00,
  kNidTypeInternal = 0x01,
  kNidTypeNormalFolder = 0x02,
  kNidTypeSearchFolder = 0x03,
  kNidTypeNormalMessage = 0x04,
  kNidTypeAttachment = 0x05,
  kNidTypeSearchUpdateQueue = 0x06,
  kNidTypeSearchCriteriaObject = 0x07,
  kNidTypeAssocMessage = 0x08,
  kNidTypeHierarchyTable = 0x0D,
  kNidTypeContentsTable = 0x0E,
  kNidTypeAssocContentsTable = 0x0F,
  kNidTypeSearchContentsTable = 0x10,
  kNidTypeAttachmentTable = 0x11,
  kNidTypeRecipientTable = 0x12,
  kNidTypeLtp = 0x1F,
};
constexpr uint32_t MakeNid(uint32_t index, uint8_t type) { return (index << 5) | type; }
constexpr uint8_t NidTypeOf(uint32_t nid) { return static_cast<uint8_t>(nid & 0x1F); }
constexpr uint32_t NidIndexOf(uint32_t nid) { return nid >> 5; }

// Special NIDs (§2.4.1).
inline constexpr uint32_t kNidMessageStore = 0x21;
inline constexpr uint32_t kNidNameToIdMap = 0x61;
inline constexpr uint32_t kNidRootFolder = 0x122;
inline constexpr uint32_t kNidSearchManagementQueue = 0x1E1;
inline constexpr uint32_t kNidSearchActivityList = 0x201;
inline constexpr uint32_t kNidHierarchyTableTemplate = 0x60D;
inline constexpr uint32_t kNidContentsTableTemplate = 0x60E;
inline constexpr uint32_t kNidAssocContentsTableTemplate = 0x60F;
inline constexpr uint32_t kNidSearchContentsTableTemplate = 0x610;
inline constexpr uint32_t kNidAttachmentTable = 0x671;
inline constexpr uint32_t kNidRecipientTable = 0x692;
inline constexpr uint32_t kNidSpamSearchFolder = 0x2223;
inline constexpr uint32_t kNidIpmSubtree = 0x8022;
inline constexpr uint32_t kNidSearchRoot = 0x8042;
inline constexpr uint32_t kNidDeletedItems = 0x8062;

}  // namespace baleport::pst::disk
