// The crash harness (see crash_harness.h).
#include "tests/reliability/common/crash_harness.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <mutex>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace reliability {

using ace::FaultInjector;

std::vector<uint64_t> KillPoints(uint64_t changes, uint64_t budget) {
  std::vector<uint64_t> points;
  if (changes <= budget || budget < 13) {
    for (uint64_t k = 1; k <= changes; ++k) points.push_back(k);
    return points;
  }
  const uint64_t tail = 12;
  const uint64_t spread = budget - tail;
  const uint64_t body = changes - tail;
  for (uint64_t i = 0; i < spread; ++i) points.push_back(1 + i * body / spread);
  for (uint64_t k = body + 1; k <= changes; ++k) points.push_back(k);
  return points;
}

namespace {

std::string Describe(uint64_t point, const std::string& what) {
  return "kill before change " + std::to_string(point) + ": " + what;
}

}  // namespace

CrashFigures CrashSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget) {
  CrashFigures fig;
  const Content before = ReadContent(prepared + "/" + table, type);
  if (!before.ok) {
    fig.failures.push_back("the prepared table does not read: " + before.error);
    return fig;
  }
  // One complete run tells the number of changing operations and the content of after.
  TempDir done;
  CopyFolder(prepared, done.path());
  FaultInjector::Reset();
  UNSIGNED32 rc = operation(done.path());
  fig.changes = FaultInjector::ChangeCount();
  FaultInjector::Reset();
  if (rc != 0) {
    fig.failures.push_back("the operation fails without a kill: " + LastError());
    return fig;
  }
  const Content after = ReadContent(done.path() + "/" + table, type);
  const std::vector<std::string> files_after = FilesIn(done.path());
  if (!after.ok || after.digest == before.digest) {
    fig.failures.push_back("the operation changed nothing readable: " + after.error);
    return fig;
  }

  TempDir work;
  for (uint64_t point : KillPoints(fig.changes, budget)) {
    ++fig.points;
    CopyFolder(prepared, work.path());
    ChildResult child = RunInChild([&] {
      FaultInjector::Reset();
      FaultInjector::KillAt(point);
      return operation(work.path()) == 0 ? 0 : 1;
    });
    if (child.killed) ++fig.killed;
    const std::string path = work.path() + "/" + table;
    std::string problem = CheckTable(path, type);
    Content now = problem.empty() ? ReadContent(path, type) : Content{};
    if (problem.empty() && !now.ok) problem = now.error;
    if (problem.empty() && now.digest != before.digest && now.digest != after.digest) {
      problem = "the table holds neither the content of before nor of after (" +
                std::to_string(now.records) + " records, " + std::to_string(now.fields) +
                " fields)";
    }
    if (problem.empty() && now.digest == before.digest) {
      ++fig.as_before;
      if (operation(work.path()) != 0) {
        problem = "the operation fails when run again: " + LastError();
      } else {
        Content again = ReadContent(path, type);
        if (!again.ok || again.digest != after.digest) problem = "a second run gives other content";
      }
    } else if (problem.empty()) {
      ++fig.as_after;
      // A kill after the moment of change may leave the old files aside; the next open that
      // may write puts things in order.
      if (OpenAndClose(work.path(), table, type) != 0) {
        problem = "the table does not open for writing: " + LastError();
      } else if (FilesIn(work.path()) != files_after) {
        std::string names;
        for (const auto& n : FilesIn(work.path())) names += " " + n;
        problem = "stray files after the next open:" + names;
      }
    }
    if (problem.empty() && now.digest == before.digest && FilesIn(work.path()) != files_after) {
      std::string names;
      for (const auto& n : FilesIn(work.path())) names += " " + n;
      problem = "stray files after the second run:" + names;
    }
    if (!problem.empty()) {
      ++fig.lost;
      fig.failures.push_back(Describe(point, problem));
    }
  }
  return fig;
}

namespace {

const char* KindName(ace::IoKind kind) {
  static const char* const names[] = {"read", "write", "flush", "rename", "allocation", "delete"};
  return names[static_cast<size_t>(kind)];
}

}  // namespace

