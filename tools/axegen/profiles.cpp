#include "axegen/profiles.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "axegen/layouts.h"
#include "axegen/random.h"

namespace axegen {

using namespace std::string_view_literals;

namespace {

// ---------------------------------------------------------------------------------------------
// Small writers.

void put_dec(char* p, int width, std::uint32_t v) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

void put_prefix(char* p, std::size_t len) {
  put_dec(p, 3, static_cast<std::uint32_t>(len));
}

// Call date and time, moving forward from record to record like a real switch log.
struct Clock {
  int year = 2021, month = 1, day = 1, hour = 0, minute = 0, second = 0;

  void advance(int secs) {
    second += secs;
    while (second >= 60) {
      second -= 60;
      if (++minute < 60) continue;
      minute = 0;
      if (++hour < 24) continue;
      hour = 0;
      if (++day <= days_in_month()) continue;
      day = 1;
      if (++month <= 12) continue;
      month = 1;
      ++year;
    }
  }

  int days_in_month() const {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
  }
};

// Builds plausible records: known layouts with filled fields, or unknown lengths of filler.
class RecordMaker {
 public:
  explicit RecordMaker(Rng& rng) : rng_(rng) {
    clock_.year = rng_.between(2018, 2024);
    clock_.month = rng_.between(1, 12);
    clock_.day = rng_.between(1, 28);
    clock_.hour = rng_.between(0, 23);
    clock_.minute = rng_.between(0, 59);
    counter_ = rng_.below(1000000);

    // Filler stands in for the switch data between the fields: digits, codes and spaces.
    static constexpr std::string_view kFillerChars = "0123456789      0123456789ABCDEFHKLMNPRSTX";
    filler_.resize(kBlock + kMaxRecord);
    for (char& c : filler_) c = kFillerChars[rng_.below(kFillerChars.size())];

    // Route / trunk names for the text fields.
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPRSTUVWXYZ";
    static constexpr std::string_view kAlnum = "ABCDEFGHKLMNPRSTUVXYZ0123456789";
    for (auto& name : names_) {
      name.fill(' ');
      const int len = rng_.between(2, 7);
      name[0] = kLetters[rng_.below(kLetters.size())];
      for (int i = 1; i < len; ++i) name[i] = kAlnum[rng_.below(kAlnum.size())];
    }
  }

  // Writes a whole record of length len (up to kMaxRecord) at r.
  void build(char* r, std::size_t len) {
    if (const Layout* lay = layout_for(len)) {
      known(r, *lay);
    } else {
      unknown(r, len);
    }
  }

  void known(char* r, const Layout& lay) {
    std::memcpy(r, filler_.data() + rng_.below(kBlock), static_cast<std::size_t>(lay.len));
    put_prefix(r, static_cast<std::size_t>(lay.len));
    phone(r + lay.at(Field::kNum1) - 1, false);
    phone(r + lay.at(Field::kNum2) - 1, rng_.percent(60));

    clock_.advance(static_cast<int>(rng_.below(12)));
    put_dec(r + lay.at(Field::kHour) - 1, 2, static_cast<std::uint32_t>(clock_.hour));
    put_dec(r + lay.at(Field::kMinute) - 1, 2, static_cast<std::uint32_t>(clock_.minute));
    put_dec(r + lay.at(Field::kSecond) - 1, 2, static_cast<std::uint32_t>(clock_.second));
    put_dec(r + lay.at(Field::kYear) - 1, 2, static_cast<std::uint32_t>(clock_.year % 100));
    put_dec(r + lay.at(Field::kMonth) - 1, 2, static_cast<std::uint32_t>(clock_.month));
    put_dec(r + lay.at(Field::kDay) - 1, 2, static_cast<std::uint32_t>(clock_.day));

    // Call duration: mostly short, now and then hours.
    const std::uint32_t roll = rng_.below(100);
    const std::uint32_t secs = roll < 70   ? rng_.below(300)
                               : roll < 95 ? rng_.below(3600)
                                           : rng_.below(36000);
    char* e = r + lay.at(Field::kElapsed) - 1;
    put_dec(e, 2, secs / 3600);
    put_dec(e + 2, 2, secs / 60 % 60);
    put_dec(e + 4, 2, secs % 60);

    counter_ = (counter_ + 1) % 1000000;
    put_dec(r + lay.at(Field::kCounter) - 1, 6, counter_);

    std::memcpy(r + lay.at(Field::kText1) - 1, names_[rng_.below(kNames)].data(), 7);
    std::memcpy(r + lay.at(Field::kText2) - 1, names_[rng_.below(kNames)].data(), 7);
  }

