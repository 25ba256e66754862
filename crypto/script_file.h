#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace nimbus {

// A source that does not hold a well-formed encrypted script: too short for
// the layout, or a final block that claims more than 15 bytes.
class ECipherException : public Exception {
public:
  using Exception::Exception;
};

// Encrypted script layout: a 16-byte initial block (the CBC chaining value,
// stored as used), the full plain blocks AES-CBC encrypted, then one final
// encrypted block holding the remaining r < 16 plain bytes, zeros, and r in
// byte 15. The final block is there even when r is 0.
//
// Transforms `source` into `destination` (created or truncated): decrypts, or
// encrypts when `encrypt` is set. A malformed source raises ECipherException
// "Invalid file format", leaving the destination as far as it was written.
// Files that cannot be opened, created, read or written raise EOSError naming
// the file, with errno as its code (EFileReadError for the source); both
// files are closed on every exit. A source that cannot seek (a pipe) is held
// in memory while it is decrypted.
void DecryptScriptFile(const std::filesystem::path& source,
                       const std::filesystem::path& destination, const std::uint8_t* key,
                       std::size_t keyLength, bool encrypt);
// The same into an open stream (standard output, say), flushed but left open;
// `destinationName` names it in errors.
void DecryptScriptFile(const std::filesystem::path& source, std::FILE* destination,
                       const std::filesystem::path& destinationName, const std::uint8_t* key,
                       std::size_t keyLength, bool encrypt);
// The same from bytes to bytes, for callers that must not put the plain text
// on disk; only ECipherException can come of the layout.
std::string TransformScriptBytes(std::string_view source, const std::uint8_t* key,
                                 std::size_t keyLength, bool encrypt);

} // namespace nimbus
