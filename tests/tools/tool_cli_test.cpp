// The built tool as a user runs it: exit codes and messages, frames that
// come back unchanged with both filters off, frame selection, snapshots,
// and streams that ffmpeg writes and reads back.
#include <gtest/gtest.h>
#include <png.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/tools/tool_test_util.h"
#include "tools/y4m.h"

namespace devidoriv::tool {
namespace {

using test::CommandResult;
using test::MakeTempDir;
using test::RandomPicture;
using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::WriteFile;
using test::Y4mStream;

PictureFormat MakeFormat(int32_t width, int32_t height, ChromaLayout layout, int32_t depth = 8) {
  PictureFormat f;
  f.width = width;
  f.height = height;
  f.layout = layout;
  f.bit_depth = depth;
  return f;
}

class ToolTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir(); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs the tool with `args` (already quoted where needed).
  CommandResult Tool(const std::string& args) const {
    return RunCommand(ShellQuote(test::ToolPath()) + " " + args);
  }

  // Writes a clip of `count` random frames and returns its path.
  std::string Clip(const std::string& name, const PictureFormat& f, int count,
                   std::vector<Picture>* pictures = nullptr) {
    std::vector<Picture> frames;
    for (int i = 0; i < count; ++i) frames.push_back(RandomPicture(f, 100 + i));
    WriteFile(Path(name), Y4mStream(MakeY4mHeader(f), frames));
    if (pictures != nullptr) *pictures = frames;
    return Path(name);
  }

  // Reads a whole Y4M file; fails the test when it does not parse.
  std::vector<Picture> ReadClip(const std::string& path, Y4mHeader* header = nullptr) {
    Y4mReader reader;
    std::string error, params;
    std::vector<Picture> frames;
    EXPECT_TRUE(reader.Open(path, &error)) << path << ": " << error;
    if (header != nullptr) *header = reader.header();
    Picture p;
    ReadStatus status;
    while ((status = ReadPicture(reader, &p, &params, &error)) == ReadStatus::kFrame)
      frames.push_back(p);
    EXPECT_EQ(status, ReadStatus::kEnd) << error;
    return frames;
  }