  void unknown(char* r, std::size_t len) {
    std::memcpy(r, filler_.data() + rng_.below(kBlock), len);
    put_prefix(r, len);
  }

 private:
  static constexpr std::uint32_t kNames = 32;

  // Left-aligned phone-like digit string, space padded, optionally ending in 'F'.
  void phone(char* p, bool f_suffix) {
    std::memset(p, ' ', 15);
    int digits = rng_.percent(85) ? rng_.between(8, 12) : rng_.between(4, 15);
    if (f_suffix && digits == 15) digits = 14;
    std::uint64_t bits = rng_.next();  // 19 decimal digits' worth
    for (int i = 0; i < digits; ++i) {
      p[i] = static_cast<char>('0' + bits % 10);
      bits /= 10;
    }
    if (f_suffix) p[digits] = 'F';
  }

  Rng& rng_;
  Clock clock_;
  std::uint32_t counter_ = 0;
  std::string filler_;
  std::array<std::array<char, 7>, kNames> names_{};
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Generators. Each fills one whole block per call; the stream cuts the last one to size.

class Generator {
 public:
  virtual ~Generator() = default;
  virtual void block(char* out, std::uint64_t index) = 0;  // index is 0-based
  // Only record-counted generators ever finish; sized output stops at the size instead.
  virtual bool finished() const { return false; }
};

namespace {

// How a block's records stop.
enum class BlockEnd { kCut, kTerminator, kExact };

// realistic: mostly known records, ~1% unknown lengths, every length in 80..150.
class RealisticGen : public Generator {
 public:
  // A block whose first record is forced, used to make files that fail the probe test.
  struct ForcedStart {
    std::uint64_t block;
    std::size_t len;  // 0 writes a "000" terminator at the block start
  };

  RealisticGen(std::uint64_t seed, std::optional<std::uint64_t> records,
               std::optional<ForcedStart> forced = std::nullopt)
      : rng_(seed), maker_(rng_), records_left_(records), forced_(forced) {
    struct Share {
      std::uint8_t len;
      int per_mille;
    };
    static constexpr std::array<Share, 13> kMix{{{119, 260},
                                                 {113, 200},
                                                 {109, 180},
                                                 {97, 160},
                                                 {105, 50},
                                                 {108, 50},
                                                 {112, 50},
                                                 {116, 40},
                                                 {96, 2},
                                                 {100, 2},
                                                 {110, 2},
                                                 {120, 2},
                                                 {130, 2}}};
    std::size_t i = 0;
    for (const Share& s : kMix) {
      for (int k = 0; k < s.per_mille; ++k) mix_[i++] = s.len;
    }
  }

  void block(char* out, std::uint64_t index) override {
    const std::uint32_t roll = rng_.below(100);
    const BlockEnd end = roll < 40   ? BlockEnd::kCut
                         : roll < 70 ? BlockEnd::kTerminator
                                     : BlockEnd::kExact;
    const char pad = rng_.percent(50) ? ' ' : '\0';
    std::size_t pos = 0;

    if (forced_ && forced_->block == index) {
      if (forced_->len == 0) {
        terminate(out, 0, pad);
        return;
      }
      maker_.unknown(out, forced_->len);
      pos = forced_->len;
    }

    while (pos < kBlock) {
      if (records_left_ && *records_left_ == 0) {
        terminate(out, pos, pad);
        return;
      }
      const std::size_t room = kBlock - pos;
      const std::size_t len = pick_len(end, room);
      if (len <= room) {
        maker_.build(out + pos, len);
        pos += len;
        count_record();
        continue;
      }
      if (end == BlockEnd::kCut) {
        maker_.build(scratch_.data(), len);
        std::memcpy(out + pos, scratch_.data(), room);
        count_record();
      } else {
        terminate(out, pos, pad);
      }
      return;
    }
  }

