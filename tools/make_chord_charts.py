#!/usr/bin/env python3
"""Writes the seven chord fingering charts of the information window.

    python3 tools/make_chord_charts.py [output-dir]      (default: info/texts beside this tool)

The output is chords_a.txt, chords_b.txt (the B / H page), chords_c.txt, chords_d.txt, chords_e.txt,
chords_f.txt and chords_g.txt: UTF-8, LF line endings, every line (the last one too) ends with "\n".
The run is deterministic: the same script always writes the same bytes.

How a chart is made:
  1. Each page has a list of chord names: the plain chords of its root(s) (BASE_SUFFIXES, in order of how
     common they are) and enough slash chords (SLASH_CHORDS, same ordering) to reach the page's name count.
     Every page but F ends with one fixed "sus4" slash chord (the F page ends with its few F# chords), and names
     are sorted by suffix within each root. A slash bass that is a chord tone is spelled as in the chord
     (A/C#), any other bass with flats (A/Ab, Asus4/Gb); B is written H and B-flat Hb throughout.
  2. For every name, all fingerings in standard tuning E A D G B E are enumerated (frets 0..14) and kept when
     they are correct: every sounding note is a chord tone (or the slash bass), the lowest-pitched note is the
     root (the bass in a slash chord) on the lowest sounding string, all the chord's required tones sound
     (root, third unless there is none, sixth/seventh, altered and added notes; the perfect fifth may be left
     out), at least 3 strings sound (2 for a power chord), at most one muted string lies between sounding ones.
  3. They are kept only when a guitar teacher would print them (is_playable):
     - the fretted notes lie within four frets (highest minus lowest at most 3);
     - at most four fingers; one finger may barre the lowest fret from the thickest string held there towards
       the first string, so no open string may lie under it or on its treble side (hand());
     - an open string rings only while every fretted note is at fret 5 or below, and between fretted strings
       only in the nut position (every fretted note at fret 3 or below);
     - a power chord is two or three adjacent strings with the root lowest, on string 6, 5 or 4, and no open
       string with a fret above 12.
  4. Each name leads with the shape chord books lead with: its BOOK_ROWS if it has any (they obey every rule
     but the root in the bass: A 002220 sounds its fifth lowest), else the open shape,
     else the E- or A-shape barre at the lowest position (book_tier()), else the best-scored voicing. The
     other rows are scored (lower is better): muted strings, a muted string inside the chord, a missing fifth,
     few sounding strings, a high position, a wide stretch, many fingers, a barre, a doubled colour note and
     open strings beside a shape up the neck all cost something; open strings at the nut earn a little. They
     are picked greedily, each pick penalising the remaining candidates that are a picked grip with strings
     left out or added or sit at the same position, so that the rows of a name are genuinely different.
  5. A fingering appears once per page: every name's first row is given out before the other rows (most
     common chord first), and no name takes a fingering another name of the page already holds.
  6. The number of rows per name follows how common the chord is (ROW_WEIGHTS), scaled to the page's row
     count; a name that runs short of fingerings leaves its rows to the others.
"""

import functools
import itertools
import os
import sys
from dataclasses import dataclass

# ----------------------------------------------------------------------------------------------------------------
# Instrument

OPEN_MIDI = (40, 45, 50, 55, 59, 64)  # E2 A2 D3 G3 B3 E4, the sixth (thickest) string first
MAX_FRET = 14
MAX_STRETCH = 3  # highest fretted fret minus lowest fretted fret: four frets under the hand
MAX_FINGERS = 4
OPEN_STRING_TOP_FRET = 5   # open strings ring only while every fretted note is at this fret or below,
NUT_POSITION_TOP_FRET = 3  # and between fretted strings only while every fretted note is at this fret or below
POWER_CHORD_LOWEST_ROOT_STRING = 2  # a power chord's root is on string 6, 5 or 4 (indices 0..2)
POWER_CHORD_OPEN_TOP_FRET = 12      # no open string in a power chord with a fret above this

# ----------------------------------------------------------------------------------------------------------------
# Texts

