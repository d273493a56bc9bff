// A small chord theory and a reader for the information window's chord charts (info/texts/chords_*.txt),
// used by the chart tests to judge every row on its own, without the script that wrote the charts.
//
// Pitch classes are 0..11 with C = 0. Strings are indexed 0..5 from the sixth (thickest, low E) to the first
// (high e), the order in which a chart row lists them. A fret of kMuted means the string must not sound.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace charts {

inline constexpr int kStringCount = 6;
inline constexpr int kMuted = -1;
inline constexpr int kMaxFret = 14;
inline constexpr int kMaxStretchFrets = 3;  // highest fretted fret minus lowest fretted fret: four frets
inline constexpr int kMaxFingers = 4;
inline constexpr int kOpenStringTopFret = 5;   // open strings ring only while every fretted note is this low
inline constexpr int kNutPositionTopFret = 3;  // open strings between fretted ones only while every note is this low
inline constexpr int kPowerChordLowestRootString = 2;  // string 4 (index 2): the root is on string 6, 5 or 4
inline constexpr int kPowerChordOpenTopFret = 12;
inline constexpr std::size_t kNameFieldWidth = 25;
// MIDI note numbers of the open strings in standard tuning E2 A2 D3 G3 B3 E4.
inline constexpr std::array<int, kStringCount> kOpenStringMidi{40, 45, 50, 55, 59, 64};

using Frets = std::array<int, kStringCount>;

// What a chord suffix means: intervals in semitones above the root (0..11).
struct ChordQuality {
  std::vector<int> tones;     // may sound
  std::vector<int> required;  // must sound: root, third (if any), 6th/7th, altered and added notes
  bool hasThird = true;       // false for sus, power chords and "(no 3rd)"
  int minStrings = 3;         // 2 for power chords
};

// The meaning of a suffix as written after the root ("", "m", " #5", "m7b5", "6/9", "(no 3rd)", ...);
// nullopt for a suffix this chart does not use.
std::optional<ChordQuality> qualityOf(std::string_view suffix);

// Pitch class of a note name as the charts write it: C D E F G A H with an optional '#' or 'b' ("Hb" is
// B-flat). "B" is not a note name here. nullopt if the text is not a note name.
std::optional<int> pitchClassOf(std::string_view note);

struct ChordName {
  std::string text;        // as written
  int root = 0;            // pitch class
  std::string rootName;    // "A", "F#", "Hb", ...
  std::string suffix;      // "" for a major triad
  ChordQuality quality;
  std::optional<int> bass; // pitch class after "/", if any
};

// Parses one chord name ("Am7", "A #5", "A6/9", "Asus4/Gb"); nullopt if it is not a name of this chart.
std::optional<ChordName> parseChordName(std::string_view text);

// Sounding pitch classes of a fingering, in string order, and the pitch class of its lowest-pitched note.
std::vector<int> soundingPitchClasses(const Frets& frets);
std::optional<int> lowestPitchClass(const Frets& frets);

// Fingers the fretting hand needs; nullopt if the shape cannot be held with kMaxFingers. One finger may lie
// across the lowest fret as a barre, from the thickest string held there towards the first string: it presses
// every string it lies on, so no string under it may be open or muted or held below it, no open string may
// lie on its treble side, and no thicker string may be fretted.
std::optional<int> fingersNeeded(const Frets& frets);

// The hand model: how a guitar teacher judges a fingering whatever its name. Problems, empty when it is
// playable: a stretch over kMaxStretchFrets, more than kMaxFingers fingers, an open string beside a shape
// above kOpenStringTopFret, an open string between fretted ones above kNutPositionTopFret.
std::vector<std::string> handProblems(const Frets& frets);

// Every rule a chart row must obey, as a list of human-readable problems (empty when the voicing is right):
// notes outside the chord, root/third/characteristic notes missing, wrong slash bass, too few strings,
// frets out of range, handProblems(), and for a power chord: two or three adjacent strings with the root
// (or the slash bass) on the lowest, that string being string 6, 5 or 4, no open string with a fret above
// kPowerChordOpenTopFret.
std::vector<std::string> checkVoicing(const ChordName& chord, const Frets& frets);

// One chart row: a name field of exactly kNameFieldWidth characters (one name, or two as
// "A5        or   A(no 3rd)"), then "[" six blank-separated tokens "]", optionally one trailing blank.
struct ChartRow {
  std::string field;       // the 25-character name column, blanks included
  std::string name;        // the field without its padding: the row's key for counting and grouping
  std::string primaryName; // the first (or only) chord name
  std::vector<ChordName> chords;  // one, or two names of the same chord
  Frets frets{};
};

struct RowResult {
  std::optional<ChartRow> row;      // set when the line has the row layout and known chord names
  std::vector<std::string> problems;  // layout, naming and music problems; empty for a good row
};

RowResult checkRow(std::string_view line);

// True if text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// Splits a file's text into lines at '\n'; the final '\n' ends the last line rather than starting an empty one.
std::vector<std::string> splitLines(std::string_view text);

}  // namespace charts
