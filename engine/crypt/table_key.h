// The key of an encrypted table: derived from the table's password with PBKDF2-HMAC-SHA256 and
// the salt kept in the table's header, checked against the header's verifier so that a wrong
// password is refused (never used to write), and the ciphers built on it.
//
// Derivation: PBKDF2-HMAC-SHA256(password, salt, iterations) gives a 32-byte master key M; the
// key's parts are SHA-256 of a label and M:
//   "vsk-xts-1", "vsk-xts-2"  the two 256-bit halves of the AES-256-XTS key, for records of 16
//                             bytes or more, memo runs and index pages;
//   "vsk-ctr"                 the AES-256-CTR key for records whose field data is shorter than
//                             16 bytes (XTS needs one whole block);
//   "vsk-verify"              the verifier key: the header keeps SHA-256 of it, so a password
//                             is checked without deciphering anything.
//
// Each unit is enciphered under its own tweak (16 bytes: a domain byte, 3 zero bytes, then a
// 64-bit little-endian unit number and 4 zero bytes), so equal values in different places give
// different bytes:
//   records    domain 'R', unit = record number (a pack, which renumbers, re-enciphers);
//   memo runs  domain 'M', in chunks of 64 KiB (the last one takes a remainder shorter than
//              16 bytes), unit = the run's 32-bit random nonce (kept in the run header, new on
//              every write) * 2^32 + the chunk's number, so a memo keeps its cipher bytes when
//              a pack moves it;
//   index      domain 'I', unit = page number.
// Enciphering keeps the length. XTS is deterministic per tweak: a unit rewritten with the same
// value gives the same bytes. Short records (fewer than 16 bytes of field data) use CTR with the
// record's tweak as counter block: an observer of two versions of such a record learns which
// bits changed; longer records do not have this weakness.
//
// Thread-safety: a TableKey is immutable once made; its functions may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "engine/base/status.h"

namespace ace::crypt {

inline constexpr size_t kSaltSize = 16;
inline constexpr size_t kVerifierSize = 32;
inline constexpr uint32_t kDefaultIterations = 100000;
// The fewest and most PBKDF2 iterations a header may ask for (a damaged or hostile header must
// not make the open take hours, nor a weak key acceptable).
inline constexpr uint32_t kMinIterations = 10000;
inline constexpr uint32_t kMaxIterations = 10000000;
inline constexpr size_t kMaxPasswordLength = 1024;

// What a table header keeps of its key.
struct KeyParams {
  uint32_t iterations = kDefaultIterations;
  std::array<uint8_t, kSaltSize> salt{};
  std::array<uint8_t, kVerifierSize> verifier{};
};

class TableKey {
 public:
  // A new key for a table that has none: a fresh random salt; params receives what the header
  // must keep. An empty or overlong password is kErrEncryption.
  static Result<std::shared_ptr<const TableKey>> Create(std::string_view password,
                                                        KeyParams* params);
  // The key of a table with these params; a password that does not match the verifier is
  // kErrEncryption, as are iterations outside [kMinIterations, kMaxIterations].
  static Result<std::shared_ptr<const TableKey>> Derive(std::string_view password,
                                                        const KeyParams& params);
  ~TableKey();
  TableKey(const TableKey&) = delete;
  TableKey& operator=(const TableKey&) = delete;

  // The parameters the key belongs to (its table's header keeps them).
  const KeyParams& params() const { return params_; }

  // In place; data may have any length (0 does nothing).
  Status EncryptRecord(uint32_t recno, std::span<std::byte> data) const;
  Status DecryptRecord(uint32_t recno, std::span<std::byte> data) const;
  // In place; data must be 16 bytes or more (memo runs are padded to that).
  Status EncryptMemo(uint32_t nonce, std::span<std::byte> data) const;
  Status DecryptMemo(uint32_t nonce, std::span<std::byte> data) const;
  Status EncryptPage(uint32_t page, std::span<std::byte> data) const;
  Status DecryptPage(uint32_t page, std::span<std::byte> data) const;

  // A random non-zero memo nonce.
  static uint32_t NewNonce();

 private:
  TableKey() = default;
  Status Apply(char domain, uint64_t unit, std::span<std::byte> data, bool encrypt) const;
  Status Memo(uint32_t nonce, std::span<std::byte> data, bool encrypt) const;

  KeyParams params_;
  std::array<uint8_t, 64> xts_key_{};
  std::array<uint8_t, 32> ctr_key_{};
};

// The smallest unit the XTS ciphers take, and the chunk size of memos.
inline constexpr size_t kMinXtsUnit = 16;
inline constexpr size_t kMemoChunk = 65536;

}  // namespace ace::crypt
