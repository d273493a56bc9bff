#include "chord_chart.h"

#include <algorithm>
#include <map>
#include <set>

namespace charts {
namespace {

// Interval names used in the problem texts.
std::string intervalName(int interval) {
  static const std::array<const char*, 12> names{"root",        "minor 2nd/9th", "2nd/9th",   "minor 3rd",
                                                 "major 3rd",   "4th/11th",      "flat 5th",  "5th",
                                                 "sharp 5th/minor 6th", "6th/13th", "minor 7th", "major 7th"};
  return names[static_cast<std::size_t>(interval)];
}

const std::map<std::string, ChordQuality, std::less<>>& qualityTable() {
  // Each entry: tones that may sound, tones that must sound. The perfect fifth (7) may always be left out
  // unless it is the chord's point (power chords); a sus chord's 2nd or 4th stands for the third.
  static const std::map<std::string, ChordQuality, std::less<>> table{
      {"", {{0, 4, 7}, {0, 4}, true, 3}},
      {"maj", {{0, 4, 7}, {0, 4}, true, 3}},
      {"m", {{0, 3, 7}, {0, 3}, true, 3}},
      {"5", {{0, 7}, {0, 7}, false, 2}},
      {"(no 3rd)", {{0, 7}, {0, 7}, false, 2}},
      {" #5", {{0, 4, 8}, {0, 4, 8}, true, 3}},
      {"+", {{0, 4, 8}, {0, 4, 8}, true, 3}},
      {"aug", {{0, 4, 8}, {0, 4, 8}, true, 3}},
      {"dim", {{0, 3, 6}, {0, 3, 6}, true, 3}},
      {"dim7", {{0, 3, 6, 9}, {0, 3, 6, 9}, true, 3}},
      {"m7b5", {{0, 3, 6, 10}, {0, 3, 6, 10}, true, 3}},
      {"6", {{0, 4, 7, 9}, {0, 4, 9}, true, 3}},
      {"m6", {{0, 3, 7, 9}, {0, 3, 9}, true, 3}},
      {"6/9", {{0, 4, 7, 9, 2}, {0, 4, 9, 2}, true, 3}},
      {"7", {{0, 4, 7, 10}, {0, 4, 10}, true, 3}},
      {"m7", {{0, 3, 7, 10}, {0, 3, 10}, true, 3}},
      {"maj7", {{0, 4, 7, 11}, {0, 4, 11}, true, 3}},
      {"m(maj7)", {{0, 3, 7, 11}, {0, 3, 11}, true, 3}},
      {"7b5", {{0, 4, 6, 10}, {0, 4, 6, 10}, true, 3}},
      {"7#5", {{0, 4, 8, 10}, {0, 4, 8, 10}, true, 3}},
      {"7b9", {{0, 4, 7, 10, 1}, {0, 4, 10, 1}, true, 3}},
      {"7#9", {{0, 4, 7, 10, 3}, {0, 4, 10, 3}, true, 3}},
      {"9", {{0, 4, 7, 10, 2}, {0, 4, 10, 2}, true, 3}},
      {"m9", {{0, 3, 7, 10, 2}, {0, 3, 10, 2}, true, 3}},
      {"maj9", {{0, 4, 7, 11, 2}, {0, 4, 11, 2}, true, 3}},
      {"add9", {{0, 4, 7, 2}, {0, 4, 2}, true, 3}},
      {"madd9", {{0, 3, 7, 2}, {0, 3, 2}, true, 3}},
      {"11", {{0, 4, 7, 10, 2, 5}, {0, 4, 10, 5}, true, 3}},
      {"m11", {{0, 3, 7, 10, 2, 5}, {0, 3, 10, 5}, true, 3}},
      {"13", {{0, 4, 7, 10, 2, 9}, {0, 4, 10, 9}, true, 3}},
      {"sus2", {{0, 2, 7}, {0, 2}, false, 3}},
      {"sus4", {{0, 5, 7}, {0, 5}, false, 3}},
      {"7sus4", {{0, 5, 7, 10}, {0, 5, 10}, false, 3}},
      {"9sus4", {{0, 5, 7, 10, 2}, {0, 5, 10, 2}, false, 3}},
  };
  return table;
}

int midiOf(int string, int fret) { return kOpenStringMidi[static_cast<std::size_t>(string)] + fret; }

std::string_view trimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// A fret token: "x" or 0..14 written without leading zeros.
std::optional<int> parseToken(std::string_view token) {
  if (token == "x") return kMuted;
  if (token.empty() || token.size() > 2) return std::nullopt;
  if (!std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  if (token.size() == 2 && token[0] == '0') return std::nullopt;
  int fret = 0;
  for (char c : token) fret = fret * 10 + (c - '0');
  if (fret > kMaxFret) return std::nullopt;
  return fret;
}

// The bracket part "[t t t t t t]" followed by at most one blank.
std::optional<Frets> parseFingering(std::string_view text, std::string& problem) {
  if (text.empty() || text.front() != '[') {
    problem = "the fingering does not start right after the 25-character name field";
    return std::nullopt;
  }
  const auto close = text.find(']');
  if (close == std::string_view::npos) {
    problem = "no closing bracket";
    return std::nullopt;
  }
  const std::string_view tail = text.substr(close + 1);
  if (!(tail.empty() || tail == " ")) {
    problem = "unexpected text after the closing bracket";
    return std::nullopt;
  }
  std::string_view inner = text.substr(1, close - 1);
  Frets frets{};
  for (int s = 0; s < kStringCount; ++s) {
    const auto blank = inner.find(' ');
    const std::string_view token = (s + 1 < kStringCount) ? inner.substr(0, blank) : inner;
    if (s + 1 < kStringCount && blank == std::string_view::npos) {
      problem = "fewer than six tokens";
      return std::nullopt;
    }
    const auto fret = parseToken(token);
    if (!fret) {
      problem = "bad token \"" + std::string(token) + "\" (want x or a fret 0..14, single blanks between)";
      return std::nullopt;
    }
    frets[static_cast<std::size_t>(s)] = *fret;
    if (s + 1 < kStringCount) inner.remove_prefix(blank + 1);
  }
  return frets;
}

}  // namespace

std::optional<ChordQuality> qualityOf(std::string_view suffix) {
  const auto& table = qualityTable();
  const auto it = table.find(suffix);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::optional<int> pitchClassOf(std::string_view note) {
  static const std::map<char, int> naturals{{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                            {'G', 7}, {'A', 9}, {'H', 11}};
  if (note.empty() || note.size() > 2) return std::nullopt;
  const auto it = naturals.find(note[0]);
  if (it == naturals.end()) return std::nullopt;
  int pc = it->second;
  if (note.size() == 2) {
    if (note[1] == '#') pc += 1;
    else if (note[1] == 'b') pc += 11;
    else return std::nullopt;
  }
  return pc % 12;
}

std::optional<ChordName> parseChordName(std::string_view text) {
  if (text.empty()) return std::nullopt;
  ChordName chord;
  chord.text = std::string(text);
  std::size_t rootLength = 1;
  if (text.size() >= 2 && (text[1] == '#' || text[1] == 'b')) rootLength = 2;
  const auto root = pitchClassOf(text.substr(0, rootLength));
  if (!root) return std::nullopt;
  chord.root = *root;
  chord.rootName = std::string(text.substr(0, rootLength));
  std::string_view rest = text.substr(rootLength);
  // "6/9" is a suffix; "/Gb" is a bass. Only a note name after the last slash makes a slash chord.
  const auto slash = rest.rfind('/');
  if (slash != std::string_view::npos) {
    if (const auto bass = pitchClassOf(rest.substr(slash + 1))) {
      chord.bass = *bass;
      rest = rest.substr(0, slash);
    }
  }
  const auto quality = qualityOf(rest);
  if (!quality) return std::nullopt;
  chord.suffix = std::string(rest);
  chord.quality = *quality;
  return chord;
}

std::vector<int> soundingPitchClasses(const Frets& frets) {
  std::vector<int> pcs;
  for (int s = 0; s < kStringCount; ++s) {
    const int fret = frets[static_cast<std::size_t>(s)];
    if (fret != kMuted) pcs.push_back(midiOf(s, fret) % 12);
  }
  return pcs;
}

std::optional<int> lowestPitchClass(const Frets& frets) {
  std::optional<int> lowest;
  for (int s = 0; s < kStringCount; ++s) {
    const int fret = frets[static_cast<std::size_t>(s)];
    if (fret == kMuted) continue;
    // A higher string can sound lower than a thicker one fretted high up (A open under E at the 7th fret).
    if (!lowest || midiOf(s, fret) < *lowest) lowest = midiOf(s, fret);
  }
  if (!lowest) return std::nullopt;
  return *lowest % 12;
}

std::optional<int> fingersNeeded(const Frets& frets) {
  std::vector<int> fretted;  // string indices with a fretted (non-open) note
  for (int s = 0; s < kStringCount; ++s)
    if (frets[static_cast<std::size_t>(s)] > 0) fretted.push_back(s);
  if (fretted.empty()) return 0;
  std::optional<int> best;
  if (static_cast<int>(fretted.size()) <= kMaxFingers) best = static_cast<int>(fretted.size());
  int lowFret = kMaxFret + 1;
  for (int s : fretted) lowFret = std::min(lowFret, frets[static_cast<std::size_t>(s)]);
  std::vector<int> atLow;
  for (int s : fretted)
    if (frets[static_cast<std::size_t>(s)] == lowFret) atLow.push_back(s);
  if (atLow.size() >= 2) {
    bool holdable = true;
    for (int s = atLow.front(); s <= atLow.back(); ++s)
      if (frets[static_cast<std::size_t>(s)] < lowFret) holdable = false;  // open or muted under the barre
    for (int s = atLow.back() + 1; s < kStringCount; ++s)
      if (frets[static_cast<std::size_t>(s)] == 0) holdable = false;  // the finger lies across it too
    for (int s = 0; s < atLow.front(); ++s)
      if (frets[static_cast<std::size_t>(s)] > 0) holdable = false;
    if (holdable) {
      int count = 1;
      for (int s : fretted)
        if (frets[static_cast<std::size_t>(s)] > lowFret) ++count;
      if (count <= kMaxFingers && (!best || count < *best)) best = count;
    }
  }
  return best;
}

std::vector<std::string> handProblems(const Frets& frets) {
  std::vector<std::string> problems;
  int lowFret = kMaxFret + 1, highFret = 0, firstFretted = kStringCount, lastFretted = -1;
  for (int s = 0; s < kStringCount; ++s) {
    const int fret = frets[static_cast<std::size_t>(s)];
    if (fret <= 0) continue;
    lowFret = std::min(lowFret, fret);
    highFret = std::max(highFret, fret);
    firstFretted = std::min(firstFretted, s);
    lastFretted = s;
  }
  if (highFret == 0) return problems;  // open strings only
  if (highFret - lowFret > kMaxStretchFrets)
    problems.push_back("stretch of " + std::to_string(highFret - lowFret) + " frets (at most " +
                       std::to_string(kMaxStretchFrets) + ")");
  if (!fingersNeeded(frets))
    problems.push_back("needs more than " + std::to_string(kMaxFingers) +
                       " fingers (a barre cannot lie across an open string)");
  for (int s = 0; s < kStringCount; ++s) {
    if (frets[static_cast<std::size_t>(s)] != 0) continue;
    if (highFret > kOpenStringTopFret) {
      problems.push_back("open string beside a shape at fret " + std::to_string(highFret) + " (at most " +
                         std::to_string(kOpenStringTopFret) + ")");
      break;
    }
    if (s > firstFretted && s < lastFretted && highFret > kNutPositionTopFret) {
      problems.push_back("open string inside a shape at fret " + std::to_string(highFret) + " (at most " +
                         std::to_string(kNutPositionTopFret) + ")");
      break;
    }
  }
  return problems;
}

std::vector<std::string> checkVoicing(const ChordName& chord, const Frets& frets) {
  std::vector<std::string> problems;
  const ChordQuality& q = chord.quality;

  int soundingCount = 0, highFret = 0, lowestString = -1, highestString = -1;
  bool open = false;
  for (int s = 0; s < kStringCount; ++s) {
    const int fret = frets[static_cast<std::size_t>(s)];
    if (fret == kMuted) continue;
    ++soundingCount;
    if (lowestString < 0) lowestString = s;
    highestString = s;
    if (fret < 0 || fret > kMaxFret) problems.push_back("fret " + std::to_string(fret) + " out of range");
    highFret = std::max(highFret, fret);
    open = open || fret == 0;
  }
  if (soundingCount < q.minStrings)
    problems.push_back("only " + std::to_string(soundingCount) + " strings sound (need " +
                       std::to_string(q.minStrings) + ")");
  for (std::string& p : handProblems(frets)) problems.push_back(std::move(p));

  const bool powerChord = q.minStrings == 2;
  if (powerChord && soundingCount > 0) {
    if (soundingCount > 3 || highestString - lowestString + 1 != soundingCount)
      problems.push_back("a power chord is two or three adjacent strings");
    const int lowest = midiOf(lowestString, frets[static_cast<std::size_t>(lowestString)]) % 12;
    if (lowest != chord.bass.value_or(chord.root) || lowestString > kPowerChordLowestRootString)
      problems.push_back("a power chord has its root on its lowest string, string 6, 5 or 4");
    if (open && highFret > kPowerChordOpenTopFret) problems.push_back("a power chord with an open string up the neck");
  }

  std::set<int> allowed;
  for (int interval : q.tones) allowed.insert((chord.root + interval) % 12);
  if (chord.bass) allowed.insert(*chord.bass);
  const std::vector<int> pcs = soundingPitchClasses(frets);
  const std::set<int> sounding(pcs.begin(), pcs.end());
  for (int pc : pcs)
    if (!allowed.count(pc)) {
      problems.push_back("note " + std::to_string(pc) + " (" + intervalName((pc - chord.root + 12) % 12) +
                         " above the root) is not in the chord");
      break;
    }
  // The chord's third: major if the chord has one (a 7#9's minor 3rd is its sharp 9th), else minor.
  const bool hasMajorThird = std::find(q.tones.begin(), q.tones.end(), 4) != q.tones.end();
  const int third = q.hasThird ? (hasMajorThird ? 4 : 3) : -1;
  for (int interval : q.required) {
    if (sounding.count((chord.root + interval) % 12)) continue;
    if (interval == 0) problems.push_back("the root does not sound");
    else if (interval == third) problems.push_back("the third does not sound");
    else problems.push_back("the " + intervalName(interval) + " does not sound");
  }
  if (chord.bass) {
    const auto lowest = lowestPitchClass(frets);
    if (!lowest || *lowest != *chord.bass) problems.push_back("the lowest note is not the bass after the slash");
  }
  return problems;
}

RowResult checkRow(std::string_view line) {
  RowResult result;
  auto fail = [&result](std::string problem) {
    result.problems.push_back(std::move(problem));
    return result;
  };
  if (!std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
    return fail("a row holds printable ASCII only");
  if (line.size() <= kNameFieldWidth) return fail("row too short");
  const std::string_view field = line.substr(0, kNameFieldWidth);
  if (field.front() == ' ') return fail("the name does not start in the first column");

  std::string problem;
  const auto frets = parseFingering(line.substr(kNameFieldWidth), problem);
  if (!frets) return fail(problem);

  ChartRow row;
  row.field = std::string(field);
  row.name = std::string(trimRight(field));
  row.frets = *frets;
  // Two names: the first padded to 10 characters, "or", three blanks, the second.
  const bool twoNames = field.substr(10, 5) == "or   " && field[9] == ' ' && field[15] != ' ';
  std::vector<std::string_view> names;
  if (twoNames) {
    names.push_back(trimRight(field.substr(0, 10)));
    names.push_back(trimRight(field.substr(15)));
  } else {
    names.push_back(trimRight(field));
  }
  for (std::string_view text : names) {
    const auto chord = parseChordName(text);
    if (!chord) return fail("unknown chord name \"" + std::string(text) + "\"");
    row.chords.push_back(*chord);
  }
  row.primaryName = row.chords.front().text;
  if (twoNames) {
    const ChordName& a = row.chords[0];
    const ChordName& b = row.chords[1];
    std::set<int> tonesA, tonesB;
    for (int i : a.quality.tones) tonesA.insert((a.root + i) % 12);
    for (int i : b.quality.tones) tonesB.insert((b.root + i) % 12);
    if (a.root != b.root || tonesA != tonesB || a.bass != b.bass)
      result.problems.push_back("the two names \"" + a.text + "\" and \"" + b.text + "\" are different chords");
  }
  for (const ChordName& chord : row.chords)
    for (std::string& p : checkVoicing(chord, row.frets)) result.problems.push_back(chord.text + ": " + p);
  result.row = std::move(row);
  return result;
}

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80) { ++i; continue; }
    if (lead >= 0xC2 && lead <= 0xDF) { length = 2; code = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; code = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; code = lead & 0x07; }
    else return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF))) return false;
    if (code >= 0xD800 && code <= 0xDFFF) return false;
    i += length;
  }
  return true;
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace charts