  bool finished() const override { return records_left_ && *records_left_ == 0; }

 private:
  // Picks the next record length. Never leaves 1 or 2 bytes at the block end (too short for a
  // prefix); in exact mode only picks lengths after which the rest can still be filled exactly.
  std::size_t pick_len(BlockEnd end, std::size_t room) {
    if (end == BlockEnd::kExact) {
      for (int tries = 0; tries < 16; ++tries) {
        const std::size_t len = mix_[rng_.below(1000)];
        if (len <= room && kFillExactly[room - len]) return len;
      }
      for (const Layout& lay : kLayouts) {
        const auto len = static_cast<std::size_t>(lay.len);
        if (len <= room && kFillExactly[room - len]) return len;
      }
    }
    for (;;) {
      const std::size_t len = mix_[rng_.below(1000)];
      if (len > room || room - len == 0 || room - len >= 3) return len;
    }
  }

  static void terminate(char* out, std::size_t pos, char pad) {
    if (pos >= kBlock) return;
    std::memset(out + pos, pad, kBlock - pos);
    if (kBlock - pos >= 3) std::memcpy(out + pos, "000", 3);
  }

  void count_record() {
    if (records_left_) --*records_left_;
  }

  Rng rng_;
  RecordMaker maker_;
  std::optional<std::uint64_t> records_left_;
  std::optional<ForcedStart> forced_;
  std::array<std::uint8_t, 1000> mix_{};
  std::array<char, kMaxRecord> scratch_{};
};

// Odd field contents for the edge profile, each exactly as wide as its field.
struct Oddity {
  Field field;
  std::string_view text;
};

constexpr std::array<Oddity, 56> kOddities{{
    {Field::kNum1, "0171 2345678   "sv},  // blank inside a number
    {Field::kNum1, "\t01712345678   "sv},
    {Field::kNum1, "01712345678\t   "sv},
    {Field::kNum1, "0171,2345678   "sv},
    {Field::kNum1, "123456789012345"sv},  // full width, no padding
    {Field::kNum1, "               "sv},
    {Field::kNum1, "   0301234567  "sv},
    {Field::kNum1, "\"0171\"234567   "sv},
    {Field::kNum1, "12 34 56 78    "sv},
    {Field::kNum2, "2718281828f    "sv},
    {Field::kNum2, "2718281828FF   "sv},
    {Field::kNum2, "12345678901234F"sv},
    {Field::kNum2, "F              "sv},
    {Field::kNum2, "12F34          "sv},
    {Field::kNum2, "               "sv},
    {Field::kNum2, "2718 281828F   "sv},
    {Field::kNum2, "\t2718281828F   "sv},
    {Field::kNum2, "2718281828F\t   "sv},
    {Field::kNum2, "2718,281828F   "sv},
    {Field::kCounter, "-00012"sv},
    {Field::kCounter, "1E5   "sv},
    {Field::kCounter, "12.500"sv},
    {Field::kCounter, "   123"sv},
    {Field::kCounter, "      "sv},
    {Field::kCounter, "+00012"sv},
    {Field::kCounter, "1e-3  "sv},
    {Field::kCounter, "12 345"sv},
    {Field::kHour, "24"sv},
    {Field::kHour, " 7"sv},
    {Field::kHour, "  "sv},
    {Field::kMinute, "60"sv},
    {Field::kMinute, "7 "sv},
    {Field::kSecond, "99"sv},
    {Field::kSecond, "-1"sv},
    {Field::kElapsed, "      "sv},
    {Field::kElapsed, "-00100"sv},
    {Field::kElapsed, "1.5E2 "sv},
    {Field::kElapsed, "000060"sv},
    {Field::kElapsed, "99 999"sv},
    {Field::kYear, "  "sv},
    {Field::kMonth, "13"sv},
    {Field::kMonth, "00"sv},
    {Field::kDay, "00"sv},
    {Field::kDay, "32"sv},
    {Field::kText1, "       "sv},
    {Field::kText1, "AB,CD  "sv},
    {Field::kText1, "AB\"CD  "sv},
    {Field::kText1, "\tABC   "sv},
    {Field::kText1, "ABC\t   "sv},
    {Field::kText1, "abc    "sv},
    {Field::kText2, "ABCDEFG"sv},
    {Field::kText2, "A B C  "sv},
    {Field::kText2,
     "AB\xC9"
     "D   "sv},  // a byte outside ASCII
    {Field::kText2, "AB\0CD  "sv},
    {Field::kText2, "AB\nCD  "sv},
    {Field::kText2, "AB\r\nCD "sv},
}};

constexpr bool oddities_fit() {
  for (const Oddity& o : kOddities) {
    if (static_cast<int>(o.text.size()) != width_of(o.field)) return false;
  }
  return true;
}
static_assert(oddities_fit(), "each oddity must exactly fill its field");

// edge: stresses framing and field contents while keeping the six probes valid. Records that a
// correct reader must skip (those after a block terminator) carry "IGNORED" in both text fields.
class EdgeGen : public Generator {
 public:
  explicit EdgeGen(std::uint64_t seed) : rng_(seed), maker_(rng_) {
    rotation_ = rng_.below(kScenarios);
    // Cut points worth hitting: just before, at, inside and at the end of every field.
    for (std::size_t i = 0; i < kLayouts.size(); ++i) {
      const Layout& lay = kLayouts[i];
      auto& cuts = cut_points_[i];
      for (int c : {1, 2, 3, 4}) cuts.push_back(c);
      for (int f = 0; f < kFieldCount; ++f) {
        const int s = lay.start[f];
        const int w = kFieldWidth[f];
        for (int c : {s - 1, s, s + w / 2, s + w - 2, s + w - 1}) {
          if (c >= 1 && c < lay.len) cuts.push_back(c);
        }
      }
    }
  }

