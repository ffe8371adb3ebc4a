// The engine boundary: error table, last error per thread, out-buffer convention, handle kinds.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ace.h"
#include "engine/base/error_codes.h"
#include "engine/base/handle_table.h"
#include "engine/base/last_error.h"

namespace {

std::string LastErrorText(UNSIGNED32* code) {
  UNSIGNED8 buf[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof buf;
  EXPECT_EQ(AdsGetLastError(code, buf, &len), 0u);
  return std::string(reinterpret_cast<char*>(buf), len);
}

TEST(ErrorTable, EveryCodeHasNameAndTextAndCodesAreUnique) {
  const auto& all = ace::AllErrors();
  ASSERT_GT(all.size(), 30u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_FALSE(all[i].name.empty()) << all[i].code;
    EXPECT_FALSE(all[i].text.empty()) << all[i].code;
    if (i > 0) {
      EXPECT_LT(all[i - 1].code, all[i].code) << "duplicate or unsorted code";
    }
  }
  for (uint32_t code : {5005u, 5022u, 5035u, 5062u, 5068u, 5087u, 5106u, 5117u, 5132u, 7200u, 7209u}) {
    EXPECT_NE(ace::FindError(code), nullptr) << code;
  }
  EXPECT_EQ(ace::FindError(4242), nullptr);
  EXPECT_EQ(std::string(ace::ErrorText(4242)), "Unknown error code 4242.");
}

TEST(LastError, SetLastErrorAnswersItsCodeAndKeepsTheTextVerbatim) {
  const char* text = "Update permission not granted on this field: Name.";
  EXPECT_EQ(AdsSetLastError(5054, reinterpret_cast<const UNSIGNED8*>(text)), 5054u);
  UNSIGNED32 code = 0;
  EXPECT_EQ(LastErrorText(&code), text);
  EXPECT_EQ(code, 5054u);
}

TEST(LastError, IsPerThread) {
  AdsSetLastError(5035, reinterpret_cast<const UNSIGNED8*>("main thread"));
  UNSIGNED32 other_code = 99;
  std::string other_text = "unset";
  std::thread([&] { other_text = LastErrorText(&other_code); }).join();
  EXPECT_EQ(other_code, 0u);
  EXPECT_EQ(other_text, "");
  UNSIGNED32 code = 0;
  EXPECT_EQ(LastErrorText(&code), "main thread");
  EXPECT_EQ(code, 5035u);
}

TEST(LastError, ShortBufferAnswers5005WithTheNeededLengthAndKeepsTheError) {
  AdsSetLastError(5068, reinterpret_cast<const UNSIGNED8*>("0123456789"));
  UNSIGNED8 buf[8];
  std::memset(buf, 'x', sizeof buf);
  UNSIGNED16 len = 4;
  UNSIGNED32 code = 0;
  EXPECT_EQ(AdsGetLastError(&code, buf, &len), 5005u);
  EXPECT_EQ(len, 10u);
  for (unsigned char c : buf) EXPECT_EQ(c, 'x') << "wrote into a buffer that was too small";
  // The last error is still the one before.
  EXPECT_EQ(LastErrorText(&code), "0123456789");
  EXPECT_EQ(code, 5068u);
}

TEST(LastError, ComposedTextNamesCodeAndContextAndSqlErrorsKeepTheirForm) {
  EXPECT_EQ(ace::ComposeErrorText(ace::Status(5010, "/d/Kinder.adt")),
            "Error 5010: The file was not found: /d/Kinder.adt");
  EXPECT_EQ(ace::ComposeErrorText(ace::Status(5068, "")), "Error 5068: There is no current record.");
  EXPECT_EQ(ace::ComposeErrorText(ace::Status(7200, "SQL error: State = 42000; NativeError = 2115; x")),
            "Error 7200: SQL error: State = 42000; NativeError = 2115; x");
}

TEST(ErrorString, ExactFitAndOneShort) {
  std::string expected(ace::ErrorText(5035));
  std::string buf(expected.size() + 1, '\0');
  UNSIGNED16 len = static_cast<UNSIGNED16>(buf.size());
  ASSERT_EQ(AdsGetErrorString(5035, reinterpret_cast<UNSIGNED8*>(buf.data()), &len), 0u);
  EXPECT_EQ(len, expected.size());
  EXPECT_EQ(std::string(buf.c_str()), expected);
  len = static_cast<UNSIGNED16>(expected.size());  // no room for the zero byte
  EXPECT_EQ(AdsGetErrorString(5035, reinterpret_cast<UNSIGNED8*>(buf.data()), &len), 5005u);
  EXPECT_EQ(len, expected.size());
  EXPECT_EQ(AdsGetErrorString(5035, reinterpret_cast<UNSIGNED8*>(buf.data()), nullptr), 5004u);
}

TEST(Version, AnswersNumbersAndOptionalDescription) {
  UNSIGNED32 major = 0, minor = 99;
  UNSIGNED8 letter = 0;
  UNSIGNED16 len = 0;
  EXPECT_EQ(AdsGetVersion(&major, &minor, &letter, nullptr, &len), 0u);
  EXPECT_GE(major, 1u);
  EXPECT_LT(minor, 100u);
  EXPECT_EQ(letter, ' ');
  UNSIGNED8 desc[255];
  len = sizeof desc;
  EXPECT_EQ(AdsGetVersion(nullptr, nullptr, nullptr, desc, &len), 0u);
  EXPECT_GT(len, 0u);
}

// A success carries no text; a failure's text survives copies, assignments and moves, and
// a copy is its own.
TEST(StatusTest, FailuresKeepTheirTextThroughCopiesAndMoves) {
  ace::Status ok = ace::Status::Ok();
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(ok.message(), "");
  EXPECT_TRUE(ok.WithContext("Kinder.adt").ok());
  ace::Status failed(ace::kErrInvalidHandle, "handle 7 is not open");
  ace::Status copy = failed;
  EXPECT_EQ(copy.code(), ace::kErrInvalidHandle);
  EXPECT_EQ(copy.message(), "handle 7 is not open");
  copy = copy.WithContext("AdsSkip");
  EXPECT_EQ(copy.message(), "AdsSkip: handle 7 is not open");
  EXPECT_EQ(failed.message(), "handle 7 is not open") << "the copy is its own";
  ace::Status assigned;
  assigned = failed;
  assigned = assigned;  // NOLINT: assigning a status to itself keeps it
  EXPECT_EQ(assigned.message(), "handle 7 is not open");
  ace::Status moved = std::move(assigned);
  EXPECT_EQ(moved.code(), ace::kErrInvalidHandle);
  EXPECT_EQ(moved.message(), "handle 7 is not open");
  ace::Status silent(ace::kErrInternal, "");
  EXPECT_FALSE(silent.ok());
  EXPECT_EQ(silent.message(), "");
  EXPECT_EQ(silent.WithContext("x").message(), "x: ");
  ace::Result<int> r = failed;
  EXPECT_EQ(r.status().message(), "handle 7 is not open");
  ace::Result<int> v = 5;
  EXPECT_TRUE(v.ok());
  EXPECT_EQ(*v, 5);
}

class Probe : public ace::HandleObject {
 public:
  Probe() : HandleObject(ace::HandleKind::kStatement) {}
};

TEST(HandleTable, StaleZeroAndWrongKindHandlesAreErrors) {
  auto& table = ace::HandleTable::Instance();
  uint32_t h = table.Add(std::make_shared<Probe>());
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetHandleType(h, &type), 0u);
  EXPECT_EQ(type, ADS_STATEMENT);
  EXPECT_EQ(AdsGetHandleType(h, nullptr), 5004u);
  auto wrong = table.Get<Probe>(h, {ace::HandleKind::kConnection});
  EXPECT_EQ(wrong.status().code(), ace::kErrWrongHandleType);
  table.Remove(h);
  EXPECT_EQ(AdsGetHandleType(h, &type), ace::kErrInvalidHandle);
  EXPECT_EQ(AdsGetHandleType(0, &type), ace::kErrInvalidHandle);
  uint32_t h2 = table.Add(std::make_shared<Probe>());
  EXPECT_NE(h2, h) << "handles must not be reused";
  table.Remove(h2);
}

// An object that says when it is destroyed, and which one it is.
class Marked : public ace::HandleObject {
 public:
  Marked(int id, std::atomic<int>* destroyed, ace::HandleKind kind = ace::HandleKind::kTable)
      : HandleObject(kind), id_(id), destroyed_(destroyed) {}
  ~Marked() override { destroyed_->fetch_add(1); }
  int id() const { return id_; }

