// The crash harness (see crash_harness.h).
#include "tests/reliability/common/crash_harness.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <mutex>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "tests/reliability/common/index_check.h"

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

// The kill point a windowed operation arms when it calls BeginKillWindow.
bool g_windowed = false;
uint64_t g_window_point = 0;

std::string Names(const std::vector<std::string>& files) {
  std::string names;
  for (const auto& n : files) names += " " + n;
  return names;
}

// What a folder holds after a run: the table's content and its index files' state.
struct Snapshot {
  std::string problem;  // "" when the table and its indexes check out
  Content content;
  IndexState indexes;
};

Snapshot Inspect(const std::string& dir, const std::string& table, TableType type,
                 const SweepOptions& options) {
  Snapshot snap;
  const std::string path = dir + "/" + table;
  snap.problem = CheckTable(path, type);
  if (snap.problem.empty()) {
    snap.content = ReadContent(path, type);
    if (!snap.content.ok) snap.problem = snap.content.error;
  }
  if (snap.problem.empty() && !options.indexes.empty()) {
    snap.indexes = CheckIndexes(dir, table, type, options.indexes);
    snap.problem = snap.indexes.problem;
  }
  return snap;
}

uint64_t Key(const Content& c, const SweepOptions& options) {
  return options.settled ? c.settled_digest : c.digest;
}

enum class Matches { kNeither, kBefore, kAfter };

// Which state a checked snapshot holds. Without a change of content the index files tell:
// each must be its version of before or of after; "after" when all were replaced. (A reindex of
// several files killed between two of them leaves some old and some new, each whole: like an
// operation that has not run, it is run again.)
Matches Compare(const Snapshot& now, const Snapshot& before, const Snapshot& after,
                const SweepOptions& options) {
  const uint64_t key = Key(now.content, options);
  if (options.changes_content) {
    if (key == Key(before.content, options)) return Matches::kBefore;
    if (key == Key(after.content, options)) return Matches::kAfter;
    return Matches::kNeither;
  }
  if (key != Key(before.content, options)) return Matches::kNeither;
  if (!options.index_bytes_are_content) return Matches::kBefore;
  size_t replaced = 0;
  for (size_t i = 0; i < now.indexes.file_digests.size(); ++i) {
    const uint64_t d = now.indexes.file_digests[i];
    if (d == after.indexes.file_digests[i] && d != before.indexes.file_digests[i]) {
      ++replaced;
    } else if (d != before.indexes.file_digests[i]) {
      return Matches::kNeither;
    }
  }
  return replaced == now.indexes.file_digests.size() ? Matches::kAfter : Matches::kBefore;
}

}  // namespace

void BeginKillWindow() {
  if (g_windowed) FaultInjector::KillAt(g_window_point);
}

