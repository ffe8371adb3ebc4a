// Key derivation and the AES ciphers of encrypted tables (see table_key.h).
#include "engine/crypt/table_key.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "engine/base/error_codes.h"

namespace ace::crypt {

namespace {

constexpr size_t kDerivedSize = 128;

Status CheckPassword(std::string_view password) {
  if (password.empty()) return Status(kErrEncryption, "the password is empty");
  if (password.size() > kMaxPasswordLength)
    return Status(kErrEncryption, "the password is longer than " +
                                      std::to_string(kMaxPasswordLength) + " bytes");
  return Status::Ok();
}

// SHA-256 of a label and the master key: one 32-byte part of the derived key.
void Part(const char* label, const std::array<uint8_t, 32>& master, uint8_t* out) {
  std::array<uint8_t, 48> in{};
  const size_t n = std::strlen(label);
  std::memcpy(in.data(), label, n);
  std::memcpy(in.data() + n, master.data(), master.size());
  SHA256(in.data(), n + master.size(), out);
  OPENSSL_cleanse(in.data(), in.size());
}

Status DeriveBytes(std::string_view password, const KeyParams& params,
                   std::array<uint8_t, kDerivedSize>* out) {
  if (params.iterations < kMinIterations || params.iterations > kMaxIterations)
    return Status(kErrEncryption, "the table's key parameters are invalid (" +
                                      std::to_string(params.iterations) + " iterations)");
  std::array<uint8_t, 32> master{};
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), params.salt.data(),
                        static_cast<int>(params.salt.size()),
                        static_cast<int>(params.iterations), EVP_sha256(),
                        static_cast<int>(master.size()), master.data()) != 1)
    return Status(kErrEncryption, "the key could not be derived from the password");
  Part("vsk-xts-1", master, out->data());
  Part("vsk-xts-2", master, out->data() + 32);
  Part("vsk-ctr", master, out->data() + 64);
  Part("vsk-verify", master, out->data() + 96);
  OPENSSL_cleanse(master.data(), master.size());
  return Status::Ok();
}

std::array<uint8_t, kVerifierSize> VerifierOf(const std::array<uint8_t, kDerivedSize>& derived) {
  std::array<uint8_t, kVerifierSize> v{};
  SHA256(derived.data() + 96, 32, v.data());
  return v;
}

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

}  // namespace

TableKey::~TableKey() {
  OPENSSL_cleanse(xts_key_.data(), xts_key_.size());
  OPENSSL_cleanse(ctr_key_.data(), ctr_key_.size());
}

Result<std::shared_ptr<const TableKey>> TableKey::Create(std::string_view password,
                                                         KeyParams* params) {
  ACE_RETURN_IF_ERROR(CheckPassword(password));
  KeyParams p;
  if (RAND_bytes(p.salt.data(), static_cast<int>(p.salt.size())) != 1)
    return Status(kErrEncryption, "no random salt could be made");
  std::array<uint8_t, kDerivedSize> derived{};
  ACE_RETURN_IF_ERROR(DeriveBytes(password, p, &derived));
  p.verifier = VerifierOf(derived);
  std::shared_ptr<TableKey> key(new TableKey());
  std::memcpy(key->xts_key_.data(), derived.data(), 64);
  std::memcpy(key->ctr_key_.data(), derived.data() + 64, 32);
  OPENSSL_cleanse(derived.data(), derived.size());
  key->params_ = p;
  if (params != nullptr) *params = p;
  return std::shared_ptr<const TableKey>(std::move(key));
}

Result<std::shared_ptr<const TableKey>> TableKey::Derive(std::string_view password,
                                                         const KeyParams& params) {
  ACE_RETURN_IF_ERROR(CheckPassword(password));
  std::array<uint8_t, kDerivedSize> derived{};
  ACE_RETURN_IF_ERROR(DeriveBytes(password, params, &derived));
  std::array<uint8_t, kVerifierSize> v = VerifierOf(derived);
  if (CRYPTO_memcmp(v.data(), params.verifier.data(), v.size()) != 0) {
    OPENSSL_cleanse(derived.data(), derived.size());
    return Status(kErrEncryption, "the password is not the table's password");
  }
  std::shared_ptr<TableKey> key(new TableKey());
  std::memcpy(key->xts_key_.data(), derived.data(), 64);
  std::memcpy(key->ctr_key_.data(), derived.data() + 64, 32);
  OPENSSL_cleanse(derived.data(), derived.size());
  key->params_ = params;
  return std::shared_ptr<const TableKey>(std::move(key));
}

