// On-disk constants of the compound file format (version 3, 512-byte sectors)
// and little-endian field access. Sector n of a file starts at byte
// (n + 1) * sector size: the header fills the first sector slot.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cfb {

constexpr std::uint32_t kSectorShift = 9;
constexpr std::uint32_t kSectorSize = 1u << kSectorShift;  // 512
constexpr std::uint32_t kMiniSectorShift = 6;
constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;  // 64
constexpr std::uint32_t kMiniStreamCutoff = 4096;  // smaller streams live in the mini stream
constexpr std::uint32_t kHeaderSize = 512;
constexpr std::uint32_t kDirectoryEntrySize = 128;
constexpr std::uint32_t kEntriesPerSector = kSectorSize / kDirectoryEntrySize;  // 4
constexpr std::uint32_t kIdsPerSector = kSectorSize / 4;                         // 128
constexpr std::uint32_t kHeaderDifatSlots = 109;
constexpr std::uint32_t kIdsPerDifatSector = kIdsPerSector - 1;  // the last slot links on
constexpr std::uint32_t kMaxNameUnits = 31;  // UTF-16 units, without the terminating NUL

// Special sector numbers. Regular sector numbers are below kMaxRegularSector.
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFAu;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFCu;
constexpr std::uint32_t kFatSector = 0xFFFFFFFDu;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFFu;
constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;  // empty sibling or child link

// Directory entry object types and colours.
constexpr std::uint8_t kTypeUnused = 0;
constexpr std::uint8_t kTypeStorage = 1;
constexpr std::uint8_t kTypeStream = 2;
constexpr std::uint8_t kTypeRoot = 5;
constexpr std::uint8_t kColorRed = 0;
constexpr std::uint8_t kColorBlack = 1;

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kMajorVersion3 = 3;
constexpr std::uint16_t kMajorVersion4 = 4;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;

// Header field offsets.
namespace header {
constexpr std::size_t kSignature = 0x00;
constexpr std::size_t kClsid = 0x08;
constexpr std::size_t kMinorVersion = 0x18;
constexpr std::size_t kMajorVersion = 0x1A;
constexpr std::size_t kByteOrder = 0x1C;
constexpr std::size_t kSectorShift = 0x1E;
constexpr std::size_t kMiniSectorShift = 0x20;
constexpr std::size_t kReserved = 0x22;  // 6 bytes
constexpr std::size_t kDirectorySectorCount = 0x28;
constexpr std::size_t kFatSectorCount = 0x2C;
constexpr std::size_t kFirstDirectorySector = 0x30;
constexpr std::size_t kTransactionSignature = 0x34;
constexpr std::size_t kMiniStreamCutoff = 0x38;
constexpr std::size_t kFirstMiniFatSector = 0x3C;
constexpr std::size_t kMiniFatSectorCount = 0x40;
constexpr std::size_t kFirstDifatSector = 0x44;
constexpr std::size_t kDifatSectorCount = 0x48;
constexpr std::size_t kDifat = 0x4C;  // 109 sector numbers
}  // namespace header

// Directory entry field offsets.
namespace entry {
constexpr std::size_t kName = 0x00;  // 32 UTF-16 units
constexpr std::size_t kNameLength = 0x40;  // in bytes, terminating NUL included
constexpr std::size_t kType = 0x42;
constexpr std::size_t kColor = 0x43;
constexpr std::size_t kLeft = 0x44;
constexpr std::size_t kRight = 0x48;
constexpr std::size_t kChild = 0x4C;
constexpr std::size_t kClsid = 0x50;
constexpr std::size_t kStateBits = 0x60;
constexpr std::size_t kCreationTime = 0x64;
constexpr std::size_t kModifiedTime = 0x6C;
constexpr std::size_t kStartSector = 0x74;
constexpr std::size_t kSize = 0x78;  // 64-bit; version 3 uses the low 32 bits
}  // namespace entry

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}

}  // namespace cfb
