// Checks the texts of the information window as committed: the tuning page and the seven chord charts.
// Every chart row is judged by the chord theory in chord_chart.h, independent of the script that wrote it.

#include "chord_chart.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

// Voicings written as a chord book writes them, from the 6th string: "x32010".
Frets book(const std::string& text) {
  Frets out{};
  EXPECT_EQ(text.size(), static_cast<std::size_t>(charts::kStringCount)) << text;
  for (std::size_t s = 0; s < out.size() && s < text.size(); ++s) out[s] = text[s] == 'x' ? kMuted : text[s] - '0';
  return out;
}

struct BookVoicing {
  const char* name;
  const char* frets;  // one digit per string, frets 0..9
};

// The shapes every chord book prints, and a few more the charts lead with.
const std::vector<BookVoicing>& bookShapes() {
  static const std::vector<BookVoicing> all{
      {"C", "x32010"},    {"G", "320003"},     {"D", "xx0232"},   {"A", "x02220"},    {"E", "022100"},
      {"Am", "x02210"},   {"Em", "022000"},    {"Dm", "xx0231"},  {"Fmaj7", "xx3210"}, {"Cadd9", "x32033"},
      {"H7", "x21202"},   {"Asus4", "x02230"}, {"Esus2", "024400"}, {"Hm7", "x20232"}, {"Em6", "022023"},
      {"Gmaj7", "320032"}, {"Gsus4", "330033"}, {"D/F#", "2x0232"}, {"F", "133211"},    {"Fm", "133111"},
      {"A", "002220"},    {"H", "224442"},     {"C", "032010"},   {"F", "xx3211"},    {"D/F#", "200232"},
      {"Am7", "x02010"},  {"Hm", "x24432"},    {"Hsus4", "x24452"}, {"C7", "x32310"},  {"E7#9", "x7678x"},
      {"G7b9", "353434"}, {"A5", "x02xxx"},    {"A5", "x022xx"},  {"H5", "x244xx"},   {"G5", "355xxx"},
      {"D5", "xx023x"},
  };
  return all;
}

TEST(ChordTheory, AcceptsTheBookShapes) {
  for (const auto& [name, fingering] : bookShapes()) {
    const auto problems = checkVoicing(chord(name), book(fingering));
    EXPECT_TRUE(problems.empty()) << name << " " << fingering << ": " << (problems.empty() ? "" : problems[0]);
  }
}

TEST(ChordTheory, RejectsWhatNoChordBookPrints) {
  struct Case {
    const char* name;
    Frets frets;
    const char* problem;  // a part of the expected problem text
  };
  const std::vector<Case> cases{
      // More than four frets under the hand.
      {"Fmadd9", frets({1, 3, 5, 1, 1, 1}), "stretch"},
      {"D9", frets({kMuted, 5, 4, 2, 1, 0}), "stretch"},
      {"H6/9", frets({kMuted, 2, 6, 6, 4, 2}), "stretch"},
      {"C6", frets({8, 12, 10, 9, 8, 8}), "stretch"},
      {"A", frets({kMuted, 0, 2, 2, 2, 9}), "stretch"},
      // Open strings ringing beside or inside a shape up the neck.
      {"G", frets({kMuted, 10, 9, 0, 8, 10}), "open string beside"},
      {"E", frets({0, 7, 6, 4, 0, 4}), "open string beside"},
      {"Em", frets({0, 7, 5, 0, 5, 7}), "open string beside"},
      {"Cmaj9", frets({8, 7, 0, 0, 8, 7}), "open string beside"},
      {"C", frets({kMuted, 3, 5, 0, 5, 3}), "open string inside"},
      {"H", frets({kMuted, 2, 1, 4, 0, 2}), "open string inside"},
      // The barre the shape needs would lie across the open B string.
      {"G7b9", frets({3, 5, 3, 4, 0, 4}), "fingers"},
      // Five fretted strings on four different frets, no barre possible.
      {"G7", frets({3, 2, 3, 4, 3, 1}), "fingers"},
      // Power chords guitarists do not play.
      {"A5", frets({kMuted, 0, 14, kMuted, kMuted, kMuted}), "power chord with an open string"},
      {"H5", frets({kMuted, kMuted, kMuted, kMuted, 0, 2}), "string 6, 5 or 4"},
      {"G5", frets({kMuted, kMuted, kMuted, 0, 3, kMuted}), "string 6, 5 or 4"},
      {"A5", frets({5, 7, 7, 6, kMuted, kMuted}), "two or three adjacent strings"},
      {"E5", frets({0, 2, kMuted, 4, kMuted, kMuted}), "two or three adjacent strings"},
  };
  for (const auto& c : cases) {
    const auto problems = checkVoicing(chord(c.name), c.frets);
    const bool found = std::any_of(problems.begin(), problems.end(),
                                   [&c](const std::string& p) { return p.find(c.problem) != std::string::npos; });
    EXPECT_TRUE(found) << c.name << " [" << c.frets[0] << " " << c.frets[1] << " " << c.frets[2] << " "
                       << c.frets[3] << " " << c.frets[4] << " " << c.frets[5] << "] should be rejected for: "
                       << c.problem << (problems.empty() ? " (accepted)" : ", got: " + problems[0]);
  }
}

