// The tool's frames in flight. A reader thread reads frame n + 1 and
// converts it to the host's pixels while the calling thread has the module
// filter frame n, and a writer thread converts frame n - 1 back to the
// stream's samples and writes it.
//
// The conversions run on those two threads where the machine has a core
// that the module does not use. Where the module's own threads take every
// core, the two threads would only take turns with them (and a preempted
// FFTW thread holds up its partners), so there the conversions run on the
// host's worker pool instead, split by rows like the module's row steps,
// just before and after the module's frame on the calling thread; the two
// threads then only read and write.
//
// Frames travel in input order through a ring of a few slots, each with the
// frame's samples and its host pixels. The slots are made with the first
// frames and reused, so that a frame costs no allocation and no page
// faults. Only the calling thread touches the module; the two threads
// touch only the stream and their slots.
//
// Any stage can fail at a frame: the reader on bad input, the caller when
// the module could not filter a frame, the writer on a full disk. The
// pipeline then stops reading and filtering; the frames before the failed
// one are still written, whole, and the error reported is the one at the
// earliest frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"
#include "tools/convert.h"
#include "tools/picture.h"
#include "tools/y4m.h"

namespace devidoriv::tool {

// One frame in flight.
struct FrameSlot {
  int64_t number = 0;          // the frame's number in the input, from 0
  std::string params;          // the parameters of its FRAME line
  RawFrame samples;            // as read, then as written
  std::vector<YcPixel> image;  // the host's pixels, rows of `width` pixels
};

class FramePipeline {
 public:
  // At most this many frames are in memory at once: one being read, one
  // being filtered, one being written.
  static constexpr size_t kSlots = 3;

  struct Stream {
    Y4mReader* reader;
    Y4mWriter* writer;  // its header written
    const PictureConverter* converter;
    // Runs the conversions on this host's worker pool (RunHostPass) from
    // Next and Pass; null to run them on the reader and writer threads.
    hostlib::ModuleHost* convert_on_pool = nullptr;
    std::string input_name;   // for messages: a path, or "standard input"
    std::string output_name;  // a path, or "standard output"
    int64_t start = 0;        // frames of the input skipped first
    int64_t frames = -1;      // frames passed to the caller at most; -1 for all
  };

  explicit FramePipeline(const Stream& stream);
  ~FramePipeline();  // Finish()
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // Starts the reader and the writer.
  void Start();

  // The next frame in input order for the caller to filter, its pixels
  // ready; null at the end of the input, or once any stage has failed.
  FrameSlot* Next();
  // Hands a frame from Next, filtered, on to the writer.
  void Pass(FrameSlot* slot);

  // Whether to convert on the host's pool: when the module's threads (the
  // larger of its FFT threads and the host's workers, 0 FFT threads
  // meaning one per processor) leave no processor free.
  static bool ConvertOnPool(int32_t fft_threads, int32_t workers, int32_t processors);
  // The caller failed at frame `number` (one from Next that it does not
  // pass on): nothing more is read or filtered. With count_written, the
  // message gets the number of frames written before it.
  void Fail(int64_t number, const std::string& message, bool count_written);

  // Stops reading: Next returns null from now on. The frames passed on
  // are still written. Safe from any thread.
  void Interrupt();

  // Lets the writer finish the frames passed to it and waits for both
  // threads. Idempotent.
  void Finish();
  // The same for the writer alone, for a run that ends without waiting
  // for a reader that may be blocked on its input.
  void FinishWriting();

  // After Finish: frames written, and the error at the earliest frame as
  // one line, or nothing.
  int64_t written() const { return written_; }
  std::optional<std::string> error() const;

  // The line for a frame that did not fit in memory.
  std::string OutOfMemoryMessage(int64_t frame) const;

 private:
  struct Failure {
    int64_t frame;
    std::string message;
    bool count_written;
  };

  void ReadFrames();
  void WriteFrames();
  // The conversions of a slot, whole or as part `part` of `parts`.
  static void DEVIDORIV_CC ToHostPart(int32_t part, int32_t parts, void* pipeline, void* slot);
  static void DEVIDORIV_CC FromHostPart(int32_t part, int32_t parts, void* pipeline, void* slot);
  // A slot for the reader: a free one, or a new one while fewer than
  // kSlots exist and memory allows. Null once the pipeline stops.
  FrameSlot* AcquireSlot();
  void Release(FrameSlot* slot);
  void Record(int64_t frame, const std::string& message, bool count_written);
  // True when frame `number` comes before any failed one; mutex_ held.
  bool BeforeFailure(int64_t number) const;

  const Stream stream_;
  const PictureFormat format_;

  std::mutex mutex_;
  std::condition_variable changed_;                // any of the state below changed
  std::vector<std::unique_ptr<FrameSlot>> slots_;  // changed by the reader only
  size_t slot_limit_ = kSlots;  // lowered when a further slot does not fit in memory
  std::vector<FrameSlot*> free_;
  std::deque<FrameSlot*> ready_;     // read and converted, for the caller
  std::deque<FrameSlot*> to_write_;  // filtered, for the writer
  bool reader_done_ = false;
  bool finishing_ = false;  // the caller is done: write what was passed, then end
  bool interrupted_ = false;  // read and hand out no more frames
  // The failure at the earliest frame; no stage handles that frame or a
  // later one once it is set.
  std::optional<Failure> failure_;
  int64_t written_ = 0;

  std::thread reader_thread_;
  std::thread writer_thread_;
};

}  // namespace devidoriv::tool
