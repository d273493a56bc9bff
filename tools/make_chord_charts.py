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
  2. For every name, all fingerings in standard tuning E A D G B E are enumerated (frets 0..14, at most 4 frets
     between the lowest and the highest fretted string) and kept when they are correct: every sounding note is a
     chord tone (or the slash bass), the lowest-pitched note is the root (the bass in a slash chord), all the
     chord's required tones sound (root, third unless there is none, sixth/seventh, altered and added notes; the
     perfect fifth may be left out), at least 3 strings sound (2 for a power chord) and the hand can hold it
     (at most 4 fingers, a barre counting as one; at most one muted string between sounding ones).
  3. The survivors are scored (lower is better): muted strings, a muted string inside the chord, a missing fifth,
     few sounding strings, a high position, a wide stretch, many fingers and a barre all cost something; open
     strings in low positions earn a little. Rows are then picked greedily, each pick penalising the remaining
     candidates that only mute or unmute strings of a picked voicing or sit at the same position, so that the
     rows of a name are the standard shape first and then genuinely different positions.
  4. The number of rows per name follows how common the chord is (ROW_WEIGHTS), scaled to the page's row count.
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
MAX_STRETCH = 4  # highest fretted fret minus lowest fretted fret
MAX_FINGERS = 4

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

# Fingerings that lead their name because they are the classic forms shown in every chord book
# (with all six strings sounding).
CLASSIC_FIRST_ROWS = {
    ("A", ""): (0, 0, 2, 2, 2, 0),
    ("B", ""): (2, 2, 4, 4, 4, 2),
    ("C", ""): (0, 3, 2, 0, 1, 0),
    ("E", ""): (0, 2, 2, 1, 0, 0),
    ("G", ""): (3, 2, 0, 0, 0, 3),
}


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


def fingers_needed(frets):
    """Fingers the fretting hand needs; a barre at the lowest fret counts as one. None if it cannot be held."""
    fretted = [(s, f) for s, f in enumerate(frets) if f]
    if not fretted:
        return 0, False
    best = None
    if len(fretted) <= MAX_FINGERS:
        best = (len(fretted), False)
    low = min(f for _, f in fretted)
    at_low = [s for s, f in fretted if f == low]
    if len(at_low) >= 2:
        lo, hi = at_low[0], at_low[-1]
        # Every string under the barre must be held at or above it: an open or muted string cannot be;
        # and no finger reaches over the barre to a thicker string.
        if all(frets[s] in (None, 0) for s in range(lo)) and all(frets[s] is not None and frets[s] >= low for s in range(lo, hi + 1)):
            count = 1 + sum(1 for _, f in fretted if f > low)
            if count <= MAX_FINGERS and (best is None or count < best[0]):
                best = (count, True)
    return best


def inner_mutes(frets):
    played = [s for s, f in enumerate(frets) if f is not None]
    return sum(1 for s in range(played[0], played[-1] + 1) if frets[s] is None)


def chord_facts(chord):
    quality = QUALITIES[chord.suffix]
    r = root_pc(chord.root)
    tones = {(r + i) % 12 for i in quality.tones}
    required = {(r + i) % 12 for i in quality.required}
    bass = r if chord.bass_interval is None else (r + chord.bass_interval) % 12
    return r, tones, required, bass, quality


def is_valid(chord, frets, strict):
    """The rules every row obeys; strict adds the generator's own taste (root in the bass, clean slash bass,
    at most one muted string inside the chord)."""
    r, tones, required, bass, quality = chord_facts(chord)
    played = sounding(frets)
    if len(played) < quality.min_strings:
        return False
    fretted = [f for _, f in played if f > 0]
    if fretted and max(fretted) - min(fretted) > MAX_STRETCH:
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
    if fingers_needed(frets) is None:
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
    _, tones, _, bass, _ = chord_facts(chord)
    allowed = tones | {bass}
    options = []
    for s in range(6):
        frets = [f for f in range(MAX_FRET + 1) if (OPEN_MIDI[s] + f) % 12 in allowed]
        options.append([None] + frets)
    found = []

    def walk(s, current, low, high):
        if s == 6:
            found.append(tuple(current))
            return
        for f in options[s]:
            if f:
                nlow, nhigh = min(low, f), max(high, f)
                if nhigh - nlow > MAX_STRETCH:
                    continue
            else:
                nlow, nhigh = low, high
            current.append(f)
            walk(s + 1, current, nlow, nhigh)
            current.pop()

    walk(0, [], 99, -1)
    return tuple(frets for frets in found if is_valid(chord, frets, strict=True))


