#pragma once
// Display arithmetic of the tuner window: the level bar, the octave fold, the frequency text and the
// positions on the deviation scale. Plain functions of plain values, called by the window's timer tick
// and by the tests. Integer work is checked (std::overflow_error); positions round ties to even.

#include <cstdint>
#include <optional>
#include <string>

// Level bar for a box WidthPx wide. Columns 0..LastColumn (inclusive) are drawn; a column is green
// below RedFromColumn and red from there. LastColumn may reach WidthPx (that column is clipped).
struct TLevelBar {
    int32_t LastColumn;
    int32_t RedFromColumn;
};
TLevelBar LevelBar(int32_t WidthPx, int32_t PeakLevel);

// Index 0..5 of the selected string from the checked states of RadioButton1..RadioButton5;
// 5 (string 6) when none of them is checked.
int32_t SelectedString(bool Radio1, bool Radio2, bool Radio3, bool Radio4, bool Radio5);

// Octave fold towards the target pitch TargetHz: above 2.75 x target divide by 3, else above 1.75 x
// target divide by 2, else unchanged (Folded is then empty). Comparisons are strict.
std::optional<double> FoldFrequency(double FrequencyHz, double TargetHz);

// "%.1F Гц": fixed point, one decimal, DecimalSeparator between the parts, no thousands separator,
// a blank and "Гц" (UTF-8).
std::string FrequencyText(double FrequencyHz, const std::string& DecimalSeparator);

// Relative deviation (F - T) / T, carried in extended precision and stored as a double.
double Deviation(double FrequencyHz, double TargetHz);

// Left edge of the pointer bitmap for deviation d on a box WidthPx wide, or empty when d is outside
// the open interval (-0.25, 0.25). round((d + 0.25) * 2 * W) - (PointerWidthPx div 2).
std::optional<int32_t> PointerX(double Deviation, int32_t WidthPx, int32_t PointerWidthPx);

// Left edge of the centre mark: round(W * 0.5) - (MarkWidthPx div 2).
int32_t CentreMarkX(int32_t WidthPx, int32_t MarkWidthPx);

// Left edges of side mark i (1..3): left of the centre round((0.5 - i/7) * W), right of it
// round((i/7 + 0.5) * W), each minus (MarkWidthPx div 2).
int32_t LeftSideMarkX(int32_t I, int32_t WidthPx, int32_t MarkWidthPx);
int32_t RightSideMarkX(int32_t I, int32_t WidthPx, int32_t MarkWidthPx);

// Nearest integer with ties to the even one, as a 32-bit value after subtracting HalfWidthPx.
int32_t RoundedPositionMinus(long double Position, int32_t HalfWidthPx);

// Device pixel of a logical position or length at the screen's device pixel ratio (1, 1.5, 2, ...):
// round(LogicalPx x Ratio), ties to even. At ratio 1 every value is unchanged. Drawing each bitmap at
// the device pixel of its left edge, at one scaled size, makes all copies of it look the same.
int32_t DevicePx(int32_t LogicalPx, double Ratio);

// What the screen reader is told about the two paint boxes. Texts are UTF-8 Russian, numbers use
// DecimalSeparator like the frequency label.

// The level as a whole percentage of full scale (PeakLevel 128 = 100 %), rounded half to even.
int32_t LevelPercent(int32_t PeakLevel);
// "Уровень сигнала 45 %"; and the description, which also says whether the bar has reached the red zone.
std::string LevelAccessibleName(int32_t Percent);
std::string LevelAccessibleDescription(int32_t Percent, bool InRedZone);

// Tuning state of the shown frequency F against the target T. The deviation is read in tenths of a per
// cent, round((F - T) / T x 1000) with ties to even, and the string counts as in tune while that reading
// lies within +-InTuneTenths (0.3 %): about 5 cents, the usual tolerance of tuners, and close to what the eye
// sees on the scale, where one pixel is 0.13 % (W = 393) and a pointer within 0.3 % of the target
// stays under the 5-pixel centre mark. A reading the listener hears as "0,3 %" is always in tune and one
// of "0,4 %" never. No estimate: F is not a number above 0.
enum class TTuning { NoEstimate, Low, InTune, High };
inline constexpr int32_t InTuneTenths = 3;
struct TTuningReading {
    TTuning State;
    int32_t DeviationTenths;  // tenths of a per cent, clamped to +-99999
    bool OnScale;             // the pointer is drawn (deviation strictly inside +-25 %)
};
TTuningReading ReadTuning(double FrequencyHz, double TargetHz);
// "Отклонение +1,2 %, выше"; and the description naming the string (StringNumber 1..6).
std::string TuningAccessibleName(const TTuningReading& Reading, const std::string& DecimalSeparator);
std::string TuningAccessibleDescription(const TTuningReading& Reading, int32_t StringNumber,
                                        const std::string& DecimalSeparator);