  std::string dir_;
};

int32_t MaxDifference(const Picture& a, const Picture& b) {
  int32_t worst = 0;
  for (int p = 0; p < 3; ++p) {
    if (a.planes[p].size() != b.planes[p].size()) return 1 << 30;
    for (size_t i = 0; i < a.planes[p].size(); ++i) {
      worst = std::max(worst, std::abs(a.planes[p][i] - b.planes[p][i]));
    }
  }
  return worst;
}

struct ErrorCase {
  const char* name;
  std::optional<std::string> input;  // content of the input file, if there is one
  std::string args;                  // after the program name; IN and OUT stand for the files
  int exit_code;
  const char* message;
  // The command line: TOOL stands for the tool, ARGS for `args`.
  std::string shell = "TOOL ARGS";
  // The command limits its address space, which sanitizer builds reserve
  // far more of than they use.
  bool limits_memory = false;
  // The command preloads an FFTW function into the tool, which reaches a
  // module on the system's FFTW only: one with an FFTW of its own binds
  // its FFTW calls inside itself.
  bool preloads_fftw = false;
};

#if defined(DEVIDORIV_MODULE_OWN_FFTW)
constexpr bool kModuleOwnFftw = true;
#else
constexpr bool kModuleOwnFftw = false;
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

TEST_F(ToolTest, ErrorsGetOneLineAndTheirExitCode) {
  const PictureFormat f = MakeFormat(16, 8, ChromaLayout::k420);
  std::vector<Picture> three = {RandomPicture(f, 1), RandomPicture(f, 2), RandomPicture(f, 3)};
  const std::string good = Y4mStream(MakeY4mHeader(f), three);
  const ErrorCase cases[] = {
      {"no arguments", std::nullopt, "", 2, "missing input and output"},
      {"unknown option", good, "--bogus IN OUT", 2, "unknown option '--bogus'"},
      {"not a number", good, "--luma-w wide IN OUT", 2, "--luma-w: 'wide' is not a whole number"},
      {"out of range", good, "--luma-w 101 IN OUT", 2, "--luma-w 101 is out of range: 0 ... 100"},
      {"radius out of range", good, "--chroma-b 961 IN OUT", 2,
       "--chroma-b 961 is out of range: 1 ... 960 for this frame size"},
      {"same file", good, "IN IN", 2, "input and output are the same file"},
      {"missing input", std::nullopt, "IN OUT", 1, "cannot open input: No such file or directory"},
      {"not y4m", "GIF89a\n", "IN OUT", 1, "not a Y4M stream"},
      {"empty input", "", "IN OUT", 1, "empty input"},
      {"truncated header", "YUV4MPEG2 W16 H8", "IN OUT", 1, "truncated Y4M header"},
      {"unknown tag", "YUV4MPEG2 W16 H8 Q9\n", "IN OUT", 1, "unknown tag 'Q9'"},
      {"unsupported chroma", "YUV4MPEG2 W16 H8 C411\n", "IN OUT", 1,
       "unsupported chroma format C411"},
      {"empty frame size", "YUV4MPEG2 W0 H8\n", "IN OUT", 1, "frame size 0x8 is empty"},
      {"frame beyond cap", "YUV4MPEG2 W16 H16385\n", "IN OUT", 1,
       "frame size 16x16385 is beyond the cap of 16384 x 16384"},
      {"bad frame header", "YUV4MPEG2 W16 H8\nFRAMES\n", "IN OUT", 1,
       "bad frame header at frame 0: expected FRAME"},
      {"truncated frame", good.substr(0, good.size() - 10), "IN OUT", 1,
       "truncated frame 2: 182 of 192 bytes (2 frames before it were written)"},
      {"unwritable output", good, "IN " + dir_ + "/no/such/dir/out.y4m", 1,
       "cannot open output: No such file or directory"},
      {"full device", good, "IN /dev/full", 1, "No space left on device"},
      {"module missing", good, "--module " + dir_ + "/none.so IN OUT", 1, "cannot load module"},
      {"snapshot beyond the clip", good, "--snapshot 3:" + dir_ + "/s.png IN OUT", 1,
       "--snapshot 3: no such frame, only 3 were filtered"},
      {"standard input is the output", good, "- IN", 2,
       "input and output are the same file: standard input is ", "TOOL ARGS < IN"},
      {"snapshot over the input", good, "--snapshot 0:IN IN OUT", 2,
       "/in.y4m is the input: the snapshot would write over it"},
      {"input snapshot over the input", good, "--snapshot-input 1:IN IN OUT", 2,
       "is the input: the snapshot would write over it"},
      {"snapshot over standard input", good, "--snapshot 0:IN - OUT", 2, "is the input",
       "TOOL ARGS < IN"},
      {"snapshot over the output", good, "--snapshot 0:OUT IN OUT", 2,
       "is the output: the snapshot would write over it"},
      {"two snapshots into one file", good,
       "--snapshot 0:" + dir_ + "/s.png --snapshot-input 1:" + dir_ + "/./s.png IN OUT", 2,
       "/./s.png is the file of another snapshot"},
      {"start past the end", good, "--start 5 IN OUT", 1,
       "--start 5 is past the end of the input: it has 3 frames, so none was filtered"},
      {"output named for another container", good, "IN " + dir_ + "/out.mkv", 2,
       "is not named .y4m: the tool writes Y4M only; for another container, write to standard "
       "output and pipe it through ffmpeg"},
      // Every buffer the module asks FFTW for is refused: no frame can be
      // filtered, and passing it on unfiltered would be a silent failure.
      {"module cannot filter", good, "IN OUT", 1,
       "frame 0 was not filtered: the module could not make its transform buffers or plans (0 "
       "frames before it were written)",
       "ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 LD_PRELOAD=" +
           ShellQuote(DEVIDORIV_FFTW_MALLOC_FAILS) + " TOOL ARGS",
       false, true},
      // A frame whose host pixels (1.5 GiB) do not fit in 1 GiB.
      {"out of memory", std::nullopt, "-q --workers 1 - OUT", 1,
       "out of memory at frame 0: a 16384x16384 frame takes 256 MiB as read and 1536 MiB as the "
       "host's pixels (0 frames before it were written)",
       "{ printf 'YUV4MPEG2 W16384 H16384 Cmono\\nFRAME\\n'; head -c 268435456 /dev/zero; } | "
       "(ulimit -v 1048576; TOOL ARGS)",
       true},
  };
  for (const ErrorCase& c : cases) {
    if ((c.limits_memory && kSanitized) || (c.preloads_fftw && kModuleOwnFftw)) continue;
    const std::string in = Path("in.y4m"), out = Path("out.y4m");
    std::remove(in.c_str());
    if (c.input) WriteFile(in, *c.input);
    const auto files = [&](const std::string& text) {
      return Replace(Replace(text, "IN", ShellQuote(in)), "OUT", ShellQuote(out));
    };
    const CommandResult r = RunCommand(
        Replace(Replace(files(c.shell), "TOOL", ShellQuote(test::ToolPath())), "ARGS", files(c.args)));
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos)
        << c.name << "\nwanted: " << c.message << "\ngot: " << r.err;
    EXPECT_EQ(r.err.rfind("devidoriv: ", 0), 0u) << c.name << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
    // A refused command line writes nothing, least of all over its input.
    if (c.exit_code == 2 && c.input) {
      EXPECT_EQ(ReadFile(in), *c.input) << c.name;
    }
  }
}