 private:
  int id_;
  std::atomic<int>* destroyed_;
};

int IdOf(uint32_t handle) {
  auto found = ace::HandleTable::Instance().Get<Marked>(
      handle, {ace::HandleKind::kTable, ace::HandleKind::kStatement});
  return found.ok() ? found.value()->id() : -1;
}

int PeekedId(uint32_t handle) {
  ace::HandleTable::CallScope call;
  auto* found = static_cast<Marked*>(ace::HandleTable::Instance().Peek(handle));
  return found != nullptr ? found->id() : -1;
}

// Each thread remembers the table handles it found last; what it remembers must never name
// the wrong object or keep a removed handle open, and holds a removed object no longer than
// until the thread's next look.
TEST(HandleTable, ThreadsMemoryOfRecentHandlesNeverOutlivesTheirRemoval) {
  auto& table = ace::HandleTable::Instance();
  std::atomic<int> destroyed{0};
  // More handles than a thread remembers, asked for in turn: each answers its own object.
  std::vector<uint32_t> handles;
  for (int i = 0; i < 7; ++i) handles.push_back(table.Add(std::make_shared<Marked>(i, &destroyed)));
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 7; ++i) EXPECT_EQ(IdOf(handles[i]), i);
    for (int i = 6; i >= 0; --i) EXPECT_EQ(PeekedId(handles[i]), i);
  }
  // Found here, removed by another thread: gone here at the next look, which also lets the
  // object go.
  EXPECT_EQ(PeekedId(handles[2]), 2);
  std::thread([&] { table.Remove(handles[2]); }).join();
  EXPECT_EQ(table.Find(handles[2]).status().code(), ace::kErrInvalidHandle);
  EXPECT_EQ(PeekedId(handles[2]), -1);
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(IdOf(handles[3]), 3) << "the other handles stay found";
  // Removed while something else still holds the object (an index of the table): the handle is
  // closed all the same.
  EXPECT_EQ(IdOf(handles[5]), 5);
  std::shared_ptr<ace::HandleObject> held = table.Find(handles[5]).value();
  std::thread([&] { table.Remove(handles[5]); }).join();
  EXPECT_EQ(table.Find(handles[5]).status().code(), ace::kErrInvalidHandle);
  EXPECT_EQ(PeekedId(handles[5]), -1);
  held.reset();
  EXPECT_EQ(destroyed.load(), 2);
  // Found by another thread that is still running, removed here: that thread's next look
  // lets it go.
  std::atomic<bool> looked{false}, release{false};
  std::thread holder([&] {
    EXPECT_EQ(PeekedId(handles[4]), 4);
    looked = true;
    while (!release) std::this_thread::yield();
    EXPECT_EQ(PeekedId(handles[4]), -1);
  });
  while (!looked) std::this_thread::yield();
  table.Remove(handles[4]);
  release = true;
  holder.join();
  EXPECT_EQ(destroyed.load(), 3);
  for (uint32_t h : handles) table.Remove(h);
  EXPECT_EQ(PeekedId(handles[0]), -1);  // this thread lets go of what it remembered
  EXPECT_EQ(destroyed.load(), 7);
}