// A wrong note, bass, third, seventh, root, or too few strings: each voicing is rejected, and where the fault
// is one the first problem's message names it (as the only problem, where nothing else is wrong).
TEST(ChordTheory, RejectsWrongVoicingsAndSaysWhy) {
  struct Wrong {
    const char* name;
    Frets frets;
    const char* reason;  // a word of the first problem's message; nullptr: any problem
    bool onlyProblem;
    const char* why;
  };
  const Wrong rows[] = {
      {"A", frets({kMuted, 0, 2, 2, 1, 0}), "not in the chord", false, "a C (minor third) on the B string of A"},
      {"C/G", frets({0, 3, 2, 0, 1, 0}), "bass", true, "C with E in the bass is C/E, not C/G"},
      {"A", frets({kMuted, 0, 2, 2, kMuted, kMuted}), "third", true, "the open A power chord named as A major"},
      {"A7", frets({kMuted, 0, 2, 2, 2, 0}), nullptr, false, "a seventh chord without its seventh"},
      {"Esus4", frets({kMuted, kMuted, kMuted, kMuted, 0, 0}), nullptr, false, "two strings: a power chord at most"},
      {"A", frets({kMuted, 4, 2, kMuted, 2, 0}), "root", true, "C# E C# E: the third and fifth of A without the A"},
  };
  for (const Wrong& row : rows) {
    const auto problems = checkVoicing(chord(row.name), row.frets);
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

TEST_P(ChordChart, PrintsEachFingeringOnce) {
  const Chart chart = loadChart(GetParam().file);
  std::map<Frets, std::string> seen;
  for (const auto& row : chart.rows) {
    const auto [it, fresh] = seen.emplace(row.frets, row.name);
    EXPECT_TRUE(fresh) << row.field << " repeats the voicing of " << it->second;
  }
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

TEST(ChordCharts, LeadWithTheBookShapes) {
  struct Case {
    const char* file;
    const char* name;
    const char* frets;
    bool first;  // the name's first row; otherwise one of its rows
  };
  const std::vector<Case> cases{
      {"chords_a.txt", "A", "002220", true},      {"chords_a.txt", "A", "x02220", false},
      {"chords_a.txt", "Asus4", "x02230", true},  {"chords_a.txt", "A7", "x02020", true},
      {"chords_a.txt", "Am", "x02210", true},     {"chords_b.txt", "H", "224442", true},
      {"chords_b.txt", "H7", "x21202", true},     {"chords_b.txt", "Hm", "x24432", true},
      {"chords_b.txt", "Hsus4", "x24452", true},  {"chords_c.txt", "C", "032010", true},
      {"chords_c.txt", "C", "x32010", false},     {"chords_c.txt", "C7", "x32310", true},
      {"chords_c.txt", "Cadd9", "x32033", true},  {"chords_d.txt", "D", "xx0232", true},
      {"chords_d.txt", "Dm", "xx0231", true},     {"chords_e.txt", "Em", "022000", true},
      {"chords_e.txt", "Esus2", "024400", true},  {"chords_f.txt", "F", "133211", true},
      {"chords_f.txt", "F", "xx3211", false},     {"chords_f.txt", "Fm", "133111", true},
      {"chords_f.txt", "Fmaj7", "xx3210", true},  {"chords_g.txt", "G", "320003", true},
      // Power chords: the name field carries the second name.
      {"chords_a.txt", "A5        or   A(no 3rd)", "x022xx", true},
      {"chords_b.txt", "H5        or   H(no 3rd)", "x244xx", true},
      {"chords_g.txt", "G5        or   G(no 3rd)", "355xxx", true},
  };
  std::map<std::string, Chart> charts;
  for (const auto& c : cases) {
    if (!charts.count(c.file)) charts.emplace(c.file, loadChart(c.file));
    std::vector<Frets> rows;
    for (const auto& row : charts.at(c.file).rows)
      if (row.name == c.name) rows.push_back(row.frets);
    ASSERT_FALSE(rows.empty()) << c.name << " is not on " << c.file;
    if (c.first)
      EXPECT_EQ(rows.front(), book(c.frets)) << c.name << " does not lead with " << c.frets;
    else
      EXPECT_NE(std::find(rows.begin(), rows.end(), book(c.frets)), rows.end()) << c.name << " lacks " << c.frets;
  }
}

// The committed charts are the generator's output, byte for byte: rerunning it changes nothing.
TEST(ChordCharts, AreExactlyWhatTheGeneratorWrites) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("chord-charts-" + std::to_string(static_cast<long long>(::getpid())));
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(std::filesystem::create_directories(dir)) << dir;
  const std::string command = std::string("\"") + ZT_PYTHON3 + "\" \"" + ZT_CHART_GENERATOR + "\" \"" +
                              dir.string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const auto& page : pages()) {
    std::ifstream in(dir / page.file, std::ios::binary);
    ASSERT_TRUE(in.good()) << "the generator wrote no " << page.file;
    std::ostringstream written;
    written << in.rdbuf();
    const std::string committed = readFile(page.file);
    if (committed == written.str()) continue;
    const auto ours = charts::splitLines(committed);
    const auto theirs = charts::splitLines(written.str());
    std::size_t i = 0;
    while (i < ours.size() && i < theirs.size() && ours[i] == theirs[i]) ++i;
    ADD_FAILURE() << page.file << " is not what tools/make_chord_charts.py writes; line " << i + 1 << " committed \""
                  << (i < ours.size() ? ours[i] : "(end)") << "\", generated \""
                  << (i < theirs.size() ? theirs[i] : "(end)") << "\"";
  }
  std::filesystem::remove_all(dir);
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