// The tool reading from a pipe that this test feeds, writing a file.
class PipedTool {
 public:
  PipedTool(const std::string& output, const std::string& log) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[0], STDIN_FILENO);
      close(fds[0]);
      close(fds[1]);
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, STDERR_FILENO);
      const std::string tool = test::ToolPath();
      execl(tool.c_str(), tool.c_str(), "-q", "--workers", "1", "-", output.c_str(), nullptr);
      _exit(127);
    }
    close(fds[0]);
    feed_ = fds[1];
  }
  ~PipedTool() {
    if (feed_ >= 0) close(feed_);
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Feed(const std::string& bytes) {
    return write(feed_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  void Signal(int number) { kill(pid_, number); }
  // The exit status, or -1 when the tool died of a signal.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int feed_ = -1;
  bool waited_ = false;
};

TEST_F(ToolTest, ASignalEndsTheOutputAfterTheLastWholeFrame) {
  const PictureFormat f = MakeFormat(320, 240, ChromaLayout::k420);
  std::vector<Picture> frames = {RandomPicture(f, 7), RandomPicture(f, 8), RandomPicture(f, 9)};
  const std::string stream = Y4mStream(MakeY4mHeader(f), frames);
  const size_t frame_bytes = (stream.size() - FormatY4mHeader(MakeY4mHeader(f)).size()) / 3;
  const size_t first_two = stream.size() - frame_bytes;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(number));
    const std::string out = Path("sig.y4m"), log = Path("sig.log");
    std::remove(out.c_str());
    PipedTool tool(out, log);
    // Two frames, then half of the third: the tool waits for the rest.
    ASSERT_TRUE(tool.Feed(stream.substr(0, first_two + frame_bytes / 2)));
    // Signalled once the second frame is being written (both are then
    // filtered and passed on), however slowly the machine gets there.
    const size_t into_second = first_two - frame_bytes + 1;
    for (int i = 0; i < 6000 && ReadFile(out).size() < into_second; ++i) usleep(10000);
    ASSERT_GE(ReadFile(out).size(), into_second);
    tool.Signal(number);
    EXPECT_EQ(tool.Wait(), 128 + number);
    EXPECT_EQ(ReadFile(log), "devidoriv: interrupted: 2 frames written\n");
    EXPECT_EQ(ReadFile(out).size(), first_two);
    EXPECT_EQ(ReadClip(out).size(), 2u);
  }
}