PREAMBLE = [
    "Как читать аппликатуры",
    "",
    "Аппликатура аккорда записана шестью числами в квадратных скобках:",
    "это номера ладов, на которых прижимаются струны (в таблице числа разделены пробелами).",
    "Например, аккорд E (ми мажор) записывается так: [022100].",
    "Первой, слева, записана шестая, самая толстая струна,",
    "последней, справа, — первая, самая тонкая.",
    "«0» означает открытую струну: её не прижимают, но она звучит.",
    "Струна, отмеченная знаком «x», звучать не должна: её не задевают",
    "или глушат пальцами.",
    "",
    "В одних изданиях буквой «B» обозначают си-бемоль, в других — си.",
    "Чтобы не было путаницы, здесь си обозначается буквой «H»,",
    "а си-бемоль — «Hb».",
]
assert len(PREAMBLE) == 14

HEADER = "E A D G B e"
NAME_FIELD = 25

# ----------------------------------------------------------------------------------------------------------------
# Chord theory

NATURAL_PC = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
LETTERS = "CDEFGAB"
FLAT_NAMES = ["C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"]
# Letter steps above the root at which a chord tone of a given interval is spelled (b2/2 -> second, ...).
INTERVAL_STEP = {0: 0, 1: 1, 2: 1, 3: 2, 4: 2, 5: 3, 6: 4, 7: 4, 8: 5, 9: 5, 10: 6, 11: 6}


@dataclass(frozen=True)
class Quality:
    tones: frozenset      # intervals above the root that may sound
    required: frozenset   # intervals that must sound
    min_strings: int = 3
    sharp_fifth: bool = False  # interval 8 is a raised fifth (spelled on the fifth letter)


def q(tones, required, min_strings=3, sharp_fifth=False):
    return Quality(frozenset(tones), frozenset(required), min_strings, sharp_fifth)


QUALITIES = {
    "": q({0, 4, 7}, {0, 4}),
    "m": q({0, 3, 7}, {0, 3}),
    "5": q({0, 7}, {0, 7}, min_strings=2),
    " #5": q({0, 4, 8}, {0, 4, 8}, sharp_fifth=True),
    "dim": q({0, 3, 6}, {0, 3, 6}),
    "dim7": q({0, 3, 6, 9}, {0, 3, 6, 9}),
    "6": q({0, 4, 7, 9}, {0, 4, 9}),
    "m6": q({0, 3, 7, 9}, {0, 3, 9}),
    "6/9": q({0, 4, 7, 9, 2}, {0, 4, 9, 2}),
    "7": q({0, 4, 7, 10}, {0, 4, 10}),
    "m7": q({0, 3, 7, 10}, {0, 3, 10}),
    "maj7": q({0, 4, 7, 11}, {0, 4, 11}),
    "m(maj7)": q({0, 3, 7, 11}, {0, 3, 11}),
    "m7b5": q({0, 3, 6, 10}, {0, 3, 6, 10}),
    "7b5": q({0, 4, 6, 10}, {0, 4, 6, 10}),
    "7#5": q({0, 4, 8, 10}, {0, 4, 8, 10}, sharp_fifth=True),
    "7b9": q({0, 4, 7, 10, 1}, {0, 4, 10, 1}),
    "7#9": q({0, 4, 7, 10, 3}, {0, 4, 10, 3}),
    "9": q({0, 4, 7, 10, 2}, {0, 4, 10, 2}),
    "m9": q({0, 3, 7, 10, 2}, {0, 3, 10, 2}),
    "maj9": q({0, 4, 7, 11, 2}, {0, 4, 11, 2}),
    "add9": q({0, 4, 7, 2}, {0, 4, 2}),
    "madd9": q({0, 3, 7, 2}, {0, 3, 2}),
    "11": q({0, 4, 7, 10, 2, 5}, {0, 4, 10, 5}),
    "m11": q({0, 3, 7, 10, 2, 5}, {0, 3, 10, 5}),
    "13": q({0, 4, 7, 10, 2, 9}, {0, 4, 10, 9}),
    "sus2": q({0, 2, 7}, {0, 2}),
    "sus4": q({0, 5, 7}, {0, 5}),
    "7sus4": q({0, 5, 7, 10}, {0, 5, 10}),
    "9sus4": q({0, 5, 7, 10, 2}, {0, 5, 10, 2}),
}

# Plain chords of a root, most common first.
BASE_SUFFIXES = ["", "m", "7", "m7", "maj7", "5", "sus4", "sus2", "6", "m6", "9", "add9", "dim", "dim7", " #5",
                 "7sus4", "m7b5", "m9", "maj9", "madd9", "13", "7b9", "7#9", "m(maj7)", "6/9", "7#5", "7b5",
                 "m11", "11", "9sus4"]

