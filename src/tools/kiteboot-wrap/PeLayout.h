// Where the fields of a Windows executable's headers lie: named once here, for the reader and the writer.
// Offsets are from the start of the structure they belong to.
#pragma once

#include <cstdint>

namespace wrap::pe {

// The MS-DOS header at the start of the file: "MZ", and at 60 the offset of the PE signature.
constexpr std::uint32_t dosHeaderSize = 64;
constexpr std::uint16_t dosMagic = 0x5a4d;  // "MZ"
constexpr std::uint32_t dosNewHeaderOffset = 60;

// "PE\0\0", followed by the COFF file header.
constexpr std::uint32_t peSignature = 0x4550;
constexpr std::uint32_t peSignatureSize = 4;

namespace coff {
constexpr std::uint32_t machine = 0;
constexpr std::uint32_t sectionCount = 2;
constexpr std::uint32_t symbolTable = 8;
constexpr std::uint32_t symbolCount = 12;
constexpr std::uint32_t optionalHeaderSize = 16;
constexpr std::uint32_t characteristics = 18;
constexpr std::uint32_t size = 20;

constexpr std::uint16_t machineI386 = 0x14c;
constexpr std::uint16_t machineArm64 = 0xaa64;
constexpr std::uint16_t machineAmd64 = 0x8664;
constexpr std::uint16_t characteristicExecutable = 0x0002;
constexpr std::uint16_t characteristicDll = 0x2000;
}  // namespace coff

// The PE32+ optional header, right after the COFF header.
namespace optional {
constexpr std::uint32_t magic = 0;
constexpr std::uint32_t sizeOfInitializedData = 8;
constexpr std::uint32_t sectionAlignment = 32;
constexpr std::uint32_t fileAlignment = 36;
constexpr std::uint32_t sizeOfImage = 56;
constexpr std::uint32_t sizeOfHeaders = 60;
constexpr std::uint32_t checkSum = 64;
constexpr std::uint32_t subsystem = 68;
constexpr std::uint32_t directoryCount = 108;
constexpr std::uint32_t directories = 112;  // 8 bytes each: address, size
constexpr std::uint32_t directorySize = 8;

constexpr std::uint16_t magicPe32Plus = 0x20b;
constexpr std::uint16_t subsystemWindowsGui = 2;
}  // namespace optional

namespace directory {
constexpr std::uint32_t resource = 2;
constexpr std::uint32_t certificate = 4;
constexpr std::uint32_t baseRelocation = 5;
constexpr std::uint32_t count = 16;  // the most a PE32+ optional header has
}  // namespace directory

// One entry of the section table.
namespace section {
constexpr std::uint32_t name = 0;
constexpr std::uint32_t nameSize = 8;
constexpr std::uint32_t virtualSize = 8;
constexpr std::uint32_t virtualAddress = 12;
constexpr std::uint32_t rawSize = 16;
constexpr std::uint32_t rawPointer = 20;
constexpr std::uint32_t characteristics = 36;
constexpr std::uint32_t size = 40;
}  // namespace section

}  // namespace wrap::pe