CrashFigures CrashSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget, const SweepOptions& options) {
  CrashFigures fig;
  const Snapshot before = Inspect(prepared, table, type, options);
  if (!before.problem.empty()) {
    fig.failures.push_back("the prepared table does not check out: " + before.problem);
    return fig;
  }
  // One complete run tells the number of changing operations and the content of after.
  TempDir done;
  CopyFolder(prepared, done.path());
  FaultInjector::Reset();
  g_windowed = options.windowed;
  g_window_point = 0;
  UNSIGNED32 rc = operation(done.path());
  fig.changes = FaultInjector::ChangeCount();
  FaultInjector::Reset();
  if (rc != 0) {
    g_windowed = false;
    fig.failures.push_back("the operation fails without a kill: " + LastError());
    return fig;
  }
  const Snapshot after = Inspect(done.path(), table, type, options);
  const std::vector<std::string> files_after = FilesIn(done.path());
  std::string unfit;
  if (!after.problem.empty()) {
    unfit = "the complete run leaves a table that does not check out: " + after.problem;
  } else if (options.changes_content &&
             Key(after.content, options) == Key(before.content, options)) {
    unfit = "the operation changed nothing readable";
  } else if (!options.changes_content &&
             Key(after.content, options) != Key(before.content, options)) {
    unfit = "the operation changed the table's content";
  } else if (options.index_bytes_are_content &&
             after.indexes.file_digests == before.indexes.file_digests) {
    unfit = "the operation rewrote no index file";
  }
  if (!unfit.empty()) {
    g_windowed = false;
    fig.failures.push_back(unfit);
    return fig;
  }

  TempDir work;
  for (uint64_t point : KillPoints(fig.changes, budget)) {
    ++fig.points;
    CopyFolder(prepared, work.path());
    ChildResult child = RunInChild([&] {
      FaultInjector::Reset();
      if (options.windowed) {
        g_window_point = point;
      } else {
        FaultInjector::KillAt(point);
      }
      return operation(work.path()) == 0 ? 0 : 1;
    });
    if (child.killed) ++fig.killed;
    std::string problem;
    if (options.recover && options.recover(work.path()) != 0) {
      problem = "the next open of the table fails: " + LastError();
    }
    Snapshot now = problem.empty() ? Inspect(work.path(), table, type, options) : Snapshot{};
    if (problem.empty()) problem = now.problem;
    const Matches state =
        problem.empty() ? Compare(now, before, after, options) : Matches::kNeither;
    if (problem.empty() && state == Matches::kNeither) {
      problem = "the table holds neither the content of before nor of after (" +
                std::to_string(now.content.records) + " records, " +
                std::to_string(now.content.fields) + " fields)";
    }
    if (problem.empty() && state == Matches::kBefore) {
      ++fig.as_before;
      g_window_point = 0;
      if (operation(work.path()) != 0) {
        problem = "the operation fails when run again: " + LastError();
      } else {
        Snapshot again = Inspect(work.path(), table, type, options);
        if (!again.problem.empty()) {
          problem = "after a second run: " + again.problem;
        } else if (Compare(again, before, after, options) !=
                   (options.changes_content || options.index_bytes_are_content
                        ? Matches::kAfter
                        : Matches::kBefore)) {
          problem = "a second run gives other content";
        } else if (FilesIn(work.path()) != files_after) {
          problem = "stray files after the second run:" + Names(FilesIn(work.path()));
        }
      }
    } else if (problem.empty()) {
      ++fig.as_after;
      // A kill after the moment of change may leave the old files aside; the next open that
      // may write puts things in order.
      if (OpenAndClose(work.path(), table, type) != 0) {
        problem = "the table does not open for writing: " + LastError();
      } else if (FilesIn(work.path()) != files_after) {
        problem = "stray files after the next open:" + Names(FilesIn(work.path()));
      }
    }
    if (!problem.empty()) {
      ++fig.lost;
      fig.failures.push_back(Describe(point, problem));
    }
  }
  g_windowed = false;
  return fig;
}

namespace {

const char* KindName(ace::IoKind kind) {
  static const char* const names[] = {"read", "write", "flush", "rename", "allocation", "delete"};
  return names[static_cast<size_t>(kind)];
}

}  // namespace

FaultFigures FaultSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget, const SweepOptions& options) {
  using ace::IoKind;
  FaultFigures fig;
  const Snapshot before = Inspect(prepared, table, type, options);
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
  const Snapshot after = Inspect(done.path(), table, type, options);
  if (!before.problem.empty() || !after.problem.empty()) {
    fig.failures.push_back("the table does not check out before or after the operation: " +
                           before.problem + after.problem);
    return fig;
  }
  // What a complete run leaves: the content of after, or for operations that change no
  // content the old content (with the new index files of a reindex).
  const Matches completed = options.changes_content || options.index_bytes_are_content
                                ? Matches::kAfter
                                : Matches::kBefore;

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
      std::string problem;
      if (options.recover && options.recover(work.path()) != 0) {
        problem = "the next open of the table fails: " + LastError();
      }
      Snapshot now = problem.empty() ? Inspect(work.path(), table, type, options) : Snapshot{};
      if (problem.empty()) problem = now.problem;
      const Matches state =
          problem.empty() ? Compare(now, before, after, options) : Matches::kNeither;
      if (problem.empty() && rc != 0) {
        ++fig.reported;
        // (A statement that is taken back leaves the records it had appended as blank deleted
        // ones, so without other options only the records that are not deleted must be as
        // before.)
        const bool as_before = options.settled || !options.changes_content
                                   ? state == Matches::kBefore
                                   : now.content.live_digest == before.content.live_digest;
        if (error.find("injected fault") == std::string::npos) {
          problem = "the error does not name its cause: " + error;
        } else if (state == Matches::kAfter && completed == Matches::kAfter) {
          // The change was made and a later step (reading the new files back) failed: the
          // table is whole in its new form and the caller was told of the failure.
          ++fig.late;
        } else if (!as_before) {
          problem = "a failed run left the table half changed (" + error + ")";
        } else if (FilesIn(work.path()) != files_before) {
          problem = "a failed run left files behind:" + Names(FilesIn(work.path()));
        }
      } else if (problem.empty()) {
        ++fig.absorbed;
        if (state != completed) problem = "a run that answered success did not finish";
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