# Slash chords as (suffix, bass interval above the root), most common first.
SLASH_CHORDS = [
    ("", 4), ("", 7), ("m", 3), ("m", 7), ("", 10), ("m", 10), ("", 11), ("m", 11), ("", 2), ("7", 4),
    ("m7", 10), ("", 9), ("m", 9), ("maj7", 4), ("", 5), ("7", 7), ("7", 10), ("m", 8), ("", 8), ("m7", 7),
    ("sus4", 7), ("sus2", 7), ("add9", 4), ("6", 7), ("m7", 3), ("m6", 3), ("sus4", 10), ("maj7", 7), ("m", 2),
    ("m", 5), ("7sus4", 10), ("dim", 3), ("sus2", 10), ("9", 4), ("m7b5", 3), ("6", 4), ("add9", 7),
    ("m6", 7), ("7sus4", 7), ("dim7", 3), ("dim7", 6), ("dim7", 9), ("m7", 5), ("9", 10),
    ("m6", 9), ("sus4", 5), ("sus2", 2), ("add9", 2), ("m(maj7)", 3), ("madd9", 3), ("m9", 3), ("9", 7),
    ("7sus4", 5), ("m7b5", 6), ("m7b5", 10), ("dim", 6), ("sus4", 4), ("sus4", 2), ("sus4", 8), ("sus4", 9),
]

# How many rows a chord gets before scaling to the page's row count; slash chords weigh 1.
ROW_WEIGHTS = {"": 6, "m": 5, "7": 4, "m7": 4, "maj7": 3, "5": 3, "sus4": 3, "sus2": 3, "6": 3, "m6": 3, "9": 3}
DEFAULT_WEIGHT = 2

# Fingerings that lead their name because they are the forms chord books print first, where the rules of
# book_tier() alone would pick others: the major chords with all six strings sounding, a few shapes books
# prefer to an equally playable open voicing, and the small F that books print beside the barre.
BOOK_ROWS = {
    ("A", ""): ((0, 0, 2, 2, 2, 0),),
    ("B", ""): ((2, 2, 4, 4, 4, 2),),
    ("C", ""): ((0, 3, 2, 0, 1, 0),),
    ("E", ""): ((0, 2, 2, 1, 0, 0),),
    ("G", ""): ((3, 2, 0, 0, 0, 3),),
    ("C", "add9"): ((None, 3, 2, 0, 3, 3),),
    ("C", "m"): ((None, 3, 5, 5, 4, 3),),
    ("F", ""): ((1, 3, 3, 2, 1, 1), (None, None, 3, 2, 1, 1)),
    ("F", "maj7"): ((None, None, 3, 2, 1, 0),),
    ("G", "m"): ((3, 5, 5, 3, 3, 3),),
}

# Chords that have an E-shape or A-shape barre form (the open E or A chord of that kind moved up the neck).
BARRE_SHAPE_SUFFIXES = {"", "m", "5", "7", "m7", "maj7", "m(maj7)", "6", "m6", "9", "m9", "sus2", "sus4", "7sus4"}


@dataclass(frozen=True)
class Page:
    file: str
    roots: tuple          # root names (letter B means H), in page order
    rows: int
    names: int
    last_slash: tuple     # the (suffix, bass interval) of the page's last chord, or None
    extra_groups: tuple = ()  # (root, suffixes) groups that follow the main root, fixed lists


PAGES = [
    Page("chords_a.txt", ("A",), 157, 75, ("sus4", 9)),
    Page("chords_b.txt", ("B",), 115, 60, ("sus4", 8)),
    Page("chords_c.txt", ("C",), 85, 37, ("sus4", 4)),
    Page("chords_d.txt", ("D",), 164, 70, ("sus4", 4)),
    Page("chords_e.txt", ("E",), 155, 73, ("sus4", 2)),
    Page("chords_f.txt", ("F",), 68, 36, None, (("F#", ("", "7", "dim", "m")),)),
    Page("chords_g.txt", ("G",), 154, 71, ("sus4", 9)),
]
# Plain chords per page; the rest of the page's names are slash chords.
BASE_COUNT = {"chords_a.txt": 30, "chords_b.txt": 30, "chords_c.txt": 26, "chords_d.txt": 30,
              "chords_e.txt": 30, "chords_f.txt": 26, "chords_g.txt": 30}