// A thread-local whose destructor calls the engine after the thread's memory of handles is gone.
uint32_t g_late_handle = 0;
std::atomic<int> g_late_seen{0};
struct LateCaller {
  bool armed = false;
  ~LateCaller() {
    if (armed) g_late_seen = PeekedId(g_late_handle);
  }
};

TEST(HandleTable, CallsWhileAThreadWindsDownStillFindTheirObjects) {
  auto& table = ace::HandleTable::Instance();
  std::atomic<int> destroyed{0};
  g_late_handle = table.Add(std::make_shared<Marked>(8, &destroyed));
  std::thread([] {
    static thread_local LateCaller late;  // made before the thread's memory, so it goes after it
    late.armed = true;
    EXPECT_EQ(PeekedId(g_late_handle), 8);
  }).join();
  EXPECT_EQ(g_late_seen.load(), 8);
  table.Remove(g_late_handle);
}

// An object a call found stays whole until the call returns, even when its handle is removed
// meanwhile (by another thread, or by the call itself): remembered kinds and the others.
TEST(HandleTable, ObjectsFoundByACallStayWholeUntilItReturns) {
  auto& table = ace::HandleTable::Instance();
  for (ace::HandleKind kind : {ace::HandleKind::kTable, ace::HandleKind::kStatement}) {
    std::atomic<int> destroyed{0};
    const uint32_t h = table.Add(std::make_shared<Marked>(1, &destroyed, kind));
    const uint32_t other = table.Add(std::make_shared<Marked>(2, &destroyed, kind));
    {
      ace::HandleTable::CallScope call;
      auto* found = static_cast<Marked*>(table.Peek(h));
      ASSERT_NE(found, nullptr);
      std::thread([&] { table.Remove(h); }).join();
      {
        ace::HandleTable::CallScope nested;  // a call within the call looks up other handles
        for (int i = 0; i < 10; ++i) EXPECT_EQ(PeekedId(other), 2);
        EXPECT_EQ(table.Peek(h), nullptr);
      }
      EXPECT_EQ(destroyed.load(), 0) << "still in use by the call";
      EXPECT_EQ(found->id(), 1);
      table.Remove(other);  // the call closes the other handle itself
      EXPECT_EQ(destroyed.load(), 0);
    }
    EXPECT_EQ(PeekedId(h), -1);  // the next call lets go of whatever this thread still held
    EXPECT_EQ(destroyed.load(), 2);
  }
  // AdsThreadExit lets go of what the thread remembers.
  std::atomic<int> destroyed{0};
  const uint32_t h = table.Add(std::make_shared<Marked>(3, &destroyed));
  EXPECT_EQ(PeekedId(h), 3);
  std::thread([&] { table.Remove(h); }).join();
  EXPECT_EQ(destroyed.load(), 0);
  EXPECT_EQ(AdsThreadExit(), 0u);
  EXPECT_EQ(destroyed.load(), 1);
}

}  // namespace
