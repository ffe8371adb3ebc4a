// Encrypting and decrypting a whole table, killed (SIGKILL) before every one (or, on large
// tables, a spread of) its changing file operations: after each kill every record and every
// memo must read with the password exactly as before, and a second run must complete the work
// (no field data left plain after encrypting, none left enciphered after decrypting).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/base/file.h"
#include "tests/reliability/common/crash_harness.h"

namespace reliability {
namespace {

using ace::FaultInjector;

const char kPassword[] = "Sicher-und-geheim";

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs AdsEncryptTable or AdsDecryptTable on dir's Kinder; answers the engine's result.
UNSIGNED32 Convert(const std::string& dir, bool encrypt) {
  ADSHANDLE conn = 0;
  UNSIGNED32 rc = AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn);
  if (rc != 0) return rc;
  ADSHANDLE table = 0;
  rc = AdsOpenTable90(conn, U("Kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                      ADS_IGNORE_RIGHTS, ADS_EXCLUSIVE, nullptr, &table);
  if (rc == 0) rc = AdsEnableEncryption(table, U(kPassword));
  if (rc == 0) rc = encrypt ? AdsEncryptTable(table) : AdsDecryptTable(table);
  UNSIGNED32 closed = AdsDisconnect(conn);
  return rc != 0 ? rc : closed;
}

// Every record (deleted ones too) field by field, memos by content, read with the password;
// "" with the reason in *error when something does not read.
std::string Snapshot(const std::string& dir, std::string* error) {
  ADSHANDLE conn = 0;
  if (AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) != 0) {
    *error = "connect: " + LastError();
    return "";
  }
  std::ostringstream out;
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsOpenTable90(conn, U("Kinder"), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, 0, nullptr, &t);
  UNSIGNED16 encrypted = 0;
  if (rc == 0) rc = AdsIsTableEncrypted(t, &encrypted);
  if (rc == 0 && encrypted) rc = AdsEnableEncryption(t, U(kPassword));
  UNSIGNED32 count = 0;
  UNSIGNED16 fields = 0;
  if (rc == 0) rc = AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count);
  if (rc == 0) rc = AdsGetNumFields(t, &fields);
  for (UNSIGNED32 r = 1; rc == 0 && r <= count; ++r) {
    rc = AdsGotoRecord(t, r);
    UNSIGNED16 deleted = 0;
    if (rc == 0) rc = AdsIsRecordDeleted(t, &deleted);
    out << r << (deleted ? "*" : " ");
    for (UNSIGNED16 f = 1; rc == 0 && f <= fields; ++f) {
      std::string value(4096, '\0');
      UNSIGNED32 len = static_cast<UNSIGNED32>(value.size());
      rc = AdsGetField(t, ADSFIELD(f), reinterpret_cast<UNSIGNED8*>(value.data()), &len, ADS_NONE);
      value.resize(len);
      out << '|' << value;
    }
    out << '\n';
  }
  if (rc != 0) *error = LastError();
  AdsDisconnect(conn);
  return rc == 0 ? out.str() : "";
}

class EncryptionCrashTest : public ::testing::Test {
 protected:
  // Every kill point derives the key three times: fewer points than the other sweeps by default.
  static uint32_t Rows() { return static_cast<uint32_t>(EnvNumber("RELIABILITY_ROWS", 60)); }
  static uint64_t Budget() { return EnvNumber("RELIABILITY_KILL_POINTS", 60) / 2; }

  // Kills `operation` before each of its changing file operations (a spread of them) on a
  // copy of `prepared`; after each kill the content must read as `expected`, and running the
  // operation again must leave the files in the final form that `finished` checks.
  void Sweep(const std::string& prepared, bool encrypt, const std::string& expected,
             const std::function<std::string(const std::string& dir)>& finished) {
    TempDir done;
    CopyFolder(prepared, done.path());
    FaultInjector::Reset();
    ASSERT_EQ(0u, Convert(done.path(), encrypt)) << LastError();
    const uint64_t changes = FaultInjector::ChangeCount();
    FaultInjector::Reset();
    ASSERT_EQ("", finished(done.path()));
    ASSERT_GT(changes, Rows() / 2) << "the conversion wrote fewer changes than records";

    TempDir work;
    uint64_t points = 0, killed = 0, failures = 0;
    for (uint64_t point : KillPoints(changes, Budget())) {
      ++points;
      CopyFolder(prepared, work.path());
      ChildResult child = RunInChild([&] {
        FaultInjector::Reset();
        FaultInjector::KillAt(point);
        return Convert(work.path(), encrypt) == 0 ? 0 : 1;
      });
      if (child.killed) ++killed;
      std::string error;
      const std::string now = Snapshot(work.path(), &error);
      std::string problem;
      if (!error.empty()) {
        problem = "the table does not read: " + error;
      } else if (now != expected) {
        problem = "the table reads other content";
      } else if (Convert(work.path(), encrypt) != 0) {
        problem = "a second run fails: " + LastError();
      } else {
        problem = finished(work.path());
        if (problem.empty() && Snapshot(work.path(), &error) != expected)
          problem = "the second run changed the content " + error;
      }
      if (!problem.empty() && ++failures <= 5)
        ADD_FAILURE() << "kill before change " << point << ": " << problem;
    }
    EXPECT_EQ(0u, failures);
    EXPECT_EQ(points, killed) << "every kill point lies inside the run";
    EXPECT_GE(points, std::min<uint64_t>(Budget(), changes));
  }

  TempDir prepared_;
};

// No name and no memo text of the table is left in the files.
std::string NoPlainData(const std::string& dir) {
  const std::string data = Bytes(dir + "/Kinder.adt");
  const std::string memo = Bytes(dir + "/Kinder.adm");
  if (data.find("Kind ") != std::string::npos) return "a name is still plain in Kinder.adt";
  if (memo.find("Eintrag") != std::string::npos) return "a memo is still plain in Kinder.adm";
  return "";
}

std::string AllPlain(const std::string& dir) {
  if (Bytes(dir + "/Kinder.adt").find("Kind 1") == std::string::npos)
    return "the names are not plain in Kinder.adt";
  if (Bytes(dir + "/Kinder.adm").find("Eintrag") == std::string::npos)
    return "the memos are not plain in Kinder.adm";
  return "";
}

TEST_F(EncryptionCrashTest, AKilledEncryptTableLeavesEveryRecordReadableAndARunAgainFinishes) {
  CreateKinder(prepared_.path(), TableType::kAdt, Rows());
  ASSERT_FALSE(HasFailure());
  std::string error;
  const std::string expected = Snapshot(prepared_.path(), &error);
  ASSERT_EQ("", error);
  ASSERT_EQ("", AllPlain(prepared_.path()));
  Sweep(prepared_.path(), true, expected, NoPlainData);
}

TEST_F(EncryptionCrashTest, AKilledDecryptTableLeavesEveryRecordReadableAndARunAgainFinishes) {
  CreateKinder(prepared_.path(), TableType::kAdt, Rows());
  ASSERT_FALSE(HasFailure());
  std::string error;
  const std::string expected = Snapshot(prepared_.path(), &error);
  ASSERT_EQ(0u, Convert(prepared_.path(), true)) << LastError();
  ASSERT_EQ("", NoPlainData(prepared_.path()));
  ASSERT_EQ(expected, Snapshot(prepared_.path(), &error)) << error;
  Sweep(prepared_.path(), false, expected, AllPlain);
}

}  // namespace
}  // namespace reliability
