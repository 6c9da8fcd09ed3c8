#pragma once
// The parts of the Mach-O format that nkhost reads: 64-bit x86-64 images whose fix-ups are
// described by LC_DYLD_INFO(_ONLY) opcode streams, as lld's Mach-O linker writes them.

#include <cstdint>

namespace nk::sim::macho {

constexpr uint32_t kMagic64 = 0xFEEDFACF;
constexpr uint32_t kCpuTypeX86_64 = 0x01000007;
constexpr uint32_t kFileExecute = 0x2;
constexpr uint32_t kFileDylib = 0x6;
constexpr uint64_t kHeaderSize = 32;

// Load commands. Those with kRequiredByDyld set must be understood; others may be skipped.
constexpr uint32_t kRequiredByDyld = 0x80000000;
constexpr uint32_t kSegment32 = 0x1;
constexpr uint32_t kSymtab = 0x2;
constexpr uint32_t kThread = 0x4;
constexpr uint32_t kUnixThread = 0x5;
constexpr uint32_t kLoadDylib = 0xC;
constexpr uint32_t kIdDylib = 0xD;
constexpr uint32_t kLoadWeakDylib = 0x18 | kRequiredByDyld;
constexpr uint32_t kSegment64 = 0x19;
constexpr uint32_t kReexportDylib = 0x1F | kRequiredByDyld;
constexpr uint32_t kLazyLoadDylib = 0x20;
constexpr uint32_t kDyldInfo = 0x22;
constexpr uint32_t kDyldInfoOnly = 0x22 | kRequiredByDyld;
constexpr uint32_t kUpwardDylib = 0x23 | kRequiredByDyld;
constexpr uint32_t kMain = 0x28 | kRequiredByDyld;
constexpr uint32_t kDyldExportsTrie = 0x33 | kRequiredByDyld;
constexpr uint32_t kDyldChainedFixups = 0x34 | kRequiredByDyld;

constexpr uint64_t kSegmentCommandSize = 72;
constexpr uint64_t kSectionSize = 80;
constexpr uint64_t kNlistSize = 16;

// Section types (low byte of the section flags).
constexpr uint32_t kSectionTypeMask = 0xFF;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t kModTermFuncPointers = 0xA;
constexpr uint32_t kInitFuncOffsets = 0x16;

// VM protections.
constexpr uint32_t kProtRead = 1, kProtWrite = 2, kProtExecute = 4;

// Symbol table.
constexpr uint8_t kNStab = 0xE0;
constexpr uint8_t kNTypeMask = 0x0E;
constexpr uint8_t kNSect = 0x0E;
constexpr uint8_t kNAbs = 0x02;

// Rebase opcodes.
constexpr uint8_t kRebaseTypePointer = 1;
constexpr uint8_t kRebaseOpcodeMask = 0xF0, kRebaseImmediateMask = 0x0F;
constexpr uint8_t kRebaseDone = 0x00;
constexpr uint8_t kRebaseSetTypeImm = 0x10;
constexpr uint8_t kRebaseSetSegmentAndOffsetUleb = 0x20;
constexpr uint8_t kRebaseAddAddrUleb = 0x30;
constexpr uint8_t kRebaseAddAddrImmScaled = 0x40;
constexpr uint8_t kRebaseDoRebaseImmTimes = 0x50;
constexpr uint8_t kRebaseDoRebaseUlebTimes = 0x60;
constexpr uint8_t kRebaseDoRebaseAddAddrUleb = 0x70;
constexpr uint8_t kRebaseDoRebaseUlebTimesSkippingUleb = 0x80;

// Bind opcodes.
constexpr uint8_t kBindTypePointer = 1;
constexpr uint8_t kBindOpcodeMask = 0xF0, kBindImmediateMask = 0x0F;
constexpr uint8_t kBindDone = 0x00;
constexpr uint8_t kBindSetDylibOrdinalImm = 0x10;
constexpr uint8_t kBindSetDylibOrdinalUleb = 0x20;
constexpr uint8_t kBindSetDylibSpecialImm = 0x30;
constexpr uint8_t kBindSetSymbolTrailingFlagsImm = 0x40;
constexpr uint8_t kBindSetTypeImm = 0x50;
constexpr uint8_t kBindSetAddendSleb = 0x60;
constexpr uint8_t kBindSetSegmentAndOffsetUleb = 0x70;
constexpr uint8_t kBindAddAddrUleb = 0x80;
constexpr uint8_t kBindDoBind = 0x90;
constexpr uint8_t kBindDoBindAddAddrUleb = 0xA0;
constexpr uint8_t kBindDoBindAddAddrImmScaled = 0xB0;
constexpr uint8_t kBindDoBindUlebTimesSkippingUleb = 0xC0;
constexpr uint8_t kBindThreaded = 0xD0;
constexpr uint8_t kBindSymbolFlagsWeakImport = 0x1;

// Special dylib ordinals of bind opcodes.
constexpr int64_t kOrdinalSelf = 0;
constexpr int64_t kOrdinalMainExecutable = -1;
constexpr int64_t kOrdinalFlatLookup = -2;
constexpr int64_t kOrdinalWeakLookup = -3;

// Export trie flags.
constexpr uint64_t kExportKindMask = 0x03;
constexpr uint64_t kExportKindRegular = 0x00;
constexpr uint64_t kExportKindThreadLocal = 0x01;
constexpr uint64_t kExportKindAbsolute = 0x02;
constexpr uint64_t kExportWeakDefinition = 0x04;
constexpr uint64_t kExportReexport = 0x08;
constexpr uint64_t kExportStubAndResolver = 0x10;

}  // namespace nk::sim::macho