def root_pc(root):
    pc = NATURAL_PC[root[0]]
    for accidental in root[1:]:
        pc += 1 if accidental == "#" else -1
    return pc % 12


def display(note):
    """Written note name: H for B, Hb for B-flat."""
    return "H" + note[1:] if note[0] == "B" else note


def spell_bass(root, suffix, interval):
    """A chord tone in the bass is spelled as in the chord (A/C#, Gm/Bb); any other bass note with flats."""
    pc = (root_pc(root) + interval) % 12
    quality = QUALITIES[suffix]
    if interval in quality.tones:
        step = 4 if (interval == 8 and quality.sharp_fifth) else INTERVAL_STEP[interval]
        letter = LETTERS[(LETTERS.index(root[0]) + step) % 7]
        accidental = {0: "", 1: "#", 11: "b"}.get((pc - NATURAL_PC[letter]) % 12)
        if accidental is not None:
            return display(letter + accidental)
    return display(FLAT_NAMES[pc])


@dataclass(frozen=True)
class Chord:
    root: str            # B means H
    suffix: str
    bass_interval: int   # None for a chord without a slash bass

    @property
    def name(self):
        base = display(self.root) + self.suffix
        if self.bass_interval is not None:
            base += "/" + spell_bass(self.root, self.suffix, self.bass_interval)
        return base

    @property
    def field(self):
        """The 25-character name column."""
        if self.suffix == "5" and self.bass_interval is None:
            text = "%-10sor   %s" % (self.name, display(self.root) + "(no 3rd)")
        elif self.suffix == "" and self.bass_interval is None and self.root == "E":
            text = "%-10sor   %s" % (self.name, self.name + "maj")
        else:
            text = self.name
        assert len(text) <= NAME_FIELD, text
        return text.ljust(NAME_FIELD)


# ----------------------------------------------------------------------------------------------------------------
# Fingerings

def sounding(frets):
    return [(s, f) for s, f in enumerate(frets) if f is not None]


def hand(frets):
    """(fingers, barre) the fretting hand needs, or None if one hand cannot hold the shape.

    Each fretted note takes a finger, except that one finger may lie across the lowest fret as a barre, from
    the thickest string held there towards the first string. The finger presses every string it lies on, so
    every string under it must be held at or above the barre, and no open string may lie under it or on its
    treble side; no string thicker than the barre's first one is fretted. Among equal counts, no barre."""
    fretted = [(s, f) for s, f in enumerate(frets) if f]
    if not fretted:
        return 0, False
    options = []
    if len(fretted) <= MAX_FINGERS:
        options.append((len(fretted), False))
    low = min(f for _, f in fretted)
    at_low = [s for s, f in fretted if f == low]
    if len(at_low) >= 2:
        first, last = at_low[0], at_low[-1]
        held_under = all(frets[s] is not None and frets[s] >= low for s in range(first, last + 1))
        nothing_thicker = all(not frets[s] for s in range(first))
        no_open_treble = all(frets[s] != 0 for s in range(last + 1, 6))
        if held_under and nothing_thicker and no_open_treble:
            count = 1 + sum(1 for _, f in fretted if f > low)
            if count <= MAX_FINGERS:
                options.append((count, True))
    return min(options) if options else None


def inner_mutes(frets):
    played = [s for s, f in enumerate(frets) if f is not None]
    return sum(1 for s in range(played[0], played[-1] + 1) if frets[s] is None)


def is_playable(frets, power):
    """The playing rules every printed row obeys (a guitar teacher's, not only the hand's)."""
    fretted = [(s, f) for s, f in enumerate(frets) if f]
    opens = [s for s, f in enumerate(frets) if f == 0]
    if fretted:
        low = min(f for _, f in fretted)
        top = max(f for _, f in fretted)
        if top - low > MAX_STRETCH:
            return False
        # An open string rings beside a low shape only; inside a shape only when the hand sits at the nut.
        if opens and top > OPEN_STRING_TOP_FRET:
            return False
        first, last = fretted[0][0], fretted[-1][0]
        if top > NUT_POSITION_TOP_FRET and any(first < s < last for s in opens):
            return False
    if hand(frets) is None:
        return False
    if power:
        played = [s for s, f in enumerate(frets) if f is not None]
        if not 2 <= len(played) <= 3 or played[-1] - played[0] + 1 != len(played):
            return False
        if played[0] > POWER_CHORD_LOWEST_ROOT_STRING:
            return False
        if opens and fretted and max(f for _, f in fretted) > POWER_CHORD_OPEN_TOP_FRET:
            return False
    return True


