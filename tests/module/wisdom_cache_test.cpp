// The wisdom cache through the module, as the editor runs it: OnInit
// imports the file, a measured rebuild writes it. Bad files and folders
// change nothing in the frame; the default locations; writers at the same
// time never leave a torn file.
#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#include "engine/wisdom.h"
#include "engine/workspace.h"
#include "tests/support/module_fixture.h"
#include "tests/support/wisdom_files.h"

namespace {

using devidoriv_test::FillPattern;
using devidoriv_test::fs::path;
using devidoriv_test::Listing;
using devidoriv_test::ModuleTest;
using devidoriv_test::ReadBytes;
using devidoriv_test::ScopedEnv;
using devidoriv_test::ScratchFolder;
using devidoriv_test::WriteBytes;
using hostlib::Frame;
namespace track = devidoriv::track;

constexpr int32_t kWidth = 48;
constexpr int32_t kHeight = 32;

// FFTW's wisdom in this process, as text.
std::string ProcessWisdom() {
  char* text = fftwf_export_wisdom_to_string();
  std::string s = text ? text : "";
  std::free(text);
  return s;
}

// This process's wisdom after measured plans of the test frame, as the
// module makes them: a valid cache file for this FFTW.
std::string MeasuredWisdom() {
  ScopedEnv off("DEVIDORIV_WISDOM", path("off"));
  devidoriv::TransformWorkspace ws;
  EXPECT_TRUE(devidoriv::EnsureWorkspace(ws, kWidth, kHeight, 1, 1));
  devidoriv::ReleaseWorkspace(ws);
  return ProcessWisdom();
}

// The lines of wisdom text: the header, one line per entry, ")".
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// An entry "  (solver id #xl #xu #xt #xs0 #xs1 #xs2 #xs3)" with the
// problem's hash replaced: the same solution, for a problem no planner
// has seen.
std::string WithFreshHash(const std::string& entry) {
  size_t at = 0;
  for (int i = 0; i < 4; ++i) at = entry.find("#x", at) + 2;  // skip #xl, #xu, #xt
  return entry.substr(0, entry.find("#x", at)) + "#x1 #x2 #x3 #x4)";
}

// The entries with their solver names (and ids) moved on by one: wisdom
// with this FFTW's signature that names the wrong solver for most
// problems, like a file from a machine with other processor features.
std::string WithSolversRotated(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  const size_t first = 1, end = lines.size() - 1;
  std::vector<std::string> solvers, rests;
  for (size_t i = first; i < end; ++i) {
    const size_t hash = lines[i].find(" #x");
    solvers.push_back(lines[i].substr(0, hash));
    rests.push_back(lines[i].substr(hash));
  }
  for (size_t i = 0; i < solvers.size(); ++i) {
    lines[first + i] = solvers[(i + 1) % solvers.size()] + rests[i];
  }
  return Joined(lines);
}

class WisdomCacheTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    host_.SetTrack(track::threads, 1);
    host_.SetSaving(true);  // measured planning, which writes the cache
    input_.emplace(kWidth, kHeight);
    FillPattern(*input_, 15);
  }

  // The module's output after a start with this cache setting: OnExit,
  // OnInit (which imports), one frame (whose measured planning exports).
  Frame Render(const std::optional<path>& setting) {
    ScopedEnv cache("DEVIDORIV_WISDOM", setting);
    host_.Exit();
    host_.Init();
    Frame frame = *input_;
    EXPECT_EQ(host_.Process(frame), 1);
    return frame;
  }

  std::optional<Frame> input_;
};

// What a case leaves for DEVIDORIV_WISDOM to name.
struct Prepared {
  path file;
  // Bytes the file must still hold when the module cannot replace it.
  std::optional<std::string> kept = std::nullopt;
  std::function<void()> release = [] {};
  // What was there is still there, as it was (its kind of file).
  std::function<bool()> intact = [] { return true; };
};

struct BadCacheCase {
  const char* what;
  // Makes the case in an empty folder; nullopt where the process cannot
  // bring it about (a permission that does not bind root).
  std::function<std::optional<Prepared>(const path& folder)> make;
  // The frame's measured planning replaces it with good wisdom.
  bool rewritten;
  // FFTW takes the file (its signature is right) and finds out at
  // planning time that it is wrong.
  bool accepted = false;
};

