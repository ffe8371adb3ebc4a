// C API of table encryption: the password of a table handle, encrypting and decrypting whole
// tables and single records, and the questions about both. The key and the enciphering are the
// storage layer's (TableFile encryption, engine/storage/adt/adt_table_crypt.cpp); keys come
// from engine/crypt.
//
// The key is kept with the connection's open table file, which the connection's handles of the
// same table share: enabling encryption on one of them enables it on all of them, until one
// disables it or the last of them closes. Another connection, or another process, needs the
// password itself.
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/crypt/table_key.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

Status NotAdt(const cursor::Cursor& c) {
  return Status(kErrNotSupported,
                c.path() + ": only ADT tables can be encrypted (the DBF header has no room for "
                           "the key's salt and verifier, and other programs that read DBF "
                           "files would take cipher bytes for data)");
}

Status NeedEnabled(const cursor::Cursor& c) {
  return Status(kErrEncryption,
                c.path() + ": encryption is not enabled; call AdsEnableEncryption with the "
                           "table's password first");
}

template <typename Fn>
UNSIGNED32 OnCursor(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    return fn(table.value()->cursor());
  });
}

// Writes the handle's pending changes (enciphered when the table is encrypted).
Status WritePending(cursor::Cursor& c) {
  if (c.dirty()) return c.WriteRecord();
  return Status::Ok();
}

Status NeedWholeTable(cursor::Cursor& c, const char* what) {
  if (c.file().type() != storage::TableType::kAdt) return NotAdt(c);
  if (!c.file().has_key()) return NeedEnabled(c);
  if (c.read_only()) return Status(kErrTableReadOnly, c.path() + ": the table is open read-only");
  if (!c.exclusive())
    return Status(kErrExclusiveRequired,
                  c.path() + ": " + what + " needs the table opened exclusively");
  return Status::Ok();
}

// Makes the table encrypted under the handle's key when it is not yet.
Status EnsureTablePassword(cursor::Cursor& c) {
  if (c.file().encrypted()) return Status::Ok();
  if (!c.exclusive())
    return Status(kErrExclusiveRequired,
                  c.path() + ": the first encrypted record gives the table its password, which "
                             "needs the table opened exclusively");
  std::shared_ptr<const crypt::TableKey> key = c.file().key();
  return c.file().SetKeyParams(&key->params());
}

Status EncodeWholeTable(cursor::Cursor& c, bool encrypt) {
  ACE_RETURN_IF_ERROR(NeedWholeTable(c, encrypt ? "encrypting it" : "decrypting it"));
  ACE_RETURN_IF_ERROR(WritePending(c));
  ACE_RETURN_IF_ERROR(c.file().RefreshHeader());
  if (encrypt) ACE_RETURN_IF_ERROR(EnsureTablePassword(c));
  const uint32_t count = c.file().record_count();
  for (uint32_t r = 1; r <= count; ++r) ACE_RETURN_IF_ERROR(c.file().EncodeRecord(r, encrypt));
  // Every record is plain now: the table gives up its password.
  if (!encrypt) ACE_RETURN_IF_ERROR(c.file().SetKeyParams(nullptr));
  ACE_RETURN_IF_ERROR(c.file().Flush());
  // The open index files are built anew, encrypted with the table or plain again; they are
  // rebuilt beside themselves and swapped in, so they are whole in one form at every moment.
  ProgressMute not_a_progress_operation;
  return c.Reindex();
}

// The current record in the given form; in shared use under its record lock.
Status EncodeCurrent(cursor::Cursor& c, bool encrypt) {
  if (c.file().type() != storage::TableType::kAdt) return NotAdt(c);
  if (!c.file().has_key()) return NeedEnabled(c);
  if (c.read_only()) return Status(kErrTableReadOnly, c.path() + ": the table is open read-only");
  ACE_RETURN_IF_ERROR(WritePending(c));
  const uint32_t recno = c.recno();
  if (recno == 0) return Status(kErrNoCurrentRecord, c.path() + ": there is no current record");
  if (encrypt) ACE_RETURN_IF_ERROR(EnsureTablePassword(c));
  const bool take_lock = !c.locks().HoldsRecord(recno) && !c.locks().holds_table();
  if (take_lock) ACE_RETURN_IF_ERROR(c.locks().LockRecord(recno));
  Status s = c.file().EncodeRecord(recno, encrypt);
  if (take_lock) {
    Status u = c.locks().UnlockRecord(recno);
    if (s.ok()) s = u;
  }
  return s;
}

UNSIGNED32 AnswerFlag(ADSHANDLE h, UNSIGNED16* flag, const char* name,
                      Result<bool> (*ask)(cursor::Cursor&)) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(flag, name));
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    auto answer = ask(table.value()->cursor());
    if (!answer.ok()) return answer.status();
    *flag = answer.value() ? 1 : 0;
    return Status::Ok();
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, const UNSIGNED8* pucPassword) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = InText(pucPassword, "pucPassword");
    if (!text.ok()) return text.status();
    std::string_view password(text.value().data(),
                              strnlen(text.value().data(), crypt::kMaxPasswordLength + 1));
    if (c.file().type() != storage::TableType::kAdt) return NotAdt(c);
    const crypt::KeyParams* params = c.file().key_params();
    auto key = params != nullptr ? crypt::TableKey::Derive(password, *params)
                                 : crypt::TableKey::Create(password, nullptr);
    if (!key.ok()) return key.status().WithContext(c.path());
    ACE_RETURN_IF_ERROR(c.file().SetKey(std::move(key.value())));
    // A handle that could not read its records for want of the key (its open, a move) stands
    // on no record: it goes to the first one now.
    if (!c.has_record()) ACE_RETURN_IF_ERROR(c.GotoTop());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable) {
  return OnCursor(hTable, [&](cursor::Cursor& c) -> Status {
    if (!c.file().has_key()) return Status::Ok();
    ACE_RETURN_IF_ERROR(WritePending(c));
    return c.file().SetKey(nullptr);
  });
}

ACE_API UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled) {
  return AnswerFlag(hTable, pbEnabled, "pbEnabled",
                    [](cursor::Cursor& c) -> Result<bool> { return c.file().has_key(); });
}

ACE_API UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  return AnswerFlag(hTable, pbEncrypted, "pbEncrypted",
                    [](cursor::Cursor& c) -> Result<bool> { return c.file().encrypted(); });
}

ACE_API UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  return AnswerFlag(hTable, pbEncrypted, "pbEncrypted", [](cursor::Cursor& c) -> Result<bool> {
    if (c.recno() == 0)
      return Status(kErrNoCurrentRecord, c.path() + ": there is no current record");
    return c.file().IsRecordEncrypted(c.recno());
  });
}

ACE_API UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return EncodeWholeTable(c, true); });
}

ACE_API UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return EncodeWholeTable(c, false); });
}

ACE_API UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return EncodeCurrent(c, true); });
}

ACE_API UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable) {
  return OnCursor(hTable, [](cursor::Cursor& c) { return EncodeCurrent(c, false); });
}

}  // extern "C"
