#include "tools/frame_pipeline.h"

#include <algorithm>
#include <exception>
#include <new>

namespace devidoriv::tool {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

}  // namespace

FramePipeline::FramePipeline(const Stream& stream)
    : stream_(stream), format_(stream.reader->header().format) {}

FramePipeline::~FramePipeline() { Finish(); }

void FramePipeline::Start() {
  reader_thread_ = std::thread(&FramePipeline::ReadFrames, this);
  writer_thread_ = std::thread(&FramePipeline::WriteFrames, this);
}

bool FramePipeline::BeforeFailure(int64_t number) const {
  return !failure_ || number < failure_->frame;
}

bool FramePipeline::ConvertOnPool(int32_t fft_threads, int32_t workers, int32_t processors) {
  const int32_t module_threads = std::max(fft_threads > 0 ? fft_threads : processors, workers);
  return module_threads >= processors;
}

void DEVIDORIV_CC FramePipeline::ToHostPart(int32_t part, int32_t parts, void* pipeline,
                                            void* slot) {
  const FramePipeline& p = *static_cast<FramePipeline*>(pipeline);
  FrameSlot& s = *static_cast<FrameSlot*>(slot);
  p.stream_.converter->ToHost(s.samples, s.image.data(), p.format_.width, part, parts);
}

void DEVIDORIV_CC FramePipeline::FromHostPart(int32_t part, int32_t parts, void* pipeline,
                                              void* slot) {
  const FramePipeline& p = *static_cast<FramePipeline*>(pipeline);
  FrameSlot& s = *static_cast<FrameSlot*>(slot);
  p.stream_.converter->FromHost(s.image.data(), p.format_.width, &s.samples, part, parts);
}

FrameSlot* FramePipeline::Next() {
  FrameSlot* slot = nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] {
      return failure_ || reader_done_ || interrupted_ || !ready_.empty();
    });
    // The frames before a failed one are filtered and written all the same.
    if (interrupted_ || ready_.empty() || !BeforeFailure(ready_.front()->number)) return nullptr;
    slot = ready_.front();
    ready_.pop_front();
  }
  if (stream_.convert_on_pool) stream_.convert_on_pool->RunHostPass(ToHostPart, this, slot);
  return slot;
}

void FramePipeline::Pass(FrameSlot* slot) {
  if (stream_.convert_on_pool) stream_.convert_on_pool->RunHostPass(FromHostPart, this, slot);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to_write_.push_back(slot);
  }
  changed_.notify_all();
}

void FramePipeline::Fail(int64_t number, const std::string& message, bool count_written) {
  Record(number, message, count_written);
}

void FramePipeline::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  changed_.notify_all();
}

void FramePipeline::FinishWriting() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (writer_thread_.joinable()) writer_thread_.join();
}

void FramePipeline::Finish() {
  FinishWriting();
  if (reader_thread_.joinable()) reader_thread_.join();
}

std::optional<std::string> FramePipeline::error() const {
  if (!failure_) return std::nullopt;
  std::string line = failure_->message;
  if (failure_->count_written) {
    line += " (" + std::to_string(written_) + " frames before it were written)";
  }
  return line;
}

void FramePipeline::Record(int64_t frame, const std::string& message, bool count_written) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (BeforeFailure(frame)) failure_ = Failure{frame, message, count_written};
  }
  changed_.notify_all();
}

std::string FramePipeline::OutOfMemoryMessage(int64_t frame) const {
  const size_t pixels = static_cast<size_t>(format_.width) * static_cast<size_t>(format_.height);
  return "out of memory at frame " + std::to_string(frame) + ": a " +
         std::to_string(format_.width) + "x" + std::to_string(format_.height) + " frame takes " +
         std::to_string(format_.frame_bytes() / kMiB) + " MiB as read and " +
         std::to_string(pixels * sizeof(YcPixel) / kMiB) + " MiB as the host's pixels";
}

FrameSlot* FramePipeline::AcquireSlot() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] {
    return failure_ || finishing_ || interrupted_ || !free_.empty() ||
           slots_.size() < slot_limit_;
  });
  if (failure_ || finishing_ || interrupted_) return nullptr;
  if (!free_.empty()) {
    FrameSlot* slot = free_.back();
    free_.pop_back();
    return slot;
  }
  const bool first = slots_.empty();
  lock.unlock();
  // The first slot grows with the data of the first frame, so that a
  // header promising a huge frame costs memory only for the bytes the
  // input holds. Once a frame has been read whole, further slots are made
  // whole at once; when one does not fit, the pipeline goes on with the
  // slots it has.
  auto slot = std::make_unique<FrameSlot>();
  if (!first) {
    try {
      slot->samples.SetFormat(format_);
      slot->image.resize(static_cast<size_t>(format_.width) * format_.height);
    } catch (const std::bad_alloc&) {
      slot.reset();
    }
  }
  lock.lock();
  if (!slot) {
    slot_limit_ = slots_.size();
    changed_.wait(lock, [this] { return failure_ || finishing_ || !free_.empty(); });
    if (failure_ || finishing_) return nullptr;
    FrameSlot* reused = free_.back();
    free_.pop_back();
    return reused;
  }
  slots_.push_back(std::move(slot));
  return slots_.back().get();
}

void FramePipeline::Release(FrameSlot* slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(slot);
  }
  changed_.notify_all();
}

void FramePipeline::ReadFrames() {
  Y4mReader& reader = *stream_.reader;
  int64_t passed = 0;
  int64_t frame = 0;  // the frame being read
  try {
    while (stream_.frames < 0 || passed < stream_.frames) {
      FrameSlot* slot = AcquireSlot();
      if (!slot) break;
      frame = reader.frames_read();
      std::string error;
      const ReadStatus got = reader.ReadFrame(&slot->samples, &slot->params, &error);
      if (got == ReadStatus::kEnd) {
        Release(slot);
        break;
      }
      if (got == ReadStatus::kError) {
        Record(frame, stream_.input_name + ": " + error, true);
        break;
      }
      slot->number = frame;
      if (slot->number < stream_.start) {
        Release(slot);
        continue;
      }
      slot->image.resize(static_cast<size_t>(format_.width) * format_.height);
      if (!stream_.convert_on_pool) ToHostPart(0, 1, this, slot);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(slot);
      }
      changed_.notify_all();
      ++passed;
    }
  } catch (const std::bad_alloc&) {
    Record(frame, OutOfMemoryMessage(frame), true);
  } catch (const std::exception& e) {
    Record(frame, stream_.input_name + ": frame " + std::to_string(frame) + ": " + e.what(), true);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reader_done_ = true;
  }
  changed_.notify_all();
}

void FramePipeline::WriteFrames() {
  int64_t frame = 0;
  try {
    for (;;) {
      FrameSlot* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return finishing_ || !to_write_.empty(); });
        if (to_write_.empty()) break;
        slot = to_write_.front();
        to_write_.pop_front();
        if (!BeforeFailure(slot->number)) break;
      }
      frame = slot->number;
      if (!stream_.convert_on_pool) FromHostPart(0, 1, this, slot);
      std::string error;
      if (!stream_.writer->WriteFrame(slot->samples, slot->params, &error)) {
        Record(frame, stream_.output_name + ": " + error, false);
        break;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++written_;
      }
      Release(slot);
    }
  } catch (const std::exception& e) {
    Record(frame, stream_.output_name + ": " + e.what(), false);
  }
}

}  // namespace devidoriv::tool