  void block(char* out, std::uint64_t index) override {
    out_ = out;
    std::size_t pos = first_record(index);
    if (pos == kBlock) return;

    switch ((index + rotation_) % kScenarios) {
      case 0:
      case 1:
      case 2:
      case 3: {  // last record starts at 2045..2048 (1-based): prefix plus one byte, down to one
        const std::size_t start = 2044 + (index + rotation_) % kScenarios;
        fill_to(pos, start);
        tail(start);
        break;
      }
      case 4:
      case 5:
      case 6: {  // "000", blank or zero-byte length mid-block, then records to be skipped
        static constexpr std::array<std::string_view, 3> kStops{"000"sv, "   "sv, "\0\0\0"sv};
        const std::size_t stop = somewhere_after(pos, 300, 1900);
        fill_to(pos, stop);
        std::memcpy(out_ + stop, kStops[(index + rotation_) % kScenarios - 4].data(), 3);
        fill_rest(stop + 3, true);
        break;
      }
      case 7: {  // a known record cut at the block end at a chosen point
        const std::size_t which = cut_count_++ % kLayouts.size();
        const Layout& lay = kLayouts[which];
        const auto& cuts = cut_points_[which];
        const int cut = rng_.percent(50) ? cuts[rng_.below(static_cast<std::uint32_t>(cuts.size()))]
                                         : rng_.between(1, lay.len - 1);
        const std::size_t start = kBlock - static_cast<std::size_t>(cut);
        fill_to(pos, start);
        emit(start, static_cast<std::size_t>(lay.len), false);
        break;
      }
      case 8:  // records end exactly at the block end
        fill_to(pos, kBlock);
        break;
      case 9:  // "000" in the last three bytes
        fill_to(pos, kBlock - 3);
        std::memcpy(out_ + kBlock - 3, "000", 3);
        break;
      case 10: {  // an unknown length that runs past the block end
        static constexpr std::array<std::size_t, 4> kLong{151, 200, 500, 999};
        const std::size_t len = kLong[rng_.below(kLong.size())];
        const std::size_t earliest = std::max<std::size_t>(kBlock - len + 1, 1100);
        const std::size_t start = static_cast<std::size_t>(
            rng_.between(static_cast<int>(earliest), static_cast<int>(kBlock) - 4));
        fill_to(pos, start);
        emit(start, len, false);
        break;
      }
      default: {  // a length written oddly (" 97", "1E2"), then ordinary records
        const std::size_t start = somewhere_after(pos, 200, 1700);
        fill_to(pos, start);
        const bool spaced = rng_.percent(50);
        const std::size_t len = spaced ? 97 : 100;
        emit(start, len, false);
        std::memcpy(out_ + start, spaced ? " 97" : "1E2", 3);
        fill_rest(start + len, false);
        break;
      }
    }
  }

