// Checks the texts of the information window as committed: the tuning page and the seven chord charts.
// Every chart row is judged by the chord theory in chord_chart.h, independent of the script that wrote it.

#include "chord_chart.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using charts::checkRow;
using charts::checkVoicing;
using charts::Frets;
using charts::kMuted;
using charts::parseChordName;

constexpr int kPreambleLines = 14;
constexpr int kHeaderLine = 15;      // 0-based index of the "E A D G B e" line
constexpr int kFirstChordLine = 16;  // 0-based index of the first chord row
const std::string kPreambleTitle = "Как читать аппликатуры";
const std::string kStringHeader = "E A D G B e";

std::string readFile(const std::string& name) {
  const std::string path = std::string(ZT_INFO_TEXTS_DIR) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Text of a file checked for the encoding and line ending every text of the window uses: UTF-8, LF only,
// the last line ended by a newline too.
std::vector<std::string> readLines(const std::string& name) {
  const std::string text = readFile(name);
  EXPECT_TRUE(charts::isValidUtf8(text)) << name;
  EXPECT_EQ(text.find('\r'), std::string::npos) << name << " has a carriage return";
  EXPECT_TRUE(!text.empty() && text.back() == '\n') << name << " does not end with a newline";
  return charts::splitLines(text);
}

struct PageSpec {
  const char* file;
  int rows;
  int names;
  const char* firstName;
  const char* lastName;
  int headerBlanks;
  std::vector<std::string> roots;  // root groups of the page, in page order
};

// Test names and failure messages show the page's file rather than its bytes.
void PrintTo(const PageSpec& page, std::ostream* out) { *out << page.file; }

const std::vector<PageSpec>& pages() {
  static const std::vector<PageSpec> all{
      {"chords_a.txt", 157, 75, "A", "Asus4/Gb", 26, {"A"}},
      {"chords_b.txt", 115, 60, "H", "Hsus4/G", 26, {"H"}},
      {"chords_c.txt", 85, 37, "C", "Csus4/E", 26, {"C"}},
      {"chords_d.txt", 164, 70, "D", "Dsus4/Gb", 25, {"D"}},
      {"chords_e.txt", 155, 73, "E         or   Emaj", "Esus4/Gb", 26, {"E"}},
      {"chords_f.txt", 68, 36, "F", "F#m", 26, {"F", "F#"}},
      {"chords_g.txt", 154, 71, "G", "Gsus4/E", 26, {"G"}},
  };
  return all;
}

struct Chart {
  std::vector<std::string> lines;
  std::vector<charts::ChartRow> rows;
  std::vector<std::string> problems;  // "line N: ..." for every bad row
};

Chart loadChart(const std::string& file) {
  Chart chart;
  chart.lines = readLines(file);
  for (std::size_t i = kFirstChordLine; i < chart.lines.size(); ++i) {
    auto result = checkRow(chart.lines[i]);
    for (const auto& problem : result.problems)
      chart.problems.push_back("line " + std::to_string(i + 1) + " \"" + chart.lines[i] + "\": " + problem);
    if (result.row) chart.rows.push_back(*result.row);
  }
  return chart;
}

Frets frets(std::initializer_list<int> values) {
  Frets out{};
  std::copy(values.begin(), values.end(), out.begin());
  return out;
}

charts::ChordName chord(const std::string& name) {
  const auto parsed = parseChordName(name);
  EXPECT_TRUE(parsed.has_value()) << name;
  return parsed.value_or(charts::ChordName{});
}

// ---------------------------------------------------------------------------------------------------------------
// The chord theory itself, on voicings whose answer is known.

TEST(ChordTheory, PitchClassesUseHForBAndRejectTheLetterB) {
  EXPECT_EQ(charts::pitchClassOf("H"), 11);
  EXPECT_EQ(charts::pitchClassOf("Hb"), 10);
  EXPECT_EQ(charts::pitchClassOf("F#"), 6);
  EXPECT_EQ(charts::pitchClassOf("Gb"), 6);
  EXPECT_EQ(charts::pitchClassOf("C"), 0);
  EXPECT_FALSE(charts::pitchClassOf("B").has_value());
  EXPECT_FALSE(charts::pitchClassOf("Bb").has_value());
  EXPECT_FALSE(parseChordName("Bm").has_value());
  EXPECT_FALSE(parseChordName("A/B").has_value());
}

TEST(ChordTheory, NamesSplitIntoRootSuffixAndBass) {
  const auto sixNine = chord("A6/9");
  EXPECT_EQ(sixNine.suffix, "6/9");
  EXPECT_FALSE(sixNine.bass.has_value());
  const auto slash = chord("Asus4/Gb");
  EXPECT_EQ(slash.suffix, "sus4");
  EXPECT_EQ(slash.bass, 6);
  EXPECT_EQ(chord("A #5").suffix, " #5");
  EXPECT_EQ(chord("Hb7").root, 10);
  EXPECT_EQ(chord("F#m").root, 6);
  EXPECT_FALSE(parseChordName("Axyz").has_value());
}

TEST(ChordTheory, OpenStringsSoundTheirNotes) {
  // E A D G H E open: pitch classes 4 9 2 7 11 4.
  EXPECT_EQ(charts::soundingPitchClasses(frets({0, 0, 0, 0, 0, 0})), (std::vector<int>{4, 9, 2, 7, 11, 4}));
  // A at the 5th fret of the low E string is the same A2 as the open A string; C on the A string is higher.
  EXPECT_EQ(charts::lowestPitchClass(frets({kMuted, 3, 2, 0, 1, 0})), 0);
  EXPECT_EQ(charts::lowestPitchClass(frets({7, 0, kMuted, kMuted, kMuted, kMuted})), 9);
}

TEST(ChordTheory, AcceptsTheClassicShapes) {
  EXPECT_TRUE(checkVoicing(chord("A"), frets({0, 0, 2, 2, 2, 0})).empty());
  EXPECT_TRUE(checkVoicing(chord("H"), frets({2, 2, 4, 4, 4, 2})).empty());
  EXPECT_TRUE(checkVoicing(chord("C"), frets({0, 3, 2, 0, 1, 0})).empty());
  EXPECT_TRUE(checkVoicing(chord("G"), frets({3, 2, 0, 0, 0, 3})).empty());
  EXPECT_TRUE(checkVoicing(chord("E"), frets({0, 2, 2, 1, 0, 0})).empty());
  EXPECT_TRUE(checkVoicing(chord("F"), frets({1, 3, 3, 2, 1, 1})).empty());
  EXPECT_TRUE(checkVoicing(chord("D/F#"), frets({2, 0, 0, 2, 3, 2})).empty());
  EXPECT_TRUE(checkVoicing(chord("Am7"), frets({kMuted, 0, 2, 0, 1, 0})).empty());
  EXPECT_TRUE(checkVoicing(chord("E7#9"), frets({0, 7, 6, 7, 8, kMuted})).empty());
  EXPECT_TRUE(checkVoicing(chord("A5"), frets({kMuted, 0, 2, kMuted, kMuted, kMuted})).empty());
}

// Each wrong voicing is rejected, and where the fault is one the first problem's message names it (as the
// only problem, where nothing else is wrong).
TEST(ChordTheory, RejectsWrongVoicingsAndSaysWhy) {
  struct Wrong {
    const char* name;
    std::initializer_list<int> frets;
    const char* reason;  // a word of the first problem's message; nullptr: any problem
    bool onlyProblem;
    const char* why;
  };
  const Wrong rows[] = {
      {"A", {kMuted, 0, 2, 2, 1, 0}, "not in the chord", false, "a C (minor third) on the B string of A major"},
      {"C/G", {0, 3, 2, 0, 1, 0}, "bass", true, "C with E in the bass is C/E, not C/G"},
      {"A", {kMuted, 0, 2, 2, kMuted, kMuted}, "third", true, "the open A power chord named as an A major triad"},
      {"A7", {kMuted, 0, 2, 2, 2, 0}, nullptr, false, "a seventh chord without its seventh"},
      {"A", {kMuted, 0, 2, 2, 2, 9}, "stretch", true, "the high e at the 9th fret, the D string at the 2nd"},
      {"G7", {3, 2, 3, 4, 3, 1}, nullptr, false, "five fretted strings on four frets, no barre: too many fingers"},
      {"Esus4", {kMuted, kMuted, kMuted, kMuted, 0, 0}, nullptr, false, "two strings are a power chord at most"},
      {"A", {kMuted, 4, 2, kMuted, 2, 0}, "root", true, "C# E C# E: the third and fifth of A without the A"},
  };
  for (const Wrong& row : rows) {
    const auto problems = checkVoicing(chord(row.name), frets(row.frets));
    ASSERT_FALSE(problems.empty()) << row.why;
    if (row.onlyProblem) {
      EXPECT_EQ(problems.size(), 1u) << row.why;
    }
    if (row.reason != nullptr) {
      EXPECT_NE(problems.front().find(row.reason), std::string::npos) << row.why << ": " << problems.front();
    }
  }
}

TEST(ChartRow, AcceptsTheExampleRows) {
  for (const char* line : {"A                        [0 0 2 2 2 0] ", "H                        [2 2 4 4 4 2] ",
                           "C                        [0 3 2 0 1 0] ", "G                        [3 2 0 0 0 3] ",
                           "A5        or   A(no 3rd) [x 0 2 2 x x] ", "A                        [x 0 2 2 2 0]"}) {
    const auto result = checkRow(line);
    EXPECT_TRUE(result.problems.empty()) << line << ": " << (result.problems.empty() ? "" : result.problems[0]);
    ASSERT_TRUE(result.row.has_value()) << line;
  }
  const auto two = checkRow("E         or   Emaj      [0 2 2 1 0 0] ");
  ASSERT_TRUE(two.row.has_value());
  EXPECT_EQ(two.row->name, "E         or   Emaj");
  EXPECT_EQ(two.row->primaryName, "E");
  EXPECT_EQ(two.row->chords.size(), 2u);
}

TEST(ChartRow, RejectsDeliberatelyWrongRows) {
  const std::map<std::string, std::string> wrong{
      {"A                        [x 0 2 2 1 0] ", "wrong note (C in A major)"},
      {"C/G                      [0 3 2 0 1 0] ", "wrong bass (E under C/G)"},
      {"Am                       [x 0 2 2 x x] ", "missing third"},
      {"A                        [x 0 2 2 2 9] ", "impossible stretch"},
      {"A                       [0 0 2 2 2 0] ", "misaligned row: name field 24 characters"},
      {"A                         [0 0 2 2 2 0] ", "misaligned row: name field 26 characters"},
      {" A                       [0 0 2 2 2 0] ", "misaligned row: name not in the first column"},
      {"A                        [0 0 2 2 2] ", "five tokens"},
      {"A                        [0 0 2 2 2 0 0] ", "seven tokens"},
      {"A                        [0 0  2 2 2 0] ", "double blank between tokens"},
      {"A                        [0 0 2 2 2 15] ", "fret beyond 14"},
      {"A                        [0 0 2 2 2 0]  ", "two trailing blanks"},
      {"Bm                       [x 2 4 4 3 2] ", "B instead of H"},
      {"A5        or   Am        [x 0 2 2 x x] ", "two names of different chords"},
  };
  for (const auto& [line, why] : wrong) EXPECT_FALSE(checkRow(line).problems.empty()) << why << ": " << line;
}

// ---------------------------------------------------------------------------------------------------------------
// The tuning page.

TEST(TuneText, HasTwentyLinesInSixParagraphs) {
  const auto lines = readLines("tune.txt");
  ASSERT_EQ(lines.size(), 20u);
  int paragraphs = 0;
  bool inParagraph = false;
  for (const auto& line : lines) {
    if (line.empty()) {
      EXPECT_TRUE(inParagraph) << "two empty lines in a row, or an empty first line";
      inParagraph = false;
    } else {
      if (!inParagraph) ++paragraphs;
      inParagraph = true;
      EXPECT_NE(line.back(), ' ') << "trailing blank: " << line;
    }
  }
  EXPECT_TRUE(inParagraph) << "the text ends with an empty line";
  EXPECT_EQ(paragraphs, 6);
}

TEST(TuneText, IsRussianUtf8WithTheFaq) {
  const std::string text = readFile("tune.txt");
  EXPECT_TRUE(charts::isValidUtf8(text));
  EXPECT_NE(text.find("FAQ"), std::string::npos);
  EXPECT_NE(text.find("50 Гц"), std::string::npos);
  EXPECT_NE(text.find("струн"), std::string::npos);
  EXPECT_NE(text.find("микрофон"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------------------------
// The seven charts.

class ChordChart : public ::testing::TestWithParam<PageSpec> {};

TEST_P(ChordChart, HasThePreambleTheEmptyLineAndTheHeader) {
  const PageSpec& page = GetParam();
  const auto lines = readLines(page.file);
  const auto reference = readLines(pages().front().file);
  ASSERT_GT(lines.size(), static_cast<std::size_t>(kFirstChordLine));
  ASSERT_GT(reference.size(), static_cast<std::size_t>(kPreambleLines));
  EXPECT_EQ(lines[0], kPreambleTitle);
  for (int i = 0; i < kPreambleLines; ++i)
    EXPECT_EQ(lines[static_cast<std::size_t>(i)], reference[static_cast<std::size_t>(i)])
        << "preamble line " << i + 1 << " differs from " << pages().front().file;
  EXPECT_EQ(lines[kPreambleLines], "");
  EXPECT_EQ(lines[kHeaderLine], std::string(static_cast<std::size_t>(page.headerBlanks), ' ') + kStringHeader);
}

TEST_P(ChordChart, RowsAreCorrectPlayableVoicingsOfTheirNames) {
  const Chart chart = loadChart(GetParam().file);
  EXPECT_EQ(chart.rows.size(), chart.lines.size() - kFirstChordLine);
  for (const auto& problem : chart.problems) ADD_FAILURE() << GetParam().file << " " << problem;
}

TEST_P(ChordChart, HasItsRowAndNameCountsAndFirstAndLastNames) {
  const PageSpec& page = GetParam();
  const Chart chart = loadChart(page.file);
  ASSERT_EQ(chart.lines.size() - kFirstChordLine, static_cast<std::size_t>(page.rows));
  ASSERT_FALSE(chart.rows.empty());
  std::set<std::string> names;
  for (const auto& row : chart.rows) names.insert(row.name);
  EXPECT_EQ(names.size(), static_cast<std::size_t>(page.names));
  EXPECT_EQ(chart.rows.front().name, page.firstName);
  EXPECT_EQ(chart.rows.back().name, page.lastName);
}

TEST_P(ChordChart, KeepsTheRowsOfOneNameTogetherInAlphabeticalOrder) {
  const PageSpec& page = GetParam();
  const Chart chart = loadChart(page.file);
  std::set<std::string> finished;
  std::size_t group = 0;
  for (std::size_t i = 0; i < chart.rows.size(); ++i) {
    const auto& row = chart.rows[i];
    if (i > 0 && row.name == chart.rows[i - 1].name) continue;
    EXPECT_FALSE(finished.count(row.name)) << row.name << " appears in two places";
    finished.insert(row.name);
    // Roots in page order (F, then F#); within one root, names in ascending character order.
    const std::string& root = row.chords.front().rootName;
    while (group < page.roots.size() && page.roots[group] != root) ++group;
    ASSERT_LT(group, page.roots.size()) << row.name << " has a root out of place on " << page.file;
    if (i > 0 && chart.rows[i - 1].chords.front().rootName == root) {
      EXPECT_LT(chart.rows[i - 1].primaryName, row.primaryName) << "names out of order on " << page.file;
    }
  }
}

TEST_P(ChordChart, GivesDifferentVoicingsForOneName) {
  const Chart chart = loadChart(GetParam().file);
  std::map<std::string, std::set<Frets>> seen;
  for (const auto& row : chart.rows)
    EXPECT_TRUE(seen[row.name].insert(row.frets).second) << row.field << " repeats a voicing";
}

INSTANTIATE_TEST_SUITE_P(AllPages, ChordChart, ::testing::ValuesIn(pages()),
                         [](const ::testing::TestParamInfo<PageSpec>& pageInfo) {
                           std::string name = pageInfo.param.file;
                           return name.substr(0, name.find('.'));
                         });

TEST(ChordCharts, HoldAllRowsTogether) {
  std::size_t rows = 0;
  for (const auto& page : pages()) rows += loadChart(page.file).rows.size();
  EXPECT_EQ(rows, 898u);
}

TEST(ChordCharts, PreambleExplainsTheNotationWithARealEChord) {
  const auto lines = readLines("chords_a.txt");
  ASSERT_GE(lines.size(), static_cast<std::size_t>(kPreambleLines));
  std::string preamble;
  for (int i = 0; i < kPreambleLines; ++i) preamble += lines[static_cast<std::size_t>(i)] + "\n";
  EXPECT_NE(preamble.find("[022100]"), std::string::npos);
  EXPECT_NE(preamble.find("«x»"), std::string::npos);
  EXPECT_NE(preamble.find("«0»"), std::string::npos);
  EXPECT_NE(preamble.find("«H»"), std::string::npos);
  EXPECT_NE(preamble.find("«Hb»"), std::string::npos);
  EXPECT_TRUE(checkVoicing(chord("E"), frets({0, 2, 2, 1, 0, 0})).empty());
}

}  // namespace