TEST_F(ToolTest, FramesBeforeATruncatedFrameAreWrittenWhole) {
  const PictureFormat f = MakeFormat(16, 8, ChromaLayout::k444);
  std::vector<Picture> frames;
  const std::string in = Clip("in.y4m", f, 3, &frames);
  const std::string data = ReadFile(in);
  WriteFile(in, data.substr(0, data.size() - 1));
  const CommandResult r =
      Tool("--no-luma --no-chroma " + ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  // Two whole frames, byte for byte as read.
  EXPECT_EQ(ReadFile(Path("out.y4m")), data.substr(0, data.size() - f.frame_bytes() - 6));
}

// A clip of distinct frames, each FRAME line with a parameter of its own
// ("Xframe=<i>"), longer than the tool keeps in flight; the frames of the
// output must be the input's, in order, none lost or repeated.
std::string NumberedClip(const PictureFormat& f, int count, std::vector<std::string>* frames) {
  std::string stream = FormatY4mHeader(MakeY4mHeader(f));
  std::vector<uint8_t> raw(f.frame_bytes());
  for (int i = 0; i < count; ++i) {
    PackPlanes(RandomPicture(f, 500 + i), raw.data());
    const std::string frame =
        "FRAME Xframe=" + std::to_string(i) + "\n" + std::string(raw.begin(), raw.end());
    if (frames != nullptr) frames->push_back(frame);
    stream += frame;
  }
  return stream;
}

TEST_F(ToolTest, FramesComeOutInOrderEachAsFilteredAlone) {
  const PictureFormat f = MakeFormat(32, 16, ChromaLayout::k420);
  constexpr int kFrames = 9;
  std::vector<std::string> frames;
  const std::string clip = NumberedClip(f, kFrames, &frames);
  const std::string in = Path("in.y4m"), out = Path("out.y4m");
  WriteFile(in, clip);

  CommandResult r = Tool("-q --no-luma --no-chroma " + ShellQuote(in) + " " + ShellQuote(out));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(ReadFile(out), clip);

  // Filtered, with the spectrum view drawn on the shared canvas: each frame
  // of the whole run is what a run of that frame alone gives (estimated
  // plans, so that both transform alike). One thread for the module leaves
  // the conversions to the reader and the writer on a machine of several
  // processors; the default, a worker per processor, puts them on the
  // host's worker pool.
  for (const char* threads : {"", "--threads 1 --workers 1 "}) {
    const std::string settings =
        std::string("-q --never-measure --luma-a 5 --luma-b 4 --show-spectrum --plane cb ") +
        threads;
    std::string alone;
    for (int i = 0; i < kFrames; ++i) {
      r = Tool(settings + "--start " + std::to_string(i) + " --frames 1 " + ShellQuote(in) + " " +
               ShellQuote(Path("one.y4m")));
      ASSERT_EQ(r.exit_code, 0) << r.err;
      const std::string one = ReadFile(Path("one.y4m"));
      alone += i == 0 ? one : one.substr(one.find('\n') + 1);
    }
    EXPECT_NE(alone, clip);
    r = Tool(settings + ShellQuote(in) + " " + ShellQuote(out));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(out), alone) << threads;
  }
}

