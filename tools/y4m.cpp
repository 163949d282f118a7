#include "tools/y4m.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <utility>

#include "tools/escape.h"

namespace devidoriv::tool {
namespace {

constexpr std::string_view kStreamMagic = "YUV4MPEG2";
constexpr std::string_view kFrameMagic = "FRAME";

// The depths of the high-bit-depth variants, as the "p10" in "420p10".
constexpr int32_t kDeepDepths[] = {9, 10, 12, 14, 16};

struct LayoutName {
  std::string_view tag;
  ChromaLayout layout;
};
// 8-bit C tags. All four 4:2:0 tags differ only in chroma siting, which
// the tool keeps as written and does not otherwise interpret.
constexpr LayoutName kEightBitTags[] = {
    {"420jpeg", ChromaLayout::k420},  {"420paldv", ChromaLayout::k420},
    {"420mpeg2", ChromaLayout::k420}, {"420", ChromaLayout::k420},
    {"422", ChromaLayout::k422},      {"444", ChromaLayout::k444},
    {"mono", ChromaLayout::kMono},
};
// Prefixes of the deep C tags: the depth follows ("420p10", "mono12").
constexpr LayoutName kDeepPrefixes[] = {
    {"420p", ChromaLayout::k420},
    {"422p", ChromaLayout::k422},
    {"444p", ChromaLayout::k444},
    {"mono", ChromaLayout::kMono},
};

// A decimal number of at most nine digits (so it cannot overflow), digits
// only.
bool ParseNumber(std::string_view text, int64_t* value) {
  if (text.empty() || text.size() > 9 || text[0] < '0' || text[0] > '9') return false;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, *value);
  return status == std::errc() && stop == end;
}

// "num:den" with both parts decimal; 0:0 means unknown.
bool IsRatio(std::string_view text) {
  const size_t colon = text.find(':');
  int64_t n = 0, d = 0;
  return colon != std::string_view::npos && ParseNumber(text.substr(0, colon), &n) &&
         ParseNumber(text.substr(colon + 1), &d) && (d > 0 || n == 0);
}

// Shows a bit of untrusted input in a message.
std::string Excerpt(std::string_view text) {
  constexpr size_t kMaxShown = 24;
  std::string out = Escaped(text.substr(0, kMaxShown), EscapeSet::kNonAscii);
  if (text.size() > kMaxShown) out += "...";
  return out;
}

std::string SupportedChromaTags() {
  return "420jpeg, 420paldv, 420mpeg2, 420, 422, 444, mono, and 420p, 422p, 444p, mono "
         "followed by 9, 10, 12, 14 or 16";
}

// Reads one line, up to kMaxHeaderLine bytes, into *line without its
// newline. Returns the number of bytes consumed (0 at end of input);
// *complete says whether the newline was found.
size_t ReadLine(std::FILE* file, std::string* line, bool* complete) {
  line->clear();
  *complete = false;
  size_t consumed = 0;
  while (consumed < kMaxHeaderLine) {
    const int c = std::getc(file);
    if (c == EOF) break;
    ++consumed;
    if (c == '\n') {
      *complete = true;
      break;
    }
    line->push_back(static_cast<char>(c));
  }
  return consumed;
}

// The buffer of a frame's bytes starts at this size and grows at most by
// doubling with the data read, so that a header promising a huge frame
// costs memory for the bytes the input really holds.
constexpr size_t kFirstFrameChunk = size_t{1} << 20;

// Reads `bytes` bytes into *raw, growing it as the data arrives; returns
// the number read, fewer only at the end of the input or on a read error.
// Once *raw holds a whole frame it is not resized again.
size_t ReadBytes(std::FILE* file, size_t bytes, RawFrame* raw) {
  size_t got = 0;
  while (got < bytes) {
    if (raw->held_bytes() <= got) raw->Hold(std::min(bytes, std::max(2 * got, kFirstFrameChunk)));
    const size_t want = std::min(raw->held_bytes(), bytes) - got;
    const size_t n = std::fread(raw->bytes() + got, 1, want, file);
    got += n;
    if (n < want) break;
  }
  return got;
}

// The stream's 16-bit samples are little-endian words; a RawFrame holds
// them in the machine's order. Swaps the words of a frame on machines where
// the two differ, and does nothing elsewhere.
constexpr bool kStreamWordsNative = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

void SwapBytePairs(uint8_t* bytes, size_t size) {
  for (size_t i = 0; i + 1 < size; i += 2) std::swap(bytes[i], bytes[i + 1]);
}

}  // namespace