def score(chord, frets):
    _, tones, _, _, quality = chord_facts(chord)
    played = sounding(frets)
    pcs = {(OPEN_MIDI[s] + f) % 12 for s, f in played}
    fretted_strings = [s for s, f in played if f > 0]
    fretted = [frets[s] for s in fretted_strings]
    position = min(fretted) if fretted else 0
    stretch = (max(fretted) - min(fretted)) if fretted else 0
    fingers, barre = fingers_needed(frets)
    power = quality.min_strings == 2
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
    if power:
        # A power chord is two or three strings, the rest damped.
        cost += 0.6 * max(0, len(played) - 3) + 0.5 * played[0][0]
    else:
        cost += 1.0 * muted_bottom + 1.6 * muted_top
        if len(played) < 4:
            cost += 2.0
    cost += 0.2 * position + 0.5 * stretch + (1.0 if stretch == MAX_STRETCH else 0.0)
    cost += 0.3 * fingers + (0.3 if barre else 0.0)
    opens = [s for s, f in played if f == 0]
    if not fretted or max(fretted) <= 3:
        cost -= 0.2 * len(opens)  # an open-position chord
    else:
        # Open strings under a shape further up the neck: fine as a bass below it, awkward inside it.
        for s in opens:
            cost += (1.0 + 0.1 * position) if s > fretted_strings[0] else 0.3
    cost += 1.5 * len(tones - pcs)
    return cost


def similarity_penalty(frets, picked):
    penalty = 0.0
    for other in picked:
        common = [s for s in range(6) if frets[s] is not None and other[s] is not None]
        if all(frets[s] == other[s] for s in common):
            penalty += 4.0  # differs only by muted strings
        pos_a = min([f for f in frets if f] or [0])
        pos_b = min([f for f in other if f] or [0])
        if abs(pos_a - pos_b) <= 1:
            penalty += 1.5
    return penalty


def choose(chord, count):
    candidates = list(enumerate_fingerings(chord))
    classic = CLASSIC_FIRST_ROWS.get((chord.root, chord.suffix)) if chord.bass_interval is None else None
    picked = []
    if classic is not None:
        assert is_valid(chord, classic, strict=False), chord.name
        picked.append(classic)
        candidates = [c for c in candidates if c != classic]
    base = {c: score(chord, c) for c in candidates}
    # The classic row is shown for its own sake; it does not push its neighbours out.
    first_free = len(picked)
    while len(picked) < count:
        if not candidates:
            raise SystemExit("not enough fingerings for %s" % chord.name)
        # Ties broken by the fingering itself, so the output never depends on iteration order.
        best = min(candidates, key=lambda c: (base[c] + similarity_penalty(c, picked[first_free:]),
                                              tuple(-1 if f is None else f for f in c)))
        picked.append(best)
        candidates.remove(best)
    return picked


def available(chord):
    fingerings = set(enumerate_fingerings(chord))
    if chord.bass_interval is None and (chord.root, chord.suffix) in CLASSIC_FIRST_ROWS:
        fingerings.add(CLASSIC_FIRST_ROWS[(chord.root, chord.suffix)])
    return len(fingerings)


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


def row_counts(page, by_importance):
    counts = {}
    for chord in by_importance:
        if chord.bass_interval is not None:
            counts[chord] = 1
        else:
            counts[chord] = ROW_WEIGHTS.get(chord.suffix, DEFAULT_WEIGHT)
    limit = {chord: available(chord) for chord in by_importance}
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


def render_row(chord, frets):
    tokens = " ".join("x" if f is None else str(f) for f in frets)
    return "%s[%s] " % (chord.field, tokens)


def render_page(page):
    by_importance, in_order = page_chords(page)
    counts = row_counts(page, by_importance)
    lines = list(PREAMBLE)
    lines.append("")
    lines.append(" " * (25 if page.file == "chords_d.txt" else 26) + HEADER)
    for chord in in_order:
        for frets in choose(chord, counts[chord]):
            lines.append(render_row(chord, frets))
    return "".join(line + "\n" for line in lines)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, "..", "info", "texts")
    for page in PAGES:
        text = render_page(page)
        with open(os.path.join(out_dir, page.file), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