def chord_facts(chord):
    quality = QUALITIES[chord.suffix]
    r = root_pc(chord.root)
    tones = {(r + i) % 12 for i in quality.tones}
    required = {(r + i) % 12 for i in quality.required}
    bass = r if chord.bass_interval is None else (r + chord.bass_interval) % 12
    return r, tones, required, bass, quality


def is_power(chord):
    return QUALITIES[chord.suffix].min_strings == 2


def is_valid(chord, frets, strict):
    """The rules every row obeys; strict adds the generator's own taste (root in the bass on the lowest
    sounding string, a slash bass that is no chord tone sounds once, at most one muted string inside the
    chord)."""
    r, tones, required, bass, quality = chord_facts(chord)
    played = sounding(frets)
    if len(played) < quality.min_strings:
        return False
    pcs = [(OPEN_MIDI[s] + f) % 12 for s, f in played]
    if not required <= set(pcs):
        return False
    if any(pc not in tones and pc != bass for pc in pcs):
        return False
    lowest_s, lowest_f = min(played, key=lambda sf: OPEN_MIDI[sf[0]] + sf[1])
    lowest_pc = (OPEN_MIDI[lowest_s] + lowest_f) % 12
    if chord.bass_interval is not None and lowest_pc != bass:
        return False
    if not is_playable(frets, is_power(chord)):
        return False
    if strict:
        if lowest_pc != bass:
            return False
        if lowest_s != played[0][0]:  # the bass is on the lowest sounding string
            return False
        if bass not in tones and pcs.count(bass) > 1:
            return False
        if inner_mutes(frets) > 1:
            return False
    return True


@functools.lru_cache(maxsize=None)
def enumerate_fingerings(chord):
    _, tones, required, bass, quality = chord_facts(chord)
    allowed = tones | {bass}
    options = []
    for s in range(6):
        frets = [f for f in range(MAX_FRET + 1) if (OPEN_MIDI[s] + f) % 12 in allowed]
        options.append([None] + frets)
    found = []

    def walk(s, current, low, high, pcs):
        if s == 6:
            # Cheap tests first; is_valid() below judges the survivors in full.
            if len(current) - current.count(None) >= quality.min_strings and required <= pcs:
                found.append(tuple(current))
            return
        for f in options[s]:
            if f is None:
                npcs = pcs
            else:
                pc = (OPEN_MIDI[s] + f) % 12
                if not pcs and pc != bass:
                    continue  # the lowest sounding string carries the bass
                npcs = pcs | {pc}
            if f:
                nlow, nhigh = min(low, f), max(high, f)
                if nhigh - nlow > MAX_STRETCH:
                    continue
            else:
                nlow, nhigh = low, high
            current.append(f)
            walk(s + 1, current, nlow, nhigh, npcs)
            current.pop()

    walk(0, [], 99, -1, frozenset())
    return tuple(frets for frets in found if is_valid(chord, frets, strict=True))