 private:
  static constexpr std::uint64_t kScenarios = 12;

  // The first record. Blocks 1..6 always start with a length in 80..150 (including both bounds);
  // later blocks sometimes start with a terminator or an out-of-range length instead.
  // Returns the position after it, or kBlock when the block is complete.
  std::size_t first_record(std::uint64_t index) {
    if (index < kProbeBlocks) {
      static constexpr std::array<std::size_t, 12> kProbeLens{119, 113, 109, 97,  105, 108,
                                                              112, 116, 96,  120, 130, 100};
      const std::size_t len = index == 1 ? 150 : index == 4 ? 80 : kProbeLens[rng_.below(12)];
      emit(0, len, false);
      return len;
    }
    const std::uint32_t roll = rng_.below(100);
    if (roll < 12) {
      static constexpr std::array<std::string_view, 3> kStops{"000"sv, "   "sv, "\0\0\0"sv};
      std::memcpy(out_, kStops[rng_.below(3)].data(), 3);
      fill_rest(3, true);
      return kBlock;
    }
    if (roll < 16) {  // an unknown length longer than half a block
      emit(0, 999, false);
      return 999;
    }
    if (roll < 24) {
      static constexpr std::array<std::size_t, 3> kOutside{79, 151, 3};
      const std::size_t len = kOutside[rng_.below(3)];
      emit(0, len, false);
      return len;
    }
    const std::size_t len = pick_len();
    emit(0, len, false);
    return len;
  }

  // A position in [max(lo, pos), hi] that fill_to can reach from pos (not 1 or 2 bytes on).
  std::size_t somewhere_after(std::size_t pos, std::size_t lo, std::size_t hi) {
    const std::size_t at = static_cast<std::size_t>(
        rng_.between(static_cast<int>(std::max(lo, pos)), static_cast<int>(hi)));
    return at - pos < 3 ? pos : at;
  }

  std::size_t pick_len() {
    static constexpr std::array<std::size_t, 9> kUnknown{80, 96, 98, 100, 110, 120, 130, 150, 3};
    if (rng_.percent(6)) return kUnknown[rng_.below(kUnknown.size())];
    return static_cast<std::size_t>(kLayouts[rng_.below(kLayouts.size())].len);
  }

  // Writes a record of length len at pos, cut at the block end. Known records are often given odd
  // field contents; skipped ("decoy") records are marked instead.
  void emit(std::size_t pos, std::size_t len, bool decoy) {
    char* r = scratch_.data();
    maker_.build(r, len);
    if (const Layout* lay = layout_for(len)) {
      if (decoy) {
        std::memcpy(r + lay->at(Field::kText1) - 1, "IGNORED", 7);
        std::memcpy(r + lay->at(Field::kText2) - 1, "IGNORED", 7);
      } else if (rng_.percent(50)) {
        const int n = rng_.percent(70) ? 1 : 2;
        for (int i = 0; i < n; ++i) {
          const Oddity& o = kOddities[rng_.below(kOddities.size())];
          std::memcpy(r + lay->at(o.field) - 1, o.text.data(), o.text.size());
        }
      }
    }
    std::memcpy(out_ + pos, r, std::min(len, kBlock - pos));
  }