uint32_t TableKey::NewNonce() {
  uint32_t n = 0;
  while (n == 0) {
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&n), sizeof n) != 1) {
      // Without the random source, a counter still keeps nonces of one process apart.
      static std::atomic<uint32_t> fallback{0x9E3779B9u};
      n = fallback.fetch_add(0x61C88647u);
    }
  }
  return n;
}

Status TableKey::Apply(char domain, uint64_t unit, std::span<std::byte> data, bool encrypt) const {
  if (data.empty()) return Status::Ok();
  unsigned char tweak[16] = {};
  tweak[0] = static_cast<unsigned char>(domain);
  for (int i = 0; i < 8; ++i) tweak[4 + i] = static_cast<unsigned char>(unit >> (8 * i));
  const bool xts = data.size() >= kMinXtsUnit;
  if (!xts && domain != 'R')
    return Status(kErrInternal, "a unit of " + std::to_string(data.size()) +
                                    " bytes is too short for the cipher");
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return Status(kErrOutOfMemory, "no cipher context");
  const EVP_CIPHER* cipher = xts ? EVP_aes_256_xts() : EVP_aes_256_ctr();
  const unsigned char* key = xts ? xts_key_.data() : ctr_key_.data();
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, tweak, encrypt ? 1 : 0) != 1)
    return Status(kErrEncryption, "the cipher could not be set up");
  std::string out(data.size() + 32, '\0');
  int n = 0, tail = 0;
  auto* in = reinterpret_cast<const unsigned char*>(data.data());
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_CipherUpdate(ctx.get(), o, &n, in, static_cast<int>(data.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), o + n, &tail) != 1 ||
      static_cast<size_t>(n + tail) != data.size())
    return Status(kErrEncryption, encrypt ? "enciphering failed" : "deciphering failed");
  std::memcpy(data.data(), out.data(), data.size());
  OPENSSL_cleanse(out.data(), out.size());
  return Status::Ok();
}

Status TableKey::EncryptRecord(uint32_t recno, std::span<std::byte> data) const {
  return Apply('R', recno, data, true);
}
Status TableKey::DecryptRecord(uint32_t recno, std::span<std::byte> data) const {
  return Apply('R', recno, data, false);
}
// Memos go in chunks of kMemoChunk bytes (XTS limits the length of one unit), the last one
// taking a remainder shorter than one block; chunk i of a memo has the unit nonce * 2^32 + i.
Status TableKey::Memo(uint32_t nonce, std::span<std::byte> data, bool encrypt) const {
  if (data.size() < kMinXtsUnit)
    return Status(kErrInternal, "a memo unit of " + std::to_string(data.size()) +
                                    " bytes is too short for the cipher");
  size_t at = 0;
  for (uint64_t chunk = 0; at < data.size(); ++chunk) {
    size_t n = std::min(kMemoChunk, data.size() - at);
    if (data.size() - at - n < kMinXtsUnit) n = data.size() - at;
    ACE_RETURN_IF_ERROR(
        Apply('M', (uint64_t{nonce} << 32) | chunk, data.subspan(at, n), encrypt));
    at += n;
  }
  return Status::Ok();
}
Status TableKey::EncryptMemo(uint32_t nonce, std::span<std::byte> data) const {
  return Memo(nonce, data, true);
}
Status TableKey::DecryptMemo(uint32_t nonce, std::span<std::byte> data) const {
  return Memo(nonce, data, false);
}
Status TableKey::EncryptPage(uint32_t page, std::span<std::byte> data) const {
  return Apply('I', page, data, true);
}
Status TableKey::DecryptPage(uint32_t page, std::span<std::byte> data) const {
  return Apply('I', page, data, false);
}

}  // namespace ace::crypt