bool ParseChromaTag(std::string_view tag, ChromaLayout* layout, int32_t* bit_depth) {
  for (const LayoutName& entry : kEightBitTags) {
    if (tag == entry.tag) {
      *layout = entry.layout;
      *bit_depth = 8;
      return true;
    }
  }
  for (const LayoutName& entry : kDeepPrefixes) {
    if (tag.substr(0, entry.tag.size()) != entry.tag) continue;
    int64_t depth = 0;
    if (!ParseNumber(tag.substr(entry.tag.size()), &depth)) continue;
    for (int32_t d : kDeepDepths) {
      if (depth == d && tag.substr(entry.tag.size()) == std::to_string(d)) {
        *layout = entry.layout;
        *bit_depth = d;
        return true;
      }
    }
  }
  return false;
}

std::string ChromaTagFor(ChromaLayout layout, int32_t bit_depth) {
  std::string tag;
  switch (layout) {
    case ChromaLayout::k420:
      tag = bit_depth > 8 ? "420p" : "420jpeg";
      break;
    case ChromaLayout::k422:
      tag = bit_depth > 8 ? "422p" : "422";
      break;
    case ChromaLayout::k444:
      tag = bit_depth > 8 ? "444p" : "444";
      break;
    case ChromaLayout::kMono:
      tag = "mono";
      break;
  }
  if (bit_depth > 8) tag += std::to_string(bit_depth);
  return tag;
}

namespace {

// What the header's tags said so far.
struct HeaderTags {
  Y4mHeader header;
  int64_t width = -1;  // INT64_MAX for digits that do not fit
  int64_t height = -1;
  std::string seen;  // tag letters met so far, to refuse repeats
};

// The next space-separated token from `pos` on; false at the end.
bool NextToken(std::string_view line, size_t* pos, std::string_view* token) {
  while (*pos < line.size() && line[*pos] == ' ') ++*pos;
  if (*pos >= line.size()) return false;
  size_t end = line.find(' ', *pos);
  if (end == std::string_view::npos) end = line.size();
  *token = line.substr(*pos, end - *pos);
  *pos = end;
  return true;
}

// The value of a W or H tag.
bool ReadSize(std::string_view token, int64_t* size, std::string* error) {
  const std::string_view value = token.substr(1);
  if (ParseNumber(value, size)) return true;
  // Only digits that do not fit are a size beyond the cap.
  if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos) {
    *error = "bad Y4M header: " + std::string(1, token[0]) + " tag '" + Excerpt(token) +
             "' is not a number";
    return false;
  }
  *size = INT64_MAX;
  return true;
}

// A "num:den" tag's value into *out.
bool ReadRatio(std::string_view token, const char* what, std::string* out, std::string* error) {
  if (!IsRatio(token.substr(1))) {
    *error = std::string("bad Y4M header: ") + what + " '" + Excerpt(token) + "' is not " +
             token[0] + "<num>:<den>";
    return false;
  }
  *out = std::string(token.substr(1));
  return true;
}

bool ReadInterlace(std::string_view token, std::string* out, std::string* error) {
  const std::string_view value = token.substr(1);
  if (value.size() != 1 || std::string_view("ptbm?").find(value[0]) == std::string_view::npos) {
    *error = "bad Y4M header: interlacing '" + Excerpt(token) + "' is not Ip, It, Ib, Im or I?";
    return false;
  }
  *out = std::string(value);
  return true;
}

bool ReadChroma(std::string_view token, Y4mHeader* h, std::string* error) {
  const std::string_view value = token.substr(1);
  if (!ParseChromaTag(value, &h->format.layout, &h->format.bit_depth)) {
    *error = "unsupported chroma format C" + Excerpt(value) + " (supported: " +
             SupportedChromaTags() + ")";
    return false;
  }
  h->chroma_tag = std::string(value);
  return true;
}

// One tag into *tags; the first of each letter but X only.
bool ReadTag(std::string_view token, HeaderTags* tags, std::string* error) {
  const char letter = token[0];
  if (letter != 'X') {
    if (tags->seen.find(letter) != std::string::npos) {
      *error = std::string("bad Y4M header: tag ") + letter + " appears twice";
      return false;
    }
    tags->seen += letter;
  }
  Y4mHeader& h = tags->header;
  switch (letter) {
    case 'W':
      return ReadSize(token, &tags->width, error);
    case 'H':
      return ReadSize(token, &tags->height, error);
    case 'C':
      return ReadChroma(token, &h, error);
    case 'F':
      return ReadRatio(token, "frame rate", &h.frame_rate, error);
    case 'A':
      return ReadRatio(token, "aspect", &h.aspect, error);
    case 'I':
      return ReadInterlace(token, &h.interlace, error);
    case 'X':
      h.x_tags.emplace_back(token.substr(1));
      return true;
    default:
      *error = "bad Y4M header: unknown tag '" + Excerpt(token) + "'";
      return false;
  }
}

