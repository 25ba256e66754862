#include "crypto/script_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <openssl/rand.h>

#include "crypto/aes_cipher.h"

namespace nimbus {

namespace {

constexpr std::size_t Block = AesCipher::BlockSize;
// Large reads let the AES decrypt many blocks per call.
constexpr std::size_t ChunkSize = 4096 * Block;
constexpr const char* InvalidFormat = "Invalid file format";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string FileErrorText(const char* what, const std::filesystem::path& path, int error) {
  return std::string(what) + " \"" + path.string() + "\". " +
         std::generic_category().message(error);
}

[[noreturn]] void ThrowFileError(const char* what, const std::filesystem::path& path, int error) {
  if (error == 0)
    error = EIO;
  throw EOSError(error, FileErrorText(what, path, error));
}

// The source's failures are read errors, which callers tell apart from the
// destination's.
[[noreturn]] void ThrowReadError(const char* what, const std::filesystem::path& path, int error) {
  if (error == 0)
    error = EIO;
  throw EFileReadError(error, FileErrorText(what, path, error));
}

File OpenSource(const std::filesystem::path& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    ThrowReadError("Cannot open file", path, EISDIR);
  errno = 0;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file)
    ThrowReadError("Cannot open file", path, errno);
  return file;
}

File CreateDestination(const std::filesystem::path& path, const std::filesystem::path& source) {
  // Truncating the source itself would destroy it before it is read.
  std::error_code ignored;
  if (std::filesystem::equivalent(source, path, ignored))
    throw EOSError(EINVAL, "Cannot create file \"" + path.string() + "\". It is the source file");
  errno = 0;
  File file(std::fopen(path.c_str(), "wb"));
  if (!file)
    ThrowFileError("Cannot create file", path, errno);
  return file;
}

// Sources and sinks of the transforms: an open file named in its errors, or
// bytes in memory.
class FileSink {
public:
  FileSink(std::FILE* file, const std::filesystem::path& name) : file_(file), name_(name) {}

  void Write(const std::uint8_t* data, std::size_t length) {
    errno = 0;
    if (std::fwrite(data, 1, length, file_) != length)
      ThrowFileError("Cannot write file", name_, errno);
  }

private:
  std::FILE* file_;
  const std::filesystem::path& name_;
};

class BytesSource {
public:
  explicit BytesSource(std::string_view bytes) : bytes_(bytes) {}

  long long Size() const { return static_cast<long long>(bytes_.size()); }

  std::size_t Read(std::uint8_t* data, std::size_t length) {
    const std::size_t got = std::min(length, bytes_.size() - offset_);
    std::memcpy(data, bytes_.data() + offset_, got);
    offset_ += got;
    return got;
  }

private:
  std::string_view bytes_;
  std::size_t offset_ = 0;
};

class FileSource {
public:
  FileSource(std::FILE* file, const std::filesystem::path& name) : file_(file), name_(name) {}

  // A source that cannot seek (a pipe) is read whole first: the final block
  // is known only at the end.
  long long Size() {
    errno = 0;
    if (std::fseek(file_, 0, SEEK_END) != 0) {
      if (errno != ESPIPE)
        ThrowReadError("Cannot read file", name_, errno);
      ReadWhole();
      return static_cast<long long>(bytes_.size());
    }
    const long long size = std::ftell(file_);
    if (size < 0 || std::fseek(file_, 0, SEEK_SET) != 0)
      ThrowReadError("Cannot read file", name_, errno);
    return size;
  }

  // Up to `length` bytes; fewer only at the end of the file.
  std::size_t Read(std::uint8_t* data, std::size_t length) {
    if (held_)
      return held_->Read(data, length);
    errno = 0;
    const std::size_t got = std::fread(data, 1, length, file_);
    if (got < length && std::ferror(file_))
      ThrowReadError("Cannot read file", name_, errno);
    return got;
  }

private:
  void ReadWhole() {
    try {
      std::vector<std::uint8_t> buffer(ChunkSize);
      for (std::size_t got; (got = Read(buffer.data(), buffer.size())) > 0;)
        bytes_.append(reinterpret_cast<const char*>(buffer.data()), got);
    } catch (const std::bad_alloc&) {
      ThrowReadError("Cannot read file", name_, ENOMEM);
    } catch (const std::length_error&) {
      ThrowReadError("Cannot read file", name_, ENOMEM);
    }
    held_.emplace(bytes_);
  }

  std::FILE* file_;
  const std::filesystem::path& name_;
  std::string bytes_;
  std::optional<BytesSource> held_;
};

class BytesSink {
public:
  explicit BytesSink(std::string& bytes) : bytes_(bytes) {}

