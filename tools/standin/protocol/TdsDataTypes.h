#pragma once

#include <cstdint>

// The TDS data type codes the stand-in reads in remote procedure calls and writes in its results.
namespace standin::DataType {

constexpr std::uint8_t IntN = 0x26;
constexpr std::uint8_t Int2 = 0x34;
constexpr std::uint8_t Int4 = 0x38;
constexpr std::uint8_t Int8 = 0x7F;
constexpr std::uint8_t NText = 0x63;
constexpr std::uint8_t BigVarBinary = 0xA5;
constexpr std::uint8_t BigVarChar = 0xA7;
constexpr std::uint8_t NVarChar = 0xE7;
constexpr std::uint8_t NChar = 0xEF;

} // namespace standin::DataType