// Both sizes given, neither empty, both within the cap.
bool CheckFrameSize(int64_t width, int64_t height, std::string* error) {
  if (width < 0 || height < 0) {
    *error = std::string("bad Y4M header: missing ") + (width < 0 ? "W" : "H") + " tag";
    return false;
  }
  const auto shown = [](int64_t v) {
    return v == INT64_MAX ? std::string("(huge)") : std::to_string(v);
  };
  const std::string size = shown(width) + "x" + shown(height);
  if (width == 0 || height == 0) {
    *error = "bad Y4M header: frame size " + size + " is empty";
    return false;
  }
  if (width > kMaxFrameSide || height > kMaxFrameSide) {
    *error = "frame size " + size + " is beyond the cap of " + std::to_string(kMaxFrameSide) +
             " x " + std::to_string(kMaxFrameSide);
    return false;
  }
  return true;
}

// The XCOLORRANGE tags, FULL or LIMITED; the last one holds.
bool ReadColourRange(Y4mHeader* h, std::string* error) {
  constexpr std::string_view kRange = "COLORRANGE=";
  for (const std::string& x : h->x_tags) {
    if (std::string_view(x).substr(0, kRange.size()) != kRange) continue;
    const std::string_view range = std::string_view(x).substr(kRange.size());
    if (range != "FULL" && range != "LIMITED") {
      *error = "bad Y4M header: unknown colour range XCOLORRANGE=" + Excerpt(range) +
               " (FULL or LIMITED)";
      return false;
    }
    h->format.full_range = range == "FULL";
  }
  return true;
}

}  // namespace

bool ParseY4mHeader(std::string_view line, Y4mHeader* header, std::string* error) {
  if (line.substr(0, kStreamMagic.size()) != kStreamMagic ||
      (line.size() > kStreamMagic.size() && line[kStreamMagic.size()] != ' ')) {
    *error = "not a Y4M stream: it starts with '" + Excerpt(line) + "', not YUV4MPEG2";
    return false;
  }
  HeaderTags tags;
  size_t pos = kStreamMagic.size();
  std::string_view token;
  while (NextToken(line, &pos, &token)) {
    if (!ReadTag(token, &tags, error)) return false;
  }
  if (!CheckFrameSize(tags.width, tags.height, error)) return false;
  Y4mHeader& h = tags.header;
  h.format.width = static_cast<int32_t>(tags.width);
  h.format.height = static_cast<int32_t>(tags.height);
  if (!ReadColourRange(&h, error)) return false;
  *header = std::move(h);
  return true;
}

std::string FormatY4mHeader(const Y4mHeader& header) {
  std::string line(kStreamMagic);
  line += " W" + std::to_string(header.format.width);
  line += " H" + std::to_string(header.format.height);
  if (!header.frame_rate.empty()) line += " F" + header.frame_rate;
  if (!header.interlace.empty()) line += " I" + header.interlace;
  if (!header.aspect.empty()) line += " A" + header.aspect;
  if (!header.chroma_tag.empty()) line += " C" + header.chroma_tag;
  for (const std::string& x : header.x_tags) line += " X" + x;
  line += '\n';
  return line;
}

// Reader.

Y4mReader::~Y4mReader() {
  if (owns_file_ && file_ != nullptr) std::fclose(file_);
}

bool Y4mReader::Open(const std::string& path, std::string* error) {
  if (path == "-") return Open(stdin, error);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open input: " + std::string(std::strerror(errno));
    return false;
  }
  file_ = file;
  owns_file_ = true;
  return ReadHeader(error);
}

bool Y4mReader::Open(std::FILE* stream, std::string* error) {
  file_ = stream;
  owns_file_ = false;
  return ReadHeader(error);
}

bool Y4mReader::ReadHeader(std::string* error) {
  bool complete = false;
  const size_t consumed = ReadLine(file_, &line_, &complete);
  if (std::ferror(file_)) {
    *error = "read error: " + std::string(std::strerror(errno));
    return false;
  }
  if (consumed == 0) {
    *error = "empty input: no Y4M stream header";
    return false;
  }
  if (!complete) {
    if (line_.substr(0, kStreamMagic.size()) != kStreamMagic) {
      return ParseY4mHeader(line_, &header_, error);  // says it is not Y4M
    }
    *error = consumed >= kMaxHeaderLine
                 ? "bad Y4M header: longer than " + std::to_string(kMaxHeaderLine) + " bytes"
                 : "truncated Y4M header: the input ends before its newline";
    return false;
  }
  header_bytes_ = static_cast<int64_t>(consumed);
  return ParseY4mHeader(line_, &header_, error);
}

