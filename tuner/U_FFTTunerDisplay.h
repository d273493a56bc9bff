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