  // Fills [pos, target) with whole records, mostly known ones. target - pos must not be 1 or 2.
  void fill_to(std::size_t pos, std::size_t target) {
    while (pos < target) {
      const std::size_t gap = target - pos;
      std::size_t len = 0;
      for (int tries = 0; tries < 16 && len == 0; ++tries) {
        const std::size_t cand = pick_len();
        const bool ok =
            cand <= gap && (kFillExactly[gap - cand] || (rng_.percent(10) && gap - cand >= 3));
        if (ok) len = cand;
      }
      if (len == 0) {
        for (const Layout& lay : kLayouts) {
          const auto cand = static_cast<std::size_t>(lay.len);
          if (cand <= gap && (kFillExactly[gap - cand] || gap - cand >= 3)) {
            len = cand;
            break;
          }
        }
      }
      if (len == 0) len = gap;  // a short unknown record closes the gap
      emit(pos, len, false);
      pos += len;
    }
  }

  // Chains records from pos until one is cut at the block end (or ends exactly on it).
  void fill_rest(std::size_t pos, bool decoy) {
    while (pos < kBlock) {
      const std::size_t len = pick_len();
      emit(pos, len, decoy);
      pos += len;
    }
  }

  // The bytes from 1-based offset start+1 to the block end: a cut record, or a cut terminator.
  void tail(std::size_t start) {
    const std::size_t room = kBlock - start;
    if (room <= 2 && rng_.percent(40)) {
      static constexpr std::array<char, 3> kPad{'0', ' ', '\0'};
      std::memset(out_ + start, kPad[rng_.below(3)], room);
      return;
    }
    emit(start, static_cast<std::size_t>(kLayouts[rng_.below(kLayouts.size())].len), false);
  }

  Rng rng_;
  RecordMaker maker_;
  char* out_ = nullptr;
  std::uint64_t rotation_ = 0;
  std::uint64_t cut_count_ = 0;
  std::array<std::vector<int>, kLayouts.size()> cut_points_;
  std::array<char, kMaxRecord> scratch_{};
};

// random: arbitrary bytes everywhere except valid first lengths in blocks 1..6.
class RandomGen : public Generator {
 public:
  explicit RandomGen(std::uint64_t seed) : rng_(seed) {}

  void block(char* out, std::uint64_t index) override {
    for (std::size_t i = 0; i < kBlock; i += 8) {
      const std::uint64_t v = rng_.next();
      for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<char>(v >> (8 * k));
    }
    if (index < kProbeBlocks) put_prefix(out, static_cast<std::size_t>(rng_.between(80, 150)));
  }

 private:
  Rng rng_;
};

// skips: the most output for the least input a plausible file gives. Each block opens with a
// 100-character record, so the probes pass, and holds nothing else but 3-character records, each
// of which becomes a 16-byte skip line.
class SkipsGen : public Generator {
 public:
  void block(char* out, std::uint64_t) override {
    std::memset(out, ' ', kBlock);
    put_prefix(out, 100);
    std::size_t pos = 100;
    for (; pos + 3 <= kBlock; pos += 3) put_prefix(out + pos, 3);
    std::memset(out + pos, '0', kBlock - pos);
  }
};

// Plain text call notes: an ordinary text file that must be refused as a data file.
class TextGen : public Generator {
 public:
  explicit TextGen(std::uint64_t seed) : rng_(seed) {
    pending_ = "Switch call notes, exported by hand - not an AXE data file.\n\n";
  }

  void block(char* out, std::uint64_t) override {
    std::size_t pos = 0;
    while (pos < kBlock) {
      if (used_ == pending_.size()) next_line();
      const std::size_t n = std::min(kBlock - pos, pending_.size() - used_);
      std::memcpy(out + pos, pending_.data() + used_, n);
      used_ += n;
      pos += n;
    }
  }

