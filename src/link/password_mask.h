// The desktop password as both generations of handheld take it: UTF-16LE,
// every byte XOR'ed with the low byte of a key the handheld chose, after a
// u16 byte count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zp::link {

/// The u16 count and the masked bytes, with the password's NUL when
/// `with_nul`.
std::vector<std::uint8_t> MaskedPassword(const std::string& password, std::uint8_t key,
                                         bool with_nul);

}  // namespace zp::link