#if !defined(_WIN32)
// Whether `file` itself (not what a link names) is of this kind.
bool IsKind(const path& file, mode_t kind) {
  struct stat st;
  return lstat(file.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}
#endif

int MaxDifference(const Frame& a, const Frame& b) {
  int most = 0;
  for (size_t i = 0; i < a.image.size(); ++i) {
    for (int d : {a.image[i].y - b.image[i].y, a.image[i].cb - b.image[i].cb,
                  a.image[i].cr - b.image[i].cr}) {
      most = std::max(most, std::abs(d));
    }
  }
  return most;
}

TEST_F(WisdomCacheTest, BadCachesFilterAsWithoutOne) {
  const std::string valid = MeasuredWisdom();
  const std::vector<std::string> lines = Lines(valid);
  ASSERT_GE(lines.size(), 3u) << valid;
  std::string other_version = valid;
  const size_t version = other_version.find('-') + 1;
  other_version.replace(version, other_version.find(' ') - version, "2.1.5");
  std::string double_precision = valid;
  double_precision.replace(double_precision.find(" fftwf_wisdom "), 14, " fftw_wisdom ");
  const std::string other_build = lines[0].substr(0, lines[0].find("#x")) + "#x1 #x2 #x3 #x4\n" +
                                  Joined(std::vector<std::string>(lines.begin() + 1, lines.end()));
  // A good entry for a new problem first, so that a partial import would
  // show in the wisdom.
  const std::string bad_last_entry =
      Joined({lines[0], WithFreshHash(lines[1]),
              "  (fftwf_no_such_solver 0 #x0 #x0 #x0 #x0 #x0 #x0 #x0)", ")"});

  auto file_with = [](const std::string& bytes) {
    return [bytes](const path& folder) -> std::optional<Prepared> {
      const path file = folder / "fftw-wisdom.txt";
      WriteBytes(file, bytes);
      return Prepared{file, bytes};
    };
  };
  const BadCacheCase cases[] = {
      {"missing file", [](const path& f) { return Prepared{f / "fftw-wisdom.txt"}; }, true},
      {"missing folders", [](const path& f) { return Prepared{f / "a" / "b" / "w.txt"}; }, true},
      {"empty file", file_with(""), true},
      {"garbage", file_with("not wisdom\n(fftw-3 (()))\n"), true},
      {"binary bytes", file_with(std::string("\0\xff(fftw-\0\x01\x80", 9)), true},
      {"truncated", file_with(valid.substr(0, valid.size() / 2)), true},
      {"another FFTW version", file_with(other_version), true},
      {"double-precision wisdom", file_with(double_precision), true},
      {"another build's signature", file_with(other_build), true},
      {"good entries, then an unknown solver", file_with(bad_last_entry), true},
      {"larger than the limit",
       file_with(valid + std::string(devidoriv::kMaxWisdomBytes + 1 - valid.size(), ' ')), true},
      {"a folder in its place",
       [](const path& f) {
         devidoriv_test::fs::create_directories(f / "fftw-wisdom.txt" / "inside");
         return Prepared{f / "fftw-wisdom.txt"};
       },
       false},
      {"a file in place of its folder",
       [](const path& f) {
         WriteBytes(f / "cache", "a file");
         return Prepared{f / "cache" / "fftw-wisdom.txt"};
       },
       false},
#if defined(_WIN32)
      {"held open by another program without sharing",
       [valid](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         WriteBytes(file, valid);
         HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
         if (held == INVALID_HANDLE_VALUE) return std::nullopt;
         return Prepared{file, valid, [held] { CloseHandle(held); }};
       },
       false},
#else
      // Only a regular file or a missing one is replaced: a FIFO, a device
      // (DEVIDORIV_WISDOM=/dev/null) and a link stay as they are.
      {"a FIFO",
       [](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         if (mkfifo(file.c_str(), 0600) != 0) return std::nullopt;
         return Prepared{file, std::nullopt, [] {}, [file] { return IsKind(file, S_IFIFO); }};
       },
       false},
      {"a character device like /dev/null (as root)",
       [](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         if (mknod(file.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) return std::nullopt;
         return Prepared{file, std::nullopt, [] {}, [file] { return IsKind(file, S_IFCHR); }};
       },
       false},
      {"a symbolic link to a file",
       [](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         WriteBytes(f / "target.txt", "the link's target\n");
         if (symlink("target.txt", file.c_str()) != 0) return std::nullopt;
         return Prepared{file, "the link's target\n", [] {},
                         [file] { return IsKind(file, S_IFLNK); }};
       },
       false},
      {"unreadable",
       [valid](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         WriteBytes(file, valid);
         chmod(file.c_str(), 0);
         if (!ReadBytes(file).empty()) return std::nullopt;  // root reads it anyway
         return Prepared{file};
       },
       true},
      {"read-only folder",
       [](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         WriteBytes(file, "old contents\n");
         chmod(f.c_str(), 0555);
         const bool writable = access(f.c_str(), W_OK) == 0;
         Prepared p{file, "old contents\n", [f] { chmod(f.c_str(), 0755); }};
         if (writable) {
           p.release();
           return std::nullopt;
         }
         return p;
       },
       false},
      {"disk full while writing",
       [](const path& f) -> std::optional<Prepared> {
         const path file = f / "fftw-wisdom.txt";
         WriteBytes(file, "old contents\n");
         rlimit old_limit;
         getrlimit(RLIMIT_FSIZE, &old_limit);
         rlimit small = old_limit;
         small.rlim_cur = 16;
         // Beyond the limit a write fails with EFBIG instead of a signal.
         auto old_handler = signal(SIGXFSZ, SIG_IGN);
         setrlimit(RLIMIT_FSIZE, &small);
         return Prepared{file, "old contents\n", [old_limit, old_handler] {
                           setrlimit(RLIMIT_FSIZE, &old_limit);
                           signal(SIGXFSZ, old_handler);
                         }};
       },
       false},
#endif
      {"this FFTW's wisdom naming the wrong solvers", file_with(WithSolversRotated(valid)), true,
       true},
  };

  ScratchFolder scratch("bad-caches");
  int row = 0;
  for (const BadCacheCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Frame reference = Render(path("off"));
    const path folder = scratch.path() / std::to_string(row++);
    devidoriv_test::fs::create_directories(folder);
    std::optional<Prepared> prepared = c.make(folder);
    if (!prepared) continue;
    const std::set<path> before = Listing(folder);

    // Refused files leave FFTW's wisdom exactly as it was.
    const std::string wisdom = ProcessWisdom();
    EXPECT_EQ(devidoriv::ImportWisdomFile(devidoriv::kFftwApi, prepared->file.c_str()),
              c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(ProcessWisdom(), wisdom);
    }

    const Frame output = Render(prepared->file);
    prepared->release();
    if (c.accepted) {
      // FFTW forgets the bad wisdom and plans anew: the same up to rounding.
      EXPECT_LE(MaxDifference(output, reference), 1);
    } else {
      EXPECT_TRUE(output.image == reference.image);
    }
    EXPECT_TRUE(output.scratch == reference.scratch);

    std::set<path> expected = before;
    if (c.rewritten) {
      for (path p = devidoriv_test::fs::relative(prepared->file, folder); !p.empty();
           p = p.parent_path()) {
        expected.insert(p);
      }
      EXPECT_TRUE(devidoriv::ImportWisdomFile(devidoriv::kFftwApi, prepared->file.c_str()));
    } else if (prepared->kept) {
      EXPECT_EQ(ReadBytes(prepared->file), *prepared->kept);
    }
    EXPECT_TRUE(prepared->intact());
    // Nothing left behind: no temporary file, no folder beyond the path.
    EXPECT_EQ(Listing(folder), expected);
  }
}

struct LocationCase {
  const char* what;
  std::vector<std::pair<const char*, std::optional<path>>> environment;
  // The folder the file goes to, or the file itself when named; nullopt
  // for no cache at all.
  std::optional<path> location;
  bool named = false;
};

TEST_F(WisdomCacheTest, DefaultLocationsAndRoundTrip) {
  // A user name beyond ASCII, as Windows hands it over in UTF-16.
  ScratchFolder scratch(u8"Zo\u00eb \u30e6\u30fc\u30b6\u30fc");
  const path base = scratch.path();
  const std::optional<path> unset;
#if defined(_WIN32)
  const char* const kDefault = "LOCALAPPDATA";
  const LocationCase cases[] = {
      {"LOCALAPPDATA", {{"DEVIDORIV_WISDOM", unset}, {kDefault, base / "Local"}},
       base / "Local" / "Devidoriv"},
      {"empty DEVIDORIV_WISDOM", {{"DEVIDORIV_WISDOM", path()}, {kDefault, base / "L2"}},
       base / "L2" / "Devidoriv"},
      {"no LOCALAPPDATA", {{"DEVIDORIV_WISDOM", unset}, {kDefault, unset}}, std::nullopt},
#else
  const LocationCase cases[] = {
      {"XDG_CACHE_HOME",
       {{"DEVIDORIV_WISDOM", unset}, {"XDG_CACHE_HOME", base / "xdg"}, {"HOME", base / "home"}},
       base / "xdg" / "devidoriv"},
      {"HOME, past a relative XDG_CACHE_HOME",
       {{"DEVIDORIV_WISDOM", unset}, {"XDG_CACHE_HOME", path("rel")}, {"HOME", base / "home"}},
       base / "home" / ".cache" / "devidoriv"},
      {"HOME", {{"DEVIDORIV_WISDOM", unset}, {"XDG_CACHE_HOME", unset}, {"HOME", base / "h2"}},
       base / "h2" / ".cache" / "devidoriv"},
      {"empty DEVIDORIV_WISDOM",
       {{"DEVIDORIV_WISDOM", path()}, {"XDG_CACHE_HOME", base / "x2"}, {"HOME", unset}},
       base / "x2" / "devidoriv"},
      {"no home", {{"DEVIDORIV_WISDOM", unset}, {"XDG_CACHE_HOME", unset}, {"HOME", unset}},
       std::nullopt},
#endif
      {"named file", {{"DEVIDORIV_WISDOM", base / "named" / "cache.txt"}},
       base / "named" / "cache.txt", true},
      {"off", {{"DEVIDORIV_WISDOM", path("off")}}, std::nullopt},
      {"OFF", {{"DEVIDORIV_WISDOM", path("OFF")}}, std::nullopt},
  };
  std::string default_name;
  for (const LocationCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::unique_ptr<ScopedEnv>> environment;
    for (const auto& [name, value] : c.environment) {
      environment.push_back(std::make_unique<ScopedEnv>(name, value));
    }
    devidoriv::WisdomPath resolved;
    const bool found = devidoriv::ResolveWisdomPath(resolved);
    ASSERT_EQ(found, c.location.has_value());

    // The frame is rendered in the environment of the case, which the
    // fixture's cache setting leaves alone.
    host_.Exit();
    host_.Init();
    Frame frame = *input_;
    EXPECT_EQ(host_.Process(frame), 1);
    environment.clear();

    std::set<path> expected;
    if (found) {
      const path file(resolved.text);
      if (c.named) {
        EXPECT_EQ(file, *c.location);
      } else {
        // fftw-wisdom-<arch>.txt, one name for every default location.
        EXPECT_EQ(file.parent_path(), *c.location);
        const std::string name = file.filename().u8string();
        EXPECT_EQ(name.rfind("fftw-wisdom-", 0), 0u) << name;
        EXPECT_EQ(file.extension(), ".txt");
        if (default_name.empty()) default_name = name;
        EXPECT_EQ(name, default_name);
      }
      EXPECT_TRUE(devidoriv::ImportWisdomFile(devidoriv::kFftwApi, file.c_str()));
      for (path p = devidoriv_test::fs::relative(file, base); !p.empty(); p = p.parent_path()) {
        expected.insert(p);
      }
    }
    EXPECT_EQ(Listing(base), expected);
    for (const path& p : Listing(base)) devidoriv_test::fs::remove_all(base / p);
  }
}

// Two writers replace the file over and over while a reader reads it: the
// reader sees one writer's contents or the other's, whole.
TEST(WisdomFiles, ConcurrentWritersNeverTearTheFile) {
  ScratchFolder scratch("concurrent");
  const path file = scratch.path() / "fftw-wisdom.txt";
  const std::string contents[2] = {std::string(128 << 10, 'a') + "\n",
                                   std::string(96 << 10, 'b') + "\n"};
  constexpr int kWrites = 30;
  std::atomic<int> written[2] = {{0}, {0}};
  std::atomic<bool> done{false};
  int reads = 0, torn = 0;
  std::thread reader([&] {
    while (!done) {
      char* text = devidoriv::ReadWholeFile(file.c_str());
      if (!text) continue;
      ++reads;
      if (text != contents[0] && text != contents[1]) ++torn;
      std::free(text);
    }
  });
  std::vector<std::thread> writers;
  for (int k = 0; k < 2; ++k) {
    writers.emplace_back([&, k] {
      for (int i = 0; i < kWrites; ++i) {
        if (devidoriv::ReplaceFileContents(file.c_str(), contents[k].data(), contents[k].size()))
          ++written[k];
      }
    });
  }
  for (std::thread& t : writers) t.join();
  done = true;
  reader.join();

  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
#if defined(_WIN32)
  // A rename can be refused while the reader holds the old file open.
  EXPECT_GT(written[0] + written[1], 0);
#else
  EXPECT_EQ(written[0], kWrites);
  EXPECT_EQ(written[1], kWrites);
#endif
  const std::string last = ReadBytes(file);
  EXPECT_TRUE(last == contents[0] || last == contents[1]);
  EXPECT_EQ(Listing(scratch.path()), std::set<path>{"fftw-wisdom.txt"});
}

}  // namespace
