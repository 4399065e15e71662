#include "engine/journal_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <functional>

namespace skorvatin {

namespace {

// Version 2 adds the folder's volume, how far its numbers hold, and each file's size and times.
constexpr std::string_view kPlanHead = "skorvatin-journal plan 2\n";
constexpr std::string_view kPlanHeadWithoutStamps = "skorvatin-journal plan 1\n";
constexpr std::string_view kEndHead = "skorvatin-journal end 1\n";
constexpr std::string_view kCrcTag = "crc32c ";
// "crc32c " + eight hex digits + "\n"
constexpr std::size_t kCrcLineSize = 16;

// A line per file holds at least two numbers, three lengths and their separators: "0 0 0: 0: 0:\n".
constexpr std::size_t kShortestFileLine = 13;

using CrcTable = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTable makeCrcTable() {
  CrcTable t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr CrcTable kCrc = makeCrcTable();

std::string_view kindWord(BatchKind kind) {
  switch (kind) {
    case BatchKind::Numbering:
      return "numbering";
    case BatchKind::Conversion:
      return "conversion";
    case BatchKind::Undo:
      return "undo";
    case BatchKind::Recovery:
      return "recovery";
  }
  return "?";
}

std::optional<BatchKind> kindOf(std::string_view word) {
  for (BatchKind k : {BatchKind::Numbering, BatchKind::Conversion, BatchKind::Undo, BatchKind::Recovery}) {
    if (word == kindWord(k)) return k;
  }
  return std::nullopt;
}

std::string_view outcomeWord(BatchOutcome outcome) {
  switch (outcome) {
    case BatchOutcome::Done:
      return "done";
    case BatchOutcome::Stopped:
      return "stopped";
    case BatchOutcome::RolledBack:
      return "rolled-back";
  }
  return "?";
}

std::string_view identityWord(Identity identity) {
  switch (identity) {
    case Identity::Lasting:
      return "lasting";
    case Identity::ThisMount:
      return "mount";
    case Identity::None:
      return "none";
  }
  return "?";
}

std::optional<Identity> identityOf(std::string_view word) {
  for (Identity i : {Identity::Lasting, Identity::ThisMount, Identity::None}) {
    if (word == identityWord(i)) return i;
  }
  return std::nullopt;
}

std::optional<BatchOutcome> outcomeOf(std::string_view word) {
  for (BatchOutcome o : {BatchOutcome::Done, BatchOutcome::Stopped, BatchOutcome::RolledBack}) {
    if (word == outcomeWord(o)) return o;
  }
  return std::nullopt;
}

void putNumber(std::string& out, std::uint64_t value) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::size_t digits(std::uint64_t value) {
  std::size_t n = 1;
  for (; value >= 10; value /= 10) ++n;
  return n;
}

std::size_t digits(std::int64_t value) {
  return value < 0 ? 1 + digits(0 - static_cast<std::uint64_t>(value))
                   : digits(static_cast<std::uint64_t>(value));
}

void putBytes(std::string& out, std::string_view bytes) {
  putNumber(out, bytes.size());
  out.push_back(':');
  out.append(bytes);
}

void putCrcLine(std::string& out, std::uint32_t crc) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.append(kCrcTag);
  for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kHex[(crc >> shift) & 0xF]);
  out.push_back('\n');
}

// Checks the last line against the rest and gives back the rest, or why it does not match.
std::optional<std::string_view> checkedBody(std::string_view bytes, std::string_view head,
                                            std::string& problem) {
  if (bytes.substr(0, head.size()) != head) {
    if (bytes.substr(0, 18) == "skorvatin-journal ") {
      problem = "nieznana wersja dziennika";
    } else {
      problem = "to nie jest dziennik programu";
    }
    return std::nullopt;
  }
  if (bytes.size() < head.size() + kCrcLineSize || bytes.back() != '\n') {
    problem = "dziennik jest ucięty";
    return std::nullopt;
  }
  const std::string_view body = bytes.substr(0, bytes.size() - kCrcLineSize);
  const std::string_view line = bytes.substr(body.size());
  if (body.back() != '\n' || line.substr(0, kCrcTag.size()) != kCrcTag) {
    problem = "dziennik jest ucięty";
    return std::nullopt;
  }
  std::uint32_t stored = 0;
  for (std::size_t i = kCrcTag.size(); i < kCrcLineSize - 1; ++i) {
    const char c = line[i];
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      problem = "dziennik jest ucięty";
      return std::nullopt;
    }
    stored = (stored << 4) | digit;
  }
  if (crc32c(body) != stored) {
    problem = "suma kontrolna dziennika się nie zgadza";
    return std::nullopt;
  }
  return body.substr(head.size());
}

