#pragma once
// UTF-8 and UTF-16 conversions that do not depend on the platform.
#include <optional>
#include <string>
#include <string_view>

namespace snapvik {

// Strict: nullopt for any ill-formed sequence (overlong forms, surrogates,
// code points above U+10FFFF, truncated sequences, stray continuation bytes).
std::optional<std::wstring> DecodeUtf8Strict(std::string_view bytes);

// A lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
std::string EncodeUtf8(std::wstring_view text);

enum class ByteOrder { LittleEndian, BigEndian };

// Code units in the given byte order; an odd last byte is dropped.
std::wstring DecodeUtf16(std::string_view bytes, ByteOrder order);

}  // namespace snapvik