  void Write(const std::uint8_t* data, std::size_t length) {
    bytes_.append(reinterpret_cast<const char*>(data), length);
  }

private:
  std::string& bytes_;
};

// Closes the destination so that a failed flush is reported, not lost.
void CloseDestination(File file, const std::filesystem::path& path) {
  errno = 0;
  if (std::fclose(file.release()) != 0)
    ThrowFileError("Cannot write file", path, errno);
}

void XorBlock(std::uint8_t* target, const std::uint8_t* with) {
  for (std::size_t i = 0; i < Block; ++i)
    target[i] ^= with[i];
}

template <typename Source, typename Sink> void Decrypt(Source& in, Sink& out, AesCipher& aes) {
  const long long size = in.Size();
  if (size < static_cast<long long>(2 * Block))
    throw ECipherException(InvalidFormat);
  // Bytes past the last whole block are not part of the layout.
  std::size_t bodyLeft = static_cast<std::size_t>(size) / Block * Block - 2 * Block;

  // cipher[0..16) is the previous ciphertext block, the chunk read follows it,
  // so chaining is one XOR with the bytes 16 before each block.
  const std::size_t chunk = std::min(bodyLeft, ChunkSize);
  std::vector<std::uint8_t> cipher(Block + chunk);
  std::vector<std::uint8_t> plain(chunk);
  if (in.Read(cipher.data(), Block) < Block)
    throw ECipherException(InvalidFormat);
  while (bodyLeft > 0) {
    const std::size_t want = std::min(bodyLeft, chunk);
    const std::size_t got = in.Read(cipher.data() + Block, want) / Block * Block;
    aes.TransformBlocks(cipher.data() + Block, plain.data(), got);
    for (std::size_t i = 0; i < got; ++i)
      plain[i] ^= cipher[i];
    out.Write(plain.data(), got);
    if (got < want)
      throw ECipherException(InvalidFormat);
    std::memmove(cipher.data(), cipher.data() + got, Block);
    bodyLeft -= got;
  }

  std::uint8_t last[Block];
  if (in.Read(last, Block) < Block)
    throw ECipherException(InvalidFormat);
  aes.TransformBlocks(last, last, Block);
  XorBlock(last, cipher.data());
  const std::size_t count = last[Block - 1];
  // Only a wrong key or a damaged file gets here; never write past the block.
  if (count >= Block)
    throw ECipherException(InvalidFormat);
  out.Write(last, count);
}

template <typename Source, typename Sink> void Encrypt(Source& in, Sink& out, AesCipher& aes) {
  // A random initial block keeps equal scripts from encrypting alike.
  std::uint8_t previous[Block];
  if (RAND_bytes(previous, Block) != 1)
    throw std::runtime_error("No random source for the initial block");
  aes.TransformBlocks(previous, previous, Block);
  out.Write(previous, Block);

  std::vector<std::uint8_t> data(ChunkSize);
  std::size_t got = 0;
  for (;;) {
    got = in.Read(data.data(), ChunkSize);
    const std::size_t whole = got / Block * Block;
    for (std::size_t offset = 0; offset < whole; offset += Block) {
      std::uint8_t* block = data.data() + offset;
      XorBlock(block, previous);
      aes.TransformBlocks(block, block, Block);
      std::memcpy(previous, block, Block);
    }
    out.Write(data.data(), whole);
    if (got < ChunkSize)
      break;
  }

  std::uint8_t last[Block] = {};
  const std::size_t count = got % Block;
  std::memcpy(last, data.data() + got - count, count);
  last[Block - 1] = static_cast<std::uint8_t>(count);
  XorBlock(last, previous);
  aes.TransformBlocks(last, last, Block);
  out.Write(last, Block);
}

template <typename Source, typename Sink>
void Transform(Source& in, Sink& out, AesCipher& aes, bool encrypt) {
  if (encrypt)
    Encrypt(in, out, aes);
  else
    Decrypt(in, out, aes);
}

} // namespace

void DecryptScriptFile(const std::filesystem::path& source,
                       const std::filesystem::path& destination, const std::uint8_t* key,
                       std::size_t keyLength, bool encrypt) {
  AesCipher aes(key, keyLength, encrypt);
  File in = OpenSource(source);
  File out = CreateDestination(destination, source);
  FileSource reader(in.get(), source);
  FileSink writer(out.get(), destination);
  Transform(reader, writer, aes, encrypt);
  CloseDestination(std::move(out), destination);
}

void DecryptScriptFile(const std::filesystem::path& source, std::FILE* destination,
                       const std::filesystem::path& destinationName, const std::uint8_t* key,
                       std::size_t keyLength, bool encrypt) {
  AesCipher aes(key, keyLength, encrypt);
  File in = OpenSource(source);
  FileSource reader(in.get(), source);
  FileSink writer(destination, destinationName);
  Transform(reader, writer, aes, encrypt);
  errno = 0;
  if (std::fflush(destination) != 0 || std::ferror(destination))
    ThrowFileError("Cannot write file", destinationName, errno);
}

std::string TransformScriptBytes(std::string_view source, const std::uint8_t* key,
                                 std::size_t keyLength, bool encrypt) {
  AesCipher aes(key, keyLength, encrypt);
  std::string result;
  BytesSource reader(source);
  BytesSink writer(result);
  Transform(reader, writer, aes, encrypt);
  return result;
}

} // namespace nimbus