// Reads the body field by field; the first thing out of place fails the whole read. Numbers are
// plain decimal without leading zeros, so every journal has exactly one spelling.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool literal(std::string_view word) {
    if (!ok_ || text_.substr(pos_, word.size()) != word) return fail();
    pos_ += word.size();
    return true;
  }
  std::uint64_t number() {
    if (!ok_) return 0;
    const char* begin = text_.data() + pos_;
    std::uint64_t value = 0;
    // from_chars takes no sign and no blanks; "07" would be a second spelling of 7.
    const auto result = std::from_chars(begin, text_.data() + text_.size(), value);
    if (result.ec != std::errc{} || (*begin == '0' && result.ptr - begin > 1)) {
      fail();
      return 0;
    }
    pos_ += static_cast<std::size_t>(result.ptr - begin);
    return value;
  }
  std::int64_t signedNumber() {
    const bool negative = ok_ && pos_ < text_.size() && text_[pos_] == '-';
    if (negative) ++pos_;
    const std::uint64_t magnitude = number();
    // "-0" would be a second spelling of 0.
    if (negative && magnitude == 0) fail();
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (magnitude > limit) {
      fail();
      return 0;
    }
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  }
  std::string_view word() {
    if (!ok_) return {};
    const std::size_t end = text_.find_first_of(" \n", pos_);
    if (end == std::string_view::npos || end == pos_) {
      fail();
      return {};
    }
    const std::string_view w = text_.substr(pos_, end - pos_);
    pos_ = end;
    return w;
  }
  std::string bytes() {
    const std::uint64_t size = number();
    if (!literal(":")) return {};
    if (size > text_.size() - pos_) {
      fail();
      return {};
    }
    std::string out(text_.substr(pos_, static_cast<std::size_t>(size)));
    pos_ += static_cast<std::size_t>(size);
    return out;
  }
  std::size_t left() const { return text_.size() - pos_; }
  bool atEnd() const { return ok_ && pos_ == text_.size(); }
  bool ok() const { return ok_; }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

std::uint32_t crc32c(std::string_view bytes, std::uint32_t crc) {
  crc = ~crc;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  if constexpr (std::endian::native == std::endian::little) {
    while (n >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, 8);
      word ^= crc;
      crc = kCrc[7][word & 0xFF] ^ kCrc[6][(word >> 8) & 0xFF] ^ kCrc[5][(word >> 16) & 0xFF] ^
            kCrc[4][(word >> 24) & 0xFF] ^ kCrc[3][(word >> 32) & 0xFF] ^ kCrc[2][(word >> 40) & 0xFF] ^
            kCrc[1][(word >> 48) & 0xFF] ^ kCrc[0][word >> 56];
      p += 8;
      n -= 8;
    }
  }
  for (; n > 0; --n, ++p) crc = kCrc[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void writePlan(const BatchPlan& plan, const std::function<void(std::string_view)>& write) {
  // A large plan goes out in pieces through one small buffer: a buffer the size of the whole
  // journal would cost more in fresh pages than the writing itself.
  constexpr std::size_t kPiece = 64 * 1024;
  std::string out;
  out.reserve(kPiece + 256 + plan.folderPath.size());
  std::uint32_t crc = 0;
  const auto flush = [&] {
    crc = crc32c(out, crc);
    write(out);
    out.clear();
  };

  out.append(kPlanHead);
  out.append("kind ");
  out.append(kindWord(plan.kind));
  out.append("\ntakes-back ");
  putNumber(out, plan.takesBack);
  out.append("\nfolder ");
  putNumber(out, plan.folder.device);
  out.push_back(' ');
  putNumber(out, plan.folder.inode);
  out.push_back(' ');
  putBytes(out, plan.folderPath);
  out.append("\nvolume ");
  putBytes(out, plan.volume.uuid);
  out.push_back(' ');
  putBytes(out, plan.volume.label);
  out.push_back(' ');
  putBytes(out, plan.volume.inside);
  out.append("\nidentity ");
  out.append(identityWord(plan.identity));
  out.append("\nbegun ");
  out.append(std::to_string(plan.begun));
  out.append("\nfiles ");
  putNumber(out, plan.files.size());
  out.push_back('\n');

  // Each line is sized first and then filled in place, which is several times faster than
  // appending it piece by piece.
  for (const PlannedFile& f : plan.files) {
    // A file without a stamp is written with a zero one, which matches no file found later.
    const FileStamp stamp = f.stamp.value_or(FileStamp{});
    const std::size_t line = digits(f.id.device) + digits(f.id.inode) + digits(stamp.size) +
                             digits(stamp.modified) + digits(stamp.born) + digits(f.original.size()) +
                             digits(f.temporary.size()) + digits(f.final.size()) + f.original.size() +
                             f.temporary.size() + f.final.size() + 11;
    if (out.size() + line > kPiece && !out.empty()) flush();
    const std::size_t at = out.size();
    out.resize(at + line);
    char* p = out.data() + at;
    p = std::to_chars(p, p + 20, f.id.device).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 20, f.id.inode).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 20, stamp.size).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 20, stamp.modified).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 20, stamp.born).ptr;
    for (const std::string* name : {&f.original, &f.temporary, &f.final}) {
      *p++ = ' ';
      p = std::to_chars(p, p + 20, name->size()).ptr;
      *p++ = ':';
      std::memcpy(p, name->data(), name->size());
      p += name->size();
    }
    *p = '\n';
  }
  crc = crc32c(out, crc);
  putCrcLine(out, crc);
  write(out);
}

