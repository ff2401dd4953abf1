// SHA-256 (FIPS 180-4), small and self-contained: the saved burn log names the
// chipset file by the digest of its content, so an engineer can tell later
// exactly which firmware a box was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, size_t size);
  // The digest as 64 lower-case hexadecimal digits. Ends the computation.
  std::string hex_digest();

 private:
  void compress(const uint8_t* block);

  uint32_t state_[8];
  uint8_t block_[64];
  size_t block_used_ = 0;
  uint64_t total_bytes_ = 0;
};

std::string sha256_hex(const std::string& bytes);

// Digest and size of a file's bytes as they are on disk (a gzip file is
// digested compressed). False with the reason in `error` when it cannot be read.
bool sha256_file(const std::string& path, std::string* hex, int64_t* size, std::string* error);

}  // namespace tv
