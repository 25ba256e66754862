#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nimbus {

// Conversions between the program's 8-bit Windows-1252 text and UTF-8, for
// literals written in UTF-8 source and for display. Bytes that Windows-1252
// leaves undefined map to the C1 control of the same value, so every byte
// survives a round trip.
std::string Cp1252ToUtf8(std::string_view text);
// Characters outside Windows-1252 (and malformed UTF-8) become "?".
std::string Utf8ToCp1252(std::string_view text);
// The same, but nothing when `text` holds a character Windows-1252 has no
// form for or malformed UTF-8; `badOffset` then gets its byte offset.
std::optional<std::string> Utf8ToCp1252Exact(std::string_view text,
                                             std::size_t* badOffset = nullptr);

// ASCII-only case mapping, as a byte-for-byte operation on 8-bit text, plus
// the Latin-1 letters of Windows-1252 (so "É" lowers to "é").
std::string AnsiLowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);

} // namespace nimbus