ReadStatus Y4mReader::ReadFrameBytes(RawFrame* frame, std::string* params, std::string* error) {
  // Built only for messages, so that a good frame costs no allocation.
  const auto where = [this] { return "frame " + std::to_string(frames_read_); };
  bool complete = false;
  const size_t consumed = ReadLine(file_, &line_, &complete);
  if (std::ferror(file_)) {
    *error = "read error at " + where() + ": " + std::strerror(errno);
    return ReadStatus::kError;
  }
  if (consumed == 0) return ReadStatus::kEnd;
  const bool magic = line_.compare(0, kFrameMagic.size(), kFrameMagic) == 0 &&
                     (line_.size() == kFrameMagic.size() || line_[kFrameMagic.size()] == ' ');
  const bool cut_magic = !complete && line_.size() < kFrameMagic.size() &&
                         kFrameMagic.substr(0, line_.size()) == line_;
  if (!complete && consumed < kMaxHeaderLine && (magic || cut_magic)) {
    *error = "truncated frame header at " + where();
    return ReadStatus::kError;
  }
  if (!magic) {
    *error = "bad frame header at " + where() + ": expected FRAME, found '" + Excerpt(line_) + "'";
    return ReadStatus::kError;
  }
  if (!complete) {
    *error = "bad frame header at " + where() + ": longer than " + std::to_string(kMaxHeaderLine) +
             " bytes";
    return ReadStatus::kError;
  }
  params->clear();
  if (line_.size() > kFrameMagic.size()) params->append(line_, kFrameMagic.size() + 1);

  const size_t frame_bytes = header_.format.frame_bytes();
  const size_t got = ReadBytes(file_, frame_bytes, frame);
  if (got != frame_bytes) {
    if (std::ferror(file_)) {
      *error = "read error at " + where() + ": " + std::strerror(errno);
    } else {
      *error = "truncated " + where() + ": " + std::to_string(got) + " of " +
               std::to_string(frame_bytes) + " bytes";
    }
    return ReadStatus::kError;
  }
  frame->SetFormat(header_.format);
  ++frames_read_;
  return ReadStatus::kFrame;
}

ReadStatus Y4mReader::ReadFrame(RawFrame* frame, std::string* params, std::string* error) {
  const ReadStatus status = ReadFrameBytes(frame, params, error);
  if (status == ReadStatus::kFrame && !kStreamWordsNative && header_.format.bit_depth > 8) {
    SwapBytePairs(frame->bytes(), header_.format.frame_bytes());
  }
  return status;
}

int64_t Y4mReader::EstimateFrameCount() const {
  struct stat st;
  if (file_ == nullptr || fstat(fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const int64_t per_frame =
      static_cast<int64_t>(kFrameMagic.size() + 1 + header_.format.frame_bytes());
  const int64_t body = static_cast<int64_t>(st.st_size) - header_bytes_;
  return body > 0 ? body / per_frame : 0;
}

// Writer.

Y4mWriter::~Y4mWriter() {
  if (owns_file_ && file_ != nullptr) std::fclose(file_);
}

bool Y4mWriter::Open(const std::string& path, std::string* error) {
  if (path == "-") return Open(stdout, error);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot open output: " + std::string(std::strerror(errno));
    return false;
  }
  path_ = path;
  file_ = file;
  owns_file_ = true;
  return true;
}

bool Y4mWriter::Open(std::FILE* stream, std::string* /*error*/) {
  file_ = stream;
  owns_file_ = false;
  return true;
}

bool Y4mWriter::Fail(std::string* error) {
  *error = "cannot write output: " + std::string(std::strerror(errno));
  return false;
}

bool Y4mWriter::WriteHeader(const Y4mHeader& header, std::string* error) {
  format_ = header.format;
  const std::string line = FormatY4mHeader(header);
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) return Fail(error);
  return true;
}

bool Y4mWriter::WriteFrame(const RawFrame& frame, const std::string& params, std::string* error) {
  const size_t size = format_.frame_bytes();
  if (kStreamWordsNative || format_.bit_depth <= 8) {
    return WriteBytes(frame.bytes(), size, params, error);
  }
  raw_.assign(frame.bytes(), frame.bytes() + size);
  SwapBytePairs(raw_.data(), size);
  return WriteBytes(raw_.data(), size, params, error);
}

bool Y4mWriter::WriteBytes(const uint8_t* bytes, size_t size, const std::string& params,
                           std::string* error) {
  line_.assign(kFrameMagic);
  if (!params.empty()) line_.append(" ").append(params);
  line_ += '\n';
  if (std::fwrite(line_.data(), 1, line_.size(), file_) != line_.size() ||
      std::fwrite(bytes, 1, size, file_) != size) {
    return Fail(error);
  }
  return true;
}

bool Y4mWriter::Close(std::string* error) {
  if (file_ == nullptr) return true;
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  if (!ok) Fail(error);
  if (owns_file_ && std::fclose(file_) != 0 && ok) ok = Fail(error);
  file_ = nullptr;
  return ok;
}

}  // namespace devidoriv::tool