def score(chord, frets):
    """Lower is better: what makes a voicing harder to play or thinner to hear."""
    _, tones, _, _, quality = chord_facts(chord)
    played = sounding(frets)
    pcs = {(OPEN_MIDI[s] + f) % 12 for s, f in played}
    fretted = [f for _, f in played if f > 0]
    position = min(fretted) if fretted else 0
    top = max(fretted) if fretted else 0
    stretch = top - position
    fingers, barre = hand(frets)
    muted_top = 0
    for f in reversed(frets):
        if f is not None:
            break
        muted_top += 1
    muted_bottom = 0
    for f in frets:
        if f is not None:
            break
        muted_bottom += 1
    cost = 5.0 * inner_mutes(frets)
    if is_power(chord):
        # Root, fifth and octave, the root as low as it goes.
        cost += 0.5 * played[0][0] + (1.0 if len(played) == 2 else 0.0)
        if any(f == 0 for _, f in played[1:]):
            cost += 2.0  # an open fifth or octave over a fretted root is no power chord shape
    else:
        cost += 1.0 * muted_bottom + 1.6 * muted_top
        if len(played) < 4:
            cost += 2.0
    cost += 0.2 * position + 0.5 * stretch + (0.5 if stretch == MAX_STRETCH else 0.0)
    cost += 0.3 * fingers + (0.3 if barre else 0.0)
    opens = sum(1 for _, f in played if f == 0)
    if top <= NUT_POSITION_TOP_FRET:
        cost -= 0.2 * opens  # an open-position chord
    else:
        cost += 1.0 * opens  # an open string beside a shape that has left the nut
    cost += 1.5 * len(tones - pcs)
    # A doubled root, third or fifth fills the sound out; a doubled colour note (2nd, 4th, 6th, 7th) crowds it.
    r = root_pc(chord.root)
    plain = {r, (r + 3) % 12, (r + 4) % 12, (r + 7) % 12}
    notes = [(OPEN_MIDI[s] + f) % 12 for s, f in played]
    cost += 0.6 * sum(notes.count(pc) - 1 for pc in set(notes) if pc not in plain)
    return cost


def book_tier(chord, frets):
    """0: an open shape (the hand at the nut, open strings ringing, the first string sounding, no muted
    string inside, no full stretch; a note at the 4th fret only over an open root); 1: an E- or A-shape barre of a chord that
    has one (the root on string 6 or 5 under a barre that reaches the first string; for a power chord, the
    root on string 6 or 5); 2: anything else, and every slash chord. Chord books lead with the lowest tier."""
    if chord.bass_interval is not None:
        return 2
    played = sounding(frets)
    fretted = [f for _, f in played if f > 0]
    opens = [s for s, f in played if f == 0]
    low = min(fretted) if fretted else 0
    top = max(fretted) if fretted else 0
    root_open = frets[played[0][0]] == 0
    if opens and low <= 2 and top - low < MAX_STRETCH and (top <= NUT_POSITION_TOP_FRET or (top <= 4 and root_open)):
        if is_power(chord):
            return 0
        if len(played) >= 4 and frets[5] is not None and inner_mutes(frets) == 0:
            return 0
    if chord.suffix in BARRE_SHAPE_SUFFIXES and fretted and played[0][0] <= 1 and frets[played[0][0]] == low:
        if is_power(chord):
            return 1
        if frets[5] == low and inner_mutes(frets) == 0 and hand(frets)[1]:
            return 1
    return 2


def first_row_key(chord, frets):
    tier = book_tier(chord, frets)
    position = min([f for f in frets if f] or [0])
    return (tier, position if tier == 1 else 0, score(chord, frets), fingering_key(frets))


def fingering_key(frets):
    """Breaks ties by the fingering itself, so the output never depends on iteration order."""
    return tuple(-1 if f is None else f for f in frets)


def similarity_penalty(frets, picked):
    penalty = 0.0
    for other in picked:
        mine = {s for s in range(6) if frets[s] is not None}
        theirs = {s for s in range(6) if other[s] is not None}
        common = mine & theirs
        if common in (mine, theirs) and all(frets[s] == other[s] for s in common):
            penalty += 4.0  # the same grip with strings left out or added
        pos_a = min([f for f in frets if f] or [0])
        pos_b = min([f for f in other if f] or [0])
        if abs(pos_a - pos_b) <= 1:
            penalty += 1.5
    return penalty


def book_rows(chord):
    """The rows a name leads with, if it has any (checked against the rules a row obeys)."""
    if chord.bass_interval is not None:
        return ()
    rows = BOOK_ROWS.get((chord.root, chord.suffix), ())
    for row in rows:
        assert is_valid(chord, row, strict=False), chord.name
    return rows


def available(chord):
    return len(set(enumerate_fingerings(chord)) | set(book_rows(chord)))


