// Per-thread callback registrations and progress reporting.
#include "engine/base/callbacks.h"

#include <algorithm>
#include <cmath>

#include "engine/base/error_codes.h"

namespace ace {

namespace {

// Plain data only: a thread_local of a trivially destructible type is safe to touch while
// the thread or the process ends.
thread_local ThreadCallbacks t_callbacks;
thread_local Progress* t_innermost = nullptr;
thread_local int t_last_percent = -1;  // of the running outermost operation
thread_local bool t_cancelled = false;  // of the running outermost operation
thread_local bool t_muted = false;

// Calls the registered functions with a percentage; true when one of them asks to stop.
bool CallWithPercent(uint16_t percent) {
  const ThreadCallbacks& c = t_callbacks;
  bool stop = false;
  if (c.progress != nullptr && c.progress(percent) != 0) stop = true;
  if (c.callback != nullptr && c.callback(percent, c.callback_id) != 0) stop = true;
  return stop;
}

}  // namespace

ThreadCallbacks& CurrentCallbacks() {
  return t_callbacks;
}

void ClearThreadCallbacks() {
  t_callbacks = ThreadCallbacks{};
}

Status CancelledStatus(const char* what) {
  return Status(kErrOperationCancelled,
                std::string(what) + " was stopped by the callback; nothing was changed");
}

Progress::Progress(uint64_t total) : outer_(t_innermost), total_(total) {
  if (outer_ == nullptr) {
    t_last_percent = -1;
    t_cancelled = false;
  } else if (outer_->share_lo_ >= 0.0) {
    lo_ = outer_->share_lo_;
    hi_ = outer_->share_hi_;
    outer_->share_lo_ = outer_->share_hi_ = -1.0;
  } else {
    // No part given: the rest of the outer operation's range from where it stands.
    lo_ = std::max(outer_->lo_, t_last_percent < 0 ? outer_->lo_ : t_last_percent / 100.0);
    hi_ = outer_->hi_;
  }
  t_innermost = this;
}

Progress::~Progress() {
  t_innermost = outer_;
}

bool Progress::Wanted() {
  return t_callbacks.progress != nullptr || t_callbacks.callback != nullptr;
}

void Progress::Share(uint64_t from, uint64_t to) {
  if (total_ == 0) return;
  double a = std::min(1.0, static_cast<double>(from) / static_cast<double>(total_));
  double b = std::min(1.0, static_cast<double>(to) / static_cast<double>(total_));
  share_lo_ = lo_ + (hi_ - lo_) * a;
  share_hi_ = lo_ + (hi_ - lo_) * std::max(a, b);
}

Status Progress::Advance(uint64_t done) {
  if (done >= quiet_from_ && done < quiet_until_) return Status::Ok();
  double fraction = total_ == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / total_);
  const double overall = lo_ + (hi_ - lo_) * fraction;
  Status st = Report(overall);
  quiet_from_ = quiet_until_ = done;  // by default the next call looks again
  if (st.ok() && total_ > 0 && hi_ > lo_) {
    // Where in this operation the next whole percent of the outermost range begins, taken a
    // little early so that rounding never lets a percent go unreported.
    const int percent = static_cast<int>(std::floor(overall * 100.0 + 1e-9));
    const double part = ((percent + 1) / 100.0 - 1e-9 - lo_) / (hi_ - lo_);
    const double at = std::floor(part * static_cast<double>(total_)) - 1.0;
    if (at > static_cast<double>(done)) {
      quiet_until_ = at >= static_cast<double>(total_) ? total_ : static_cast<uint64_t>(at);
    }
  }
  return st;
}

Status Progress::Report(double fraction) {
  if (t_muted) return Status::Ok();
  if (t_cancelled) return CancelledStatus("the operation");
  if (!Wanted()) return Status::Ok();
  int percent = static_cast<int>(std::floor(fraction * 100.0 + 1e-9));
  percent = std::clamp(percent, 0, 100);
  if (percent <= t_last_percent) return Status::Ok();
  t_last_percent = percent;
  if (CallWithPercent(static_cast<uint16_t>(percent))) {
    t_cancelled = true;
    return CancelledStatus("the operation");
  }
  return Status::Ok();
}

ProgressMute::ProgressMute() : was_(t_muted) {
  t_muted = true;
}

ProgressMute::~ProgressMute() {
  t_muted = was_;
}

Status PollSqlAbort() {
  if (t_cancelled && t_innermost != nullptr) return CancelledStatus("the statement");
  if (t_callbacks.sql_abort != nullptr && t_callbacks.sql_abort() != 0) {
    t_cancelled = t_innermost != nullptr;
    return CancelledStatus("the statement");
  }
  return Status::Ok();
}

}  // namespace ace