TEST_F(ToolTest, AnErrorInTheMiddleEndsTheClipAfterTheFramesBeforeIt) {
  const PictureFormat f = MakeFormat(32, 16, ChromaLayout::k444);
  constexpr int kFrames = 10, kBad = 6;
  std::vector<std::string> frames;
  NumberedClip(f, kFrames, &frames);
  std::string good = FormatY4mHeader(MakeY4mHeader(f)), broken = good;
  for (int i = 0; i < kFrames; ++i) {
    if (i < kBad) good += frames[i];
    broken += i == kBad ? "FRAMX" + frames[i].substr(5) : frames[i];
  }
  WriteFile(Path("good.y4m"), good);
  WriteFile(Path("broken.y4m"), broken);
  const std::string settings = "-q --never-measure --luma-a 5 --luma-b 4 ";
  CommandResult r =
      Tool(settings + ShellQuote(Path("good.y4m")) + " " + ShellQuote(Path("good.out.y4m")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = Tool(settings + ShellQuote(Path("broken.y4m")) + " " + ShellQuote(Path("broken.out.y4m")));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("bad frame header at frame 6: expected FRAME, found 'FRAMX Xframe=6' (6 "
                       "frames before it were written)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(Path("broken.out.y4m")), ReadFile(Path("good.out.y4m")));
}

TEST_F(ToolTest, RadiusRangesFollowTheFrameSize) {
  // A 4000-pixel-wide frame widens the range of a to 4000 / 2 + 1.
  const std::string wide = Clip("wide.y4m", MakeFormat(4000, 4, ChromaLayout::k420), 1);
  CommandResult r = Tool("-q --luma-a 2001 " + ShellQuote(wide) + " " + ShellQuote(Path("o.y4m")));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = Tool("-q --luma-a 2002 " + ShellQuote(wide) + " " + ShellQuote(Path("o.y4m")));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("--luma-a 2002 is out of range: 1 ... 2001"), std::string::npos) << r.err;
}

// With both filters off every format comes back: bit-identical at 8 bits,
// within one code at higher depths, through files and through pipes.
TEST_F(ToolTest, FiltersOffGiveTheInputBack) {
  const struct {
    ChromaLayout layout;
    int32_t depth;
    bool full;
  } formats[] = {
      {ChromaLayout::k444, 8, false},  {ChromaLayout::k444, 8, true},
      {ChromaLayout::k422, 8, false},  {ChromaLayout::k420, 8, false},
      {ChromaLayout::kMono, 8, true},  {ChromaLayout::k420, 10, false},
      {ChromaLayout::k444, 10, true},  {ChromaLayout::k422, 12, false},
      {ChromaLayout::k420, 16, false},
  };
  for (const auto& c : formats) {
    PictureFormat f = MakeFormat(21, 13, c.layout, c.depth);
    f.full_range = c.full;
    const std::string name = ChromaTagFor(c.layout, c.depth) + (c.full ? " full" : " limited");
    std::vector<Picture> frames;
    const std::string in = Clip("in.y4m", f, 2, &frames);
    const std::string out = Path("out.y4m");
    const CommandResult r =
        Tool("-q --no-luma --no-chroma - - <" + ShellQuote(in) + " >" + ShellQuote(out));
    ASSERT_EQ(r.exit_code, 0) << name << ": " << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    if (c.depth == 8) {
      EXPECT_EQ(ReadFile(out), ReadFile(in)) << name;
      continue;
    }
    Y4mHeader header;
    const std::vector<Picture> back = ReadClip(out, &header);
    EXPECT_EQ(FormatY4mHeader(header), FormatY4mHeader(MakeY4mHeader(f))) << name;
    ASSERT_EQ(back.size(), frames.size()) << name;
    // 16 bits pass through the host's 12-bit scale; see the conversion tests.
    const int32_t tolerance = c.depth <= 12 ? 1 : 8;
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_LE(MaxDifference(back[i], frames[i]), tolerance) << name;
  }
}

TEST_F(ToolTest, FilteringChangesTheFrame) {
  std::vector<Picture> frames;
  const std::string in = Clip("in.y4m", MakeFormat(32, 16, ChromaLayout::k420), 1, &frames);
  const CommandResult r =
      Tool("-q --luma-a 4 --luma-b 3 " + ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Picture> back = ReadClip(Path("out.y4m"));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_NE(back[0].planes[0], frames[0].planes[0]);
  EXPECT_NE(back[0].planes[1], frames[0].planes[1]);  // the chroma radii follow with sync_sliders
}

TEST_F(ToolTest, SyncSlidersDecidesWhetherLumaSettingsReachChroma) {
  std::vector<Picture> frames;
  const std::string in = Clip("in.y4m", MakeFormat(32, 16, ChromaLayout::k444), 1, &frames);
  // A luma mask of radius 1 given alone: with sync_sliders the chroma mask
  // follows and the chroma planes are smoothed; without, the default
  // chroma radii exceed this small spectrum and leave them as they were.
  for (const bool sync : {true, false}) {
    const std::string flags = std::string("-q --no-luma --luma-a 1 --luma-b 1 ") +
                              (sync ? "--sync-sliders " : "--no-sync-sliders ");
    const CommandResult r = Tool(flags + ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<Picture> back = ReadClip(Path("out.y4m"));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].planes[0], frames[0].planes[0]) << "luma is off";
    int32_t worst = 0;
    for (size_t i = 0; i < frames[0].planes[1].size(); ++i) {
      worst = std::max(worst, std::abs(back[0].planes[1][i] - frames[0].planes[1][i]));
    }
    if (sync) {
      EXPECT_GT(worst, 20);
    } else {
      EXPECT_LE(worst, 1);
    }
  }
}

TEST_F(ToolTest, StartAndFramesPickFrames) {
  std::vector<Picture> frames;
  const std::string in = Clip("in.y4m", MakeFormat(8, 4, ChromaLayout::k444), 5, &frames);
  const CommandResult r = Tool("-q --no-luma --no-chroma --start 1 --frames 2 " + ShellQuote(in) +
                               " " + ShellQuote(Path("out.y4m")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<Picture> back = ReadClip(Path("out.y4m"));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].planes[0], frames[1].planes[0]);
  EXPECT_EQ(back[1].planes[0], frames[2].planes[0]);
}

TEST_F(ToolTest, SummaryUnlessQuiet) {
  const std::string in = Clip("in.y4m", MakeFormat(8, 4, ChromaLayout::k420), 3);
  CommandResult r = Tool(ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("devidoriv: 3 frames, 8x4 420jpeg"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line when stderr is a file";
  r = Tool("--quiet " + ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(ToolTest, HelpListsTheDefaultsOfTheModule) {
  const CommandResult r = Tool("--help");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("--luma-a N"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[160, 1 ... 1281]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--no-chroma"), std::string::npos) << r.out;
}

TEST_F(ToolTest, SnapshotsAreRgbPngsOfTheFrame) {
  const std::string in = Clip("in.y4m", MakeFormat(24, 10, ChromaLayout::k420), 2);
  const CommandResult r = Tool("-q --show-spectrum --snapshot 1:" + ShellQuote(Path("after.png")) +
                               " --snapshot-input 1:" + ShellQuote(Path("before.png")) + " " +
                               ShellQuote(in) + " " + ShellQuote(Path("out.y4m")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* name : {"after.png", "before.png"}) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, Path(name).c_str())) << name << png.message;
    EXPECT_EQ(png.width, 24u) << name;
    EXPECT_EQ(png.height, 10u) << name;
    png_image_free(&png);
  }
  EXPECT_NE(ReadFile(Path("after.png")), ReadFile(Path("before.png")));
}

// ffmpeg as the peer: it writes the clip, the tool filters it, and ffmpeg
// reads the result back with the same format and frame count.
bool HaveFfmpeg() { return RunCommand("command -v ffmpeg && command -v ffprobe").exit_code == 0; }

TEST_F(ToolTest, FfmpegReadsBackWhatTheToolWrites) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const char* pix_fmt :
       {"yuv420p", "yuv444p", "yuv420p10le", "yuv444p10le", "yuv422p", "gray"}) {
    const std::string in = Path("in.y4m"), out = Path("out.y4m");
    CommandResult r = RunCommand(
        "ffmpeg -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 5 "
        "-pix_fmt " +
        std::string(pix_fmt) + " -strict -1 -f yuv4mpegpipe " + ShellQuote(in));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = Tool("-q --luma-a 20 --luma-b 15 " + ShellQuote(in) + " " + ShellQuote(out));
    ASSERT_EQ(r.exit_code, 0) << pix_fmt << ": " << r.err;
    r = RunCommand(
        "ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,nb_read_frames "
        "-of csv=p=0 " +
        ShellQuote(out));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "96,64," + std::string(pix_fmt) + ",5\n") << pix_fmt;
    // The header keeps ffmpeg's tags.
    const std::string in_data = ReadFile(in), out_data = ReadFile(out);
    EXPECT_EQ(out_data.substr(0, out_data.find('\n')), in_data.substr(0, in_data.find('\n')))
        << pix_fmt;
  }
}

TEST_F(ToolTest, FfmpegPipesThroughTheTool) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string out = Path("out.y4m");
  const CommandResult r = RunCommand(
      "set -e; ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 4 -pix_fmt "
      "yuv420p "
      "-f yuv4mpegpipe - | " +
      ShellQuote(test::ToolPath()) +
      " -q --luma-a 10 - - | "
      "ffmpeg -v error -y -i - -f yuv4mpegpipe " +
      ShellQuote(out));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const CommandResult probe = RunCommand(
      "ffprobe -v error -count_frames -show_entries stream=pix_fmt,nb_read_frames -of csv=p=0 " +
      ShellQuote(out));
  EXPECT_EQ(probe.out, "yuv420p,4\n") << probe.err;
}

}  // namespace
}  // namespace devidoriv::tool
