#include "U_FFTTunerSpeech.h"

#include <cstdlib>

namespace {

constexpr int32_t OffScaleTenths = 250;

// The step with its direction: 0 in tune, negative below the target, positive above.
int32_t SignedStep(int32_t Tenths) {
    const int32_t magnitude = std::abs(Tenths);
    if (magnitude <= InTuneTenths) return 0;
    const int32_t step = DeviationStepTenths(magnitude);
    return Tenths < 0 ? -step : step;
}

int32_t SignedStep(const TSpokenReading& Reading) {
    switch (Reading.State) {
        case TTuning::Low: return -Reading.StepTenths;
        case TTuning::High: return Reading.StepTenths;
        default: return 0;
    }
}

}  // namespace

int32_t DeviationStepTenths(int32_t Tenths) {
    const int32_t t = std::abs(Tenths);
    if (t >= OffScaleTenths - 5) return OffScaleTenths;
    if (t < 18) return t < 5 ? 5 : (t + 2) / 5 * 5;
    return (t + 5) / 10 * 10;
}

TSpokenReading SpeakableReading(int32_t PeakLevel, double ShownHz, double TargetHz, const TSpokenReading& Previous) {
    const TTuningReading reading = ReadTuning(ShownHz, TargetHz);
    if (PeakLevel < SoundingLevel || reading.State == TTuning::NoEstimate) return {};
    const int32_t r = reading.DeviationTenths;
    int32_t step = SignedStep(r);
    if (Previous.State != TTuning::NoEstimate) {
        const int32_t previous = SignedStep(Previous);
        const int32_t margin = std::abs(previous) < 20 ? 1 : 2;
        if (SignedStep(r - margin) == previous || SignedStep(r + margin) == previous) step = previous;
    }
    if (step == 0) return {TTuning::InTune, 0};
    return {step < 0 ? TTuning::Low : TTuning::High, std::abs(step)};
}

std::string SpokenReadingText(const TSpokenReading& Reading, const std::string& DecimalSeparator) {
    const int32_t s = Reading.StepTenths;
    const std::string size = s >= OffScaleTenths ? "25 % или больше"
                             : std::to_string(s / 10) + (s % 10 != 0 ? DecimalSeparator + "5" : "") + " %";
    switch (Reading.State) {
        case TTuning::NoEstimate: return "Нет звука";
        case TTuning::Low: return "Ниже на " + size;
        case TTuning::InTune: return "Настроена";
        case TTuning::High: return "Выше на " + size;
    }
    return {};
}

std::string TReadingAnnouncer::Tick(int64_t NowMs, bool Listening_, int32_t StringIndex_, int32_t PeakLevel,
                                    bool InRedZone, double ShownHz, double TargetHz,
                                    const std::string& DecimalSeparator) {
    const bool enteredRed = InRedZone && !WasRed;
    WasRed = InRedZone;
    if (!Listening_ || !Listening || StringIndex_ != StringIndex) {
        // The screen reader is (or will be) announcing the button: start afresh after an interval.
        Spoken = {};
        TooLoudPending = false;
        LastSpokenMs = NowMs;
        Listening = Listening_;
        StringIndex = StringIndex_;
    }
    CurrentReading = SpeakableReading(PeakLevel, ShownHz, TargetHz, Spoken);
    if (!Listening) return {};
    if (CurrentReading.State == TTuning::NoEstimate) {
        Spoken = {};
        TooLoudPending = false;
        return {};
    }
    TooLoudPending = TooLoudPending || enteredRed;
    const bool changed = !(CurrentReading == Spoken);
    if ((!changed && !TooLoudPending) || NowMs - LastSpokenMs < MinIntervalMs) return {};
    std::string text = TooLoudPending ? "Слишком громко" : "";
    if (changed) text += (text.empty() ? "" : ". ") + SpokenReadingText(CurrentReading, DecimalSeparator);
    Spoken = CurrentReading;
    TooLoudPending = false;
    LastSpokenMs = NowMs;
    return text;
}