def pick_rows(by_importance, counts):
    """The rows of every name of a page: first rows for all names (most common chord first), then the
    others, never a fingering that another name of the page already holds. Returns the rows and the names
    that ran short (with how many rows they got)."""
    used = set()
    picked = {}
    short = {}
    for chord in by_importance:
        candidates = [c for c in enumerate_fingerings(chord) if c not in used]
        book = [c for c in book_rows(chord) if c not in used]
        if book:
            first = book[0]
        elif candidates:
            first = min(candidates, key=lambda c: first_row_key(chord, c))
        else:
            raise SystemExit("no fingering left for %s" % chord.name)
        picked[chord] = [first]
        used.add(first)
    for chord in by_importance:
        rows = picked[chord]
        for row in book_rows(chord):
            if len(rows) < counts[chord] and row not in used:
                rows.append(row)
                used.add(row)
        # Book rows are shown for their own sake; they do not push their neighbours out.
        free = len([row for row in rows if row in book_rows(chord)])
        candidates = [c for c in enumerate_fingerings(chord) if c not in used]
        base = {c: score(chord, c) for c in candidates}
        while len(rows) < counts[chord]:
            if not candidates:
                short[chord] = len(rows)
                break
            best = min(candidates, key=lambda c: (base[c] + similarity_penalty(c, rows[free:]), fingering_key(c)))
            rows.append(best)
            used.add(best)
            candidates.remove(best)
    return picked, short


# ----------------------------------------------------------------------------------------------------------------
# Pages

def page_chords(page):
    """The page's chords in importance order (for row counts) and in page order."""
    root = page.roots[0]
    base = [Chord(root, s, None) for s in BASE_SUFFIXES[:BASE_COUNT[page.file]]]
    extra = [Chord(r, s, None) for r, suffixes in page.extra_groups for s in suffixes]
    slash_wanted = page.names - len(base) - len(extra)
    slash = []
    last = None
    if page.last_slash is not None:
        last = Chord(root, page.last_slash[0], page.last_slash[1])
        slash_wanted -= 1
    for suffix, interval in SLASH_CHORDS:
        if len(slash) == slash_wanted:
            break
        chord = Chord(root, suffix, interval)
        if last is not None and (chord == last or chord.name > last.name):
            continue
        if not enumerate_fingerings(chord):
            continue
        slash.append(chord)
    if len(slash) != slash_wanted:
        raise SystemExit("too few slash chords for %s" % page.file)
    if last is not None:
        slash.append(last)
    by_importance = base + extra + slash
    main = sorted(base + slash, key=lambda c: c.name)
    groups = {}
    for chord in extra:
        groups.setdefault(chord.root, []).append(chord)
    in_order = main + [c for r in groups for c in sorted(groups[r], key=lambda c: c.name)]
    return by_importance, in_order


def row_counts(page, by_importance, limit):
    counts = {}
    for chord in by_importance:
        if chord.bass_interval is not None:
            counts[chord] = 1
        else:
            counts[chord] = ROW_WEIGHTS.get(chord.suffix, DEFAULT_WEIGHT)
    for chord in by_importance:
        counts[chord] = min(counts[chord], limit[chord])
    total = sum(counts.values())
    while total > page.rows:
        # Take from the chord with the most rows; among equals, from the least common one.
        chord = max(reversed(by_importance), key=lambda c: counts[c])
        if counts[chord] == 1:
            raise SystemExit("page %s cannot shrink" % page.file)
        counts[chord] -= 1
        total -= 1
    for chord in itertools.cycle(by_importance):
        if total == page.rows:
            break
        if counts[chord] < limit[chord]:
            counts[chord] += 1
            total += 1
    return counts


def page_rows(page):
    """The page's chords in page order, each with its rows. A name that runs short because other names of
    the page hold its fingerings gets what is left, and the page's other names make up the difference."""
    by_importance, in_order = page_chords(page)
    limit = {chord: available(chord) for chord in by_importance}
    while True:
        counts = row_counts(page, by_importance, limit)
        picked, short = pick_rows(by_importance, counts)
        if not short:
            return [(chord, picked[chord]) for chord in in_order]
        limit.update(short)


def render_row(chord, frets):
    tokens = " ".join("x" if f is None else str(f) for f in frets)
    return "%s[%s] " % (chord.field, tokens)


def render_page(page):
    lines = list(PREAMBLE)
    lines.append("")
    lines.append(" " * (25 if page.file == "chords_d.txt" else 26) + HEADER)
    for chord, rows in page_rows(page):
        for frets in rows:
            lines.append(render_row(chord, frets))
    return "".join(line + "\n" for line in lines)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, "..", "info", "texts")
    os.makedirs(out_dir, exist_ok=True)
    for page in PAGES:
        text = render_page(page)
        with open(os.path.join(out_dir, page.file), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