FaultFigures FaultSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget) {
  using ace::IoKind;
  FaultFigures fig;
  const Content before = ReadContent(prepared + "/" + table, type);
  const std::vector<std::string> files_before = FilesIn(prepared);
  TempDir done;
  CopyFolder(prepared, done.path());
  FaultInjector::Reset();
  if (operation(done.path()) != 0) {
    FaultInjector::Reset();
    fig.failures.push_back("the operation fails without a fault: " + LastError());
    return fig;
  }
  std::array<uint64_t, ace::kIoKinds> counts{};
  for (size_t k = 0; k < ace::kIoKinds; ++k) counts[k] = FaultInjector::Count(IoKind(k));
  FaultInjector::Reset();
  const Content after = ReadContent(done.path() + "/" + table, type);

  TempDir work;
  for (size_t k = 0; k < ace::kIoKinds; ++k) {
    const IoKind kind = static_cast<IoKind>(k);
    for (uint64_t n : KillPoints(counts[k], budget)) {
      ++fig.injected;
      CopyFolder(prepared, work.path());
      FaultInjector::Reset();
      FaultInjector::FailAt(kind, n, k == 1 ? ace::kErrDiskFull : ace::kErrIo);
      UNSIGNED32 rc = operation(work.path());
      const std::string error = rc != 0 ? LastError() : std::string();
      FaultInjector::Reset();
      const std::string where = std::string("fault at ") + KindName(kind) + " " +
                                std::to_string(n) + " of " + std::to_string(counts[k]) + ": ";
      const std::string path = work.path() + "/" + table;
      std::string problem = CheckTable(path, type);
      Content now = problem.empty() ? ReadContent(path, type) : Content{};
      if (problem.empty() && !now.ok) problem = now.error;
      if (problem.empty() && rc != 0) {
        ++fig.reported;
        if (error.find("injected fault") == std::string::npos) {
          problem = "the error does not name its cause: " + error;
        } else if (now.digest == after.digest) {
          // The change was made and a later step (reading the new files back) failed: the
          // table is whole in its new form and the caller was told of the failure.
          ++fig.late;
        } else if (now.live_digest != before.live_digest) {
          // (A statement that is taken back leaves the records it had appended as blank
          // deleted ones, so only the records that are not deleted must be as before.)
          problem = "a failed run left the table half changed (" + error + ")";
        } else if (FilesIn(work.path()) != files_before) {
          std::string names;
          for (const auto& f : FilesIn(work.path())) names += " " + f;
          problem = "a failed run left files behind:" + names;
        }
      } else if (problem.empty()) {
        ++fig.absorbed;
        if (now.digest != after.digest) problem = "a run that answered success did not finish";
      }
      if (!problem.empty()) {
        ++fig.lost;
        fig.failures.push_back(where + problem);
      }
    }
  }
  return fig;
}

void RecordFaultFigures(const std::string& label, const FaultFigures& f) {
  std::printf(
      "[reliability] %s: %llu faults injected, %llu reported (%llu after the change), %llu "
      "absorbed, %llu lost\n",
      label.c_str(), static_cast<unsigned long long>(f.injected),
      static_cast<unsigned long long>(f.reported), static_cast<unsigned long long>(f.late),
      static_cast<unsigned long long>(f.absorbed), static_cast<unsigned long long>(f.lost));
}

namespace {

struct Totals {
  std::mutex lock;
  uint64_t points = 0, killed = 0, lost = 0, operations = 0;
  ~Totals() {
    if (operations == 0) return;
    std::printf("[reliability] crash: %llu operations, %llu kill points, %llu killed, %llu lost\n",
                static_cast<unsigned long long>(operations),
                static_cast<unsigned long long>(points), static_cast<unsigned long long>(killed),
                static_cast<unsigned long long>(lost));
  }
};

Totals& TheTotals() {
  static Totals totals;
  return totals;
}

}  // namespace

void RecordFigures(const std::string& label, const CrashFigures& f) {
  Totals& t = TheTotals();
  std::lock_guard<std::mutex> hold(t.lock);
  ++t.operations;
  t.points += f.points;
  t.killed += f.killed;
  t.lost += f.lost;
  std::printf(
      "[reliability] %s: %llu changes, %llu kill points, %llu killed, %llu as before, "
      "%llu as after, %llu lost\n",
      label.c_str(), static_cast<unsigned long long>(f.changes),
      static_cast<unsigned long long>(f.points), static_cast<unsigned long long>(f.killed),
      static_cast<unsigned long long>(f.as_before), static_cast<unsigned long long>(f.as_after),
      static_cast<unsigned long long>(f.lost));
}

}  // namespace reliability