std::string writePlan(const BatchPlan& plan) {
  std::string whole;
  writePlan(plan, [&whole](std::string_view piece) { whole.append(piece); });
  return whole;
}

PlanRead readPlan(std::string_view bytes) {
  PlanRead read;
  const bool stamped = bytes.substr(0, kPlanHeadWithoutStamps.size()) != kPlanHeadWithoutStamps;
  const auto body = checkedBody(bytes, stamped ? kPlanHead : kPlanHeadWithoutStamps, read.problem);
  if (!body) return read;
  Cursor in(*body);
  BatchPlan plan;
  in.literal("kind ");
  const auto kind = kindOf(in.word());
  in.literal("\ntakes-back ");
  plan.takesBack = in.number();
  in.literal("\nfolder ");
  plan.folder.device = in.number();
  in.literal(" ");
  plan.folder.inode = in.number();
  in.literal(" ");
  plan.folderPath = in.bytes();
  std::optional<Identity> identity = Identity::Lasting;
  if (stamped) {
    in.literal("\nvolume ");
    plan.volume.uuid = in.bytes();
    in.literal(" ");
    plan.volume.label = in.bytes();
    in.literal(" ");
    plan.volume.inside = in.bytes();
    in.literal("\nidentity ");
    identity = identityOf(in.word());
    in.literal("\nbegun ");
    plan.begun = in.signedNumber();
  }
  in.literal("\nfiles ");
  const std::uint64_t count = in.number();
  in.literal("\n");
  if (!in.ok() || !kind || !identity || count > in.left() / kShortestFileLine) {
    read.problem = "zły układ dziennika";
    return read;
  }
  plan.kind = *kind;
  plan.identity = *identity;
  plan.files.resize(static_cast<std::size_t>(count));
  for (PlannedFile& f : plan.files) {
    f.id.device = in.number();
    in.literal(" ");
    f.id.inode = in.number();
    in.literal(" ");
    if (stamped) {
      FileStamp stamp;
      stamp.size = in.number();
      in.literal(" ");
      stamp.modified = in.signedNumber();
      in.literal(" ");
      stamp.born = in.signedNumber();
      in.literal(" ");
      f.stamp = stamp;
    }
    f.original = in.bytes();
    in.literal(" ");
    f.temporary = in.bytes();
    in.literal(" ");
    f.final = in.bytes();
    in.literal("\n");
    if (!in.ok()) break;
  }
  if (!in.atEnd()) {
    read.problem = "zły układ dziennika";
    return read;
  }
  if (auto problem = planProblem(plan)) {
    read.problem = std::move(*problem);
    return read;
  }
  read.plan = std::move(plan);
  return read;
}

std::string writeEnd(const EndRecord& record) {
  std::string out;
  out.reserve(160 + record.folderPath.size());
  out.append(kEndHead);
  out.append("batch ");
  putNumber(out, record.batch);
  out.append("\nkind ");
  out.append(kindWord(record.kind));
  out.append("\ntakes-back ");
  putNumber(out, record.takesBack);
  out.append("\nfiles ");
  putNumber(out, record.fileCount);
  out.append("\nfolder ");
  putBytes(out, record.folderPath);
  out.append("\noutcome ");
  out.append(outcomeWord(record.end.outcome));
  out.push_back(' ');
  putNumber(out, record.end.filesDone);
  out.push_back('\n');
  putCrcLine(out, crc32c(out));
  return out;
}

EndRead readEnd(std::string_view bytes) {
  EndRead read;
  const auto body = checkedBody(bytes, kEndHead, read.problem);
  if (!body) return read;
  Cursor in(*body);
  EndRecord record;
  in.literal("batch ");
  record.batch = in.number();
  in.literal("\nkind ");
  const auto kind = kindOf(in.word());
  in.literal("\ntakes-back ");
  record.takesBack = in.number();
  in.literal("\nfiles ");
  record.fileCount = static_cast<std::size_t>(in.number());
  in.literal("\nfolder ");
  record.folderPath = in.bytes();
  in.literal("\noutcome ");
  const auto outcome = outcomeOf(in.word());
  in.literal(" ");
  record.end.filesDone = static_cast<std::size_t>(in.number());
  in.literal("\n");
  if (!in.atEnd() || !kind || !outcome || record.batch == 0) {
    read.problem = "zły układ zapisu końca operacji";
    return read;
  }
  record.kind = *kind;
  record.end.outcome = *outcome;
  const bool takesBack = record.kind == BatchKind::Undo || record.kind == BatchKind::Recovery;
  if (takesBack != (record.takesBack != 0) || !isPlainAbsolutePath(record.folderPath)) {
    read.problem = "zły układ zapisu końca operacji";
    return read;
  }
  if (auto problem = endProblem(record.end, record.fileCount)) {
    read.problem = std::move(*problem);
    return read;
  }
  read.record = std::move(record);
  return read;
}

}  // namespace skorvatin
