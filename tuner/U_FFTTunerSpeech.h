#pragma once
// What a screen reader says by itself while the guitarist tunes, without a key press: when the string
// sounds, whether it is lower than the target, in tune or higher, and by how much in steps a guitarist can
// act on; "too loud" when the level bar enters its red zone; nothing during silence. Plain code with no
// widgets and no clock of its own: the window's timer tick calls it (window thread only).

#include <cstdint>
#include <string>

#include "U_FFTTunerDisplay.h"

// A reading as it is spoken. Silence (NoEstimate): the level is below SoundingLevel or there is no estimate.
struct TSpokenReading {
    TTuning State = TTuning::NoEstimate;
    // Size of the deviation in tenths of a per cent, in steps: 5, 10, 15 below 2 %, then whole per cents
    // up to 25 % (25 %: that or more, off the scale); 0 when in tune or silent.
    int32_t StepTenths = 0;
    bool operator==(const TSpokenReading&) const = default;
};

// PeakLevel below this (6 % of full scale) counts as silence.
inline constexpr int32_t SoundingLevel = 8;

// The step of a deviation of |Tenths| tenths of a per cent above the in-tune band: rounded to the nearest
// 0.5 % below 1.8 %, to the nearest whole per cent from there (halves round up).
int32_t DeviationStepTenths(int32_t Tenths);

// The reading of the shown frequency against the target. Previous: the reading spoken last; while the new
// deviation stays within a tenth (two tenths for whole-per-cent steps) of the band of Previous's step, in the
// same direction, Previous's step is kept, so that a reading jittering at a step's edge is not spoken again
// and again.
TSpokenReading SpeakableReading(int32_t PeakLevel, double ShownHz, double TargetHz, const TSpokenReading& Previous);

// "Ниже на 3 %", "Выше на 0,5 %", "Ниже на 25 % или больше", "Настроена", "Нет звука"; numbers with
// DecimalSeparator. UTF-8.
std::string SpokenReadingText(const TSpokenReading& Reading, const std::string& DecimalSeparator);

// When to speak. A reading is spoken when it differs from the one spoken last, at most once per
// MinIntervalMs; a change within the interval waits, and the reading current when the interval ends is
// spoken (or nothing, if it is the one spoken last). Entering the red zone adds "Слишком громко". Silence,
// another string or the focus leaving the string's button forget the reading spoken last, so the next
// sounding note is spoken anew; the focus arriving on the button or another string being chosen start an
// interval, during which the screen reader announces the button itself.
class TReadingAnnouncer {
public:
    static constexpr int64_t MinIntervalMs = 1000;

    // One timer tick. NowMs: a steady clock in milliseconds. Listening: the keyboard focus is on the selected
    // string's button in the active window. StringIndex 0..5. InRedZone: the level bar reaches its red part.
    // Returns the text to speak now (UTF-8), or an empty string.
    std::string Tick(int64_t NowMs, bool Listening, int32_t StringIndex, int32_t PeakLevel, bool InRedZone,
                     double ShownHz, double TargetHz, const std::string& DecimalSeparator);

    // The reading of the last tick (silence included), whether or not it was spoken.
    const TSpokenReading& Current() const { return CurrentReading; }

private:
    TSpokenReading CurrentReading;
    TSpokenReading Spoken;        // NoEstimate: nothing spoken since the last reset
    bool Listening = false;
    int32_t StringIndex = -1;
    bool WasRed = false;
    bool TooLoudPending = false;
    int64_t LastSpokenMs = 0;
};
