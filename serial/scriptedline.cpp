#include "serial/scriptedline.h"

#include <algorithm>
#include <cerrno>

#include "serial/comerrors.h"

namespace {
const char kScriptedPath[] = "/dev/scripted";
}

int64_t ScriptedLine::LastArrival() const {
  return queue_.empty() ? now_ : std::max(now_, queue_.back().at);
}

void ScriptedLine::Send(const uint8_t* bytes, size_t count) {
  const int64_t at = LastArrival();
  for (size_t i = 0; i < count; ++i) queue_.push_back({at, bytes[i]});
}

void ScriptedLine::Send(const std::vector<uint8_t>& bytes) { Send(bytes.data(), bytes.size()); }

void ScriptedLine::SendAfter(int pauseMs, const std::vector<uint8_t>& bytes) {
  const int64_t at = LastArrival() + pauseMs;
  for (uint8_t b : bytes) queue_.push_back({at, b});
}

void ScriptedLine::Reset() {
  queue_.clear();
  written_.clear();
  now_ = 0;
  pendingOutput_ = 0;
  connected_ = true;
  failOpen_ = false;
  hungUp_ = false;
  holdOutput_ = false;
}

void ScriptedLine::CheckOpen(int error) const {
  if (!connected_) throw EComPort(static_cast<TComError>(error), EBADF, kScriptedPath);
}

void ScriptedLine::Open() {
  if (connected_) return;
  if (failOpen_) throw EComPort(ceOpen, ENOENT, kScriptedPath);
  connected_ = true;
}

int32_t ScriptedLine::Write(const void* bytes, int32_t count) {
  CheckOpen(ceWrite);
  if (count <= 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  const std::vector<uint8_t> chunk(p, p + count);
  written_.insert(written_.end(), chunk.begin(), chunk.end());
  if (holdOutput_) pendingOutput_ += count;
  if (onWrite) onWrite(chunk);
  return count;
}

bool ScriptedLine::WaitForByte(int waitMs) {
  if (!queue_.empty() && (queue_.front().at <= now_ || queue_.front().at < now_ + waitMs)) {
    now_ = std::max(now_, queue_.front().at);
    return true;
  }
  if (queue_.empty() && hungUp_) throw EComPort(ceRead, EIO, kScriptedPath);
  now_ += waitMs;
  return false;
}

std::optional<uint8_t> ScriptedLine::Receive() {
  CheckOpen(ceRead);
  if (!WaitForByte(kReadTimeoutMs)) return std::nullopt;
  const uint8_t b = queue_.front().byte;
  queue_.pop_front();
  return b;
}

std::optional<uint8_t> ScriptedLine::TakeReceived() {
  if (queue_.empty() || queue_.front().at > now_) return std::nullopt;
  const uint8_t b = queue_.front().byte;
  queue_.pop_front();
  return b;
}

int32_t ScriptedLine::ReadDirect(void* buffer, int32_t count, int timeoutMs) {
  CheckOpen(ceRead);
  if (count <= 0) return 0;
  if (!WaitForByte(std::max(timeoutMs, 0))) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int32_t got = 0;
  while (got < count && !queue_.empty() && queue_.front().at <= now_) {
    out[got++] = queue_.front().byte;
    queue_.pop_front();
  }
  return got;
}

void ScriptedLine::Purge(bool input, bool output) {
  CheckOpen(cePurge);
  if (input)
    while (!queue_.empty() && queue_.front().at <= now_) queue_.pop_front();
  if (output) pendingOutput_ = 0;
}

int32_t ScriptedLine::PendingInput() {
  CheckOpen(ceQueueCounts);
  int32_t n = 0;
  for (const Arrival& a : queue_) {
    if (a.at > now_) break;
    ++n;
  }
  return n;
}

int32_t ScriptedLine::PendingOutput() {
  CheckOpen(ceQueueCounts);
  return pendingOutput_;
}