 private:
  void next_line() {
    // The random values are drawn one statement at a time, last field first: the order in which
    // the arguments of a call are evaluated is up to the compiler, and the text must not depend
    // on it. (Last field first is the order the files made so far were drawn in.)
    const std::uint32_t route = rng_.below(100);
    const std::uint32_t lasted_s = rng_.below(60);
    const std::uint32_t lasted_m = rng_.below(60);
    const auto callee = static_cast<unsigned long long>(rng_.next() % 10000000000ULL);
    const auto caller = static_cast<unsigned long long>(rng_.next() % 10000000000ULL);
    const std::uint32_t second = rng_.below(60);
    const std::uint32_t minute = rng_.below(60);
    const std::uint32_t hour = rng_.below(24);
    const std::uint32_t day = 1 + rng_.below(28);
    const std::uint32_t month = 1 + rng_.below(12);
    const std::uint32_t year = 18 + rng_.below(7);
    char line[128];
    const int n = std::snprintf(line, sizeof line,
                                "20%02u-%02u-%02u %02u:%02u:%02u  call %010llu -> %010llu  "
                                "lasted %02u:%02u  route TRK%02u\n",
                                year, month, day, hour, minute, second, caller, callee, lasted_m,
                                lasted_s, route);
    pending_.assign(line, static_cast<std::size_t>(std::max(n, 0)));
    used_ = 0;
  }

  Rng rng_;
  std::string pending_;
  std::size_t used_ = 0;
};
// Mixed into the seed so that profiles sharing a seed do not share a random stream.
std::uint64_t profile_seed(const FileRecipe& s) {
  std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a over the profile name
  for (const char c : s.profile) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return s.seed ^ h;
}

struct Plan {
  std::unique_ptr<Generator> gen;
  std::optional<std::uint64_t> size;  // absent: run until the generator finishes
};

Plan make_plan(const FileRecipe& o) {
  const std::uint64_t seed = profile_seed(o);
  const std::uint64_t size = o.size.value_or(kDefaultSize);
  if (o.profile == "edge") return {std::make_unique<EdgeGen>(seed), size};
  if (o.profile == "random") return {std::make_unique<RandomGen>(seed), size};
  if (o.profile == "skips") return {std::make_unique<SkipsGen>(), size};
  if (o.profile == "invalid") {
    const std::uint64_t bad_block = o.seed / 5 % kProbeBlocks;
    switch (o.seed % 5) {
      case 0:
        return {std::make_unique<RealisticGen>(seed, std::nullopt,
                                               RealisticGen::ForcedStart{bad_block, 79}),
                size};
      case 1:
        return {std::make_unique<RealisticGen>(seed, std::nullopt,
                                               RealisticGen::ForcedStart{bad_block, 151}),
                size};
      case 2:
        return {std::make_unique<RealisticGen>(seed, std::nullopt,
                                               RealisticGen::ForcedStart{bad_block, 0}),
                size};
      case 3:
        return {std::make_unique<RealisticGen>(seed, std::nullopt),
                std::min<std::uint64_t>(size, (kProbeBlocks - 1) * kBlock)};
      default:
        return {std::make_unique<TextGen>(seed), size};
    }
  }
  if (o.records) return {std::make_unique<RealisticGen>(seed, o.records), std::nullopt};
  return {std::make_unique<RealisticGen>(seed, std::nullopt), size};
}

}  // namespace

bool is_profile(std::string_view name) {
  return name == "realistic" || name == "edge" || name == "random" || name == "invalid" ||
         name == "skips";
}

FileStream::FileStream(const FileRecipe& recipe) {
  if (!is_profile(recipe.profile)) throw std::invalid_argument("unknown profile " + recipe.profile);
  Plan plan = make_plan(recipe);
  gen_ = std::move(plan.gen);
  size_ = plan.size;
}

FileStream::~FileStream() = default;

std::size_t FileStream::read(char* out, std::size_t capacity) {
  std::size_t filled = 0;
  while (filled + kBlock <= capacity) {
    const bool done = size_ ? produced_ + filled >= *size_ : gen_->finished();
    if (done) break;
    gen_->block(out + filled, index_++);
    filled += kBlock;
  }
  std::size_t n = filled;
  if (size_) n = static_cast<std::size_t>(std::min<std::uint64_t>(n, *size_ - produced_));
  produced_ += n;
  return n;
}

std::string generate(const FileRecipe& recipe) {
  FileStream stream(recipe);
  std::string data;
  std::vector<char> chunk(64 * kBlock);
  while (const std::size_t n = stream.read(chunk.data(), chunk.size()))
    data.append(chunk.data(), n);
  return data;
}

}  // namespace axegen
