// The display arithmetic of the tuner window, checked without a widget.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "U_FFTTunerConfig.h"
#include "U_FFTTunerDisplay.h"
#include "U_FFTTunerSpeech.h"

namespace {

// Nearest integer to Num/Den (Den > 0), ties to the even integer, in exact integer arithmetic.
int64_t RoundHalfEvenRational(int64_t Num, int64_t Den) {
    int64_t q = Num / Den;
    int64_t r = Num % Den;
    if (r < 0) {
        r += Den;
        q -= 1;
    }
    if (2 * r > Den || (2 * r == Den && (q % 2 != 0))) q += 1;
    return q;
}

struct LevelCase {
    int32_t width;
    int32_t peak;
    int32_t lastColumn;
    int32_t redFrom;
};

class LevelBarTable : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelBarTable, ColumnsAndRedThreshold) {
    const LevelCase c = GetParam();
    const TLevelBar bar = LevelBar(c.width, c.peak);
    EXPECT_EQ(bar.LastColumn, c.lastColumn);
    EXPECT_EQ(bar.RedFromColumn, c.redFrom);
}

INSTANTIATE_TEST_SUITE_P(LayoutWidth, LevelBarTable,
                         ::testing::Values(LevelCase{393, 0, 0, 328},      // one green column at x = 0
                                           LevelCase{393, 1, 3, 328},      // 393 div 128 = 3
                                           LevelCase{393, 106, 325, 328},  // all green
                                           LevelCase{393, 107, 328, 328},  // the last column is the first red
                                           LevelCase{393, 128, 393, 328},  // reaches W, which is clipped
                                           LevelCase{128, 64, 64, 107},
                                           LevelCase{0, 128, 0, 0}),
                         [](const auto& param_info) {
                             return "W" + std::to_string(param_info.param.width) + "Peak" +
                                    std::to_string(param_info.param.peak);
                         });

TEST(LevelBar, OverflowingProductsRaise) {
    EXPECT_THROW(LevelBar(std::numeric_limits<int32_t>::max() / 100, 128), std::overflow_error);
    EXPECT_THROW(LevelBar(std::numeric_limits<int32_t>::max() / 100, 0), std::overflow_error);  // W x 107
}

TEST(SelectedString, FirstCheckedOfTheFiveElseStringSix) {
    EXPECT_EQ(SelectedString(true, false, false, false, false), 0);
    EXPECT_EQ(SelectedString(false, true, false, false, false), 1);
    EXPECT_EQ(SelectedString(false, false, true, false, false), 2);
    EXPECT_EQ(SelectedString(false, false, false, true, false), 3);
    EXPECT_EQ(SelectedString(false, false, false, false, true), 4);
    EXPECT_EQ(SelectedString(false, false, false, false, false), 5);
    EXPECT_EQ(SelectedString(false, true, false, true, false), 1);  // the first wins
}

TEST(FoldFrequency, StringSixWithOneKilohertzFoldsThreeTicksThenRests) {
    const double target = StringFrequencies[5];  // 82.4
    double f = 1000.0;
    std::optional<double> folded = FoldFrequency(f, target);
    ASSERT_TRUE(folded.has_value());
    f = *folded;
    EXPECT_EQ(FrequencyText(f, "."), "333.3 Гц");
    folded = FoldFrequency(f, target);  // ratio 4.05: divided by 3 again
    ASSERT_TRUE(folded.has_value());
    f = *folded;
    EXPECT_EQ(FrequencyText(f, "."), "111.1 Гц");
    EXPECT_FALSE(FoldFrequency(f, target).has_value());  // ratio 1.35: left alone
}

TEST(FoldFrequency, ComparisonsAreStrict) {
    // 302.5 / 110 and 192.5 / 110 are exactly 2.75 and 1.75 in binary floating point.
    const double target = StringFrequencies[4];
    ASSERT_EQ(302.5 / 110.0, 2.75);
    EXPECT_EQ(FoldFrequency(302.5, target).value(), 151.25);  // exactly 2.75: divided by 2
    EXPECT_FALSE(FoldFrequency(192.5, target).has_value());   // exactly 1.75: not folded
    EXPECT_EQ(FoldFrequency(192.5 + 1e-9, target).value(), (192.5 + 1e-9) / 2);
    EXPECT_FALSE(FoldFrequency(50.0, target).has_value());    // below the target: never multiplied
    EXPECT_FALSE(FoldFrequency(0.0, target).has_value());
}

// The third harmonic of string 6 and the octave of string 1 fold back onto their targets.
TEST(FoldFrequency, HarmonicsLandOnTheTarget) {
    EXPECT_NEAR(FoldFrequency(247.2, 82.4).value(), 82.4, 1e-12);
    EXPECT_EQ(FrequencyText(FoldFrequency(247.2, 82.4).value(), "."), "82.4 Гц");
    EXPECT_EQ(FoldFrequency(659.26, StringFrequencies[0]).value(), 329.63);  // exactly
}

TEST(FrequencyText, OneDecimalLocaleSeparatorNoThousands) {
    EXPECT_EQ(FrequencyText(329.63, ","), "329,6 Гц");
    EXPECT_EQ(FrequencyText(329.63, "."), "329.6 Гц");
    EXPECT_EQ(FrequencyText(0.0, "."), "0.0 Гц");
    EXPECT_EQ(FrequencyText(0.0, ","), "0,0 Гц");
    EXPECT_EQ(FrequencyText(1234.56, ","), "1234,6 Гц");
    EXPECT_EQ(FrequencyText(5511.15, "."), "5511.1 Гц");  // 5511.15 is stored a little below .15
    EXPECT_EQ(FrequencyText(82.45, "."), "82.5 Гц");  // 82.45 is stored a little above .45
}

TEST(Deviation, ExactQuarterEdgesDrawNoPointer) {
    const double target = StringFrequencies[4];  // 110
    EXPECT_EQ(Deviation(82.5, target), -0.25);
    EXPECT_EQ(Deviation(137.5, target), 0.25);
    EXPECT_FALSE(PointerX(Deviation(82.5, target), 393, 11).has_value());
    EXPECT_FALSE(PointerX(Deviation(137.5, target), 393, 11).has_value());
    EXPECT_TRUE(PointerX(Deviation(82.5 + 1e-9, target), 393, 11).has_value());
    EXPECT_EQ(Deviation(329.63, 329.63), 0.0);
}

TEST(PointerX, CentredDeviationGoesToTheEvenPixel) {
    EXPECT_EQ(PointerX(0.0, 393, 0).value(), 196);   // 196.5 -> 196
    EXPECT_EQ(PointerX(0.0, 393, 11).value(), 191);  // minus 11 div 2
    EXPECT_EQ(PointerX(0.0, 395, 0).value(), 198);   // 197.5 -> 198
    EXPECT_EQ(PointerX(-0.25 + 1.0 / 1024, 393, 0).value(), RoundHalfEvenRational(2 * 393, 1024));
}

TEST(PointerX, AgreesWithExactRationalRoundingOnDyadicDeviations) {
    // d = k / 256 is exact in binary, so (d + 0.25) * 2 * W = (k + 64) * W / 128 exactly.
    for (int32_t width : {1, 2, 7, 128, 393, 394, 395, 1000}) {
        for (int32_t k = -63; k <= 63; ++k) {
            const double d = k / 256.0;
            const int64_t expected = RoundHalfEvenRational(static_cast<int64_t>(k + 64) * width, 128);
            ASSERT_EQ(PointerX(d, width, 0).value(), expected) << "W=" << width << " k=" << k;
            ASSERT_EQ(PointerX(d, width, 7).value(), expected - 3) << "W=" << width << " k=" << k;
        }
    }
}

TEST(Marks, LayoutPositions) {
    EXPECT_EQ(LeftSideMarkX(3, 393, 0), 28);
    EXPECT_EQ(LeftSideMarkX(2, 393, 0), 84);
    EXPECT_EQ(LeftSideMarkX(1, 393, 0), 140);
    EXPECT_EQ(CentreMarkX(393, 0), 196);
    EXPECT_EQ(RightSideMarkX(1, 393, 0), 253);
    EXPECT_EQ(RightSideMarkX(2, 393, 0), 309);
    EXPECT_EQ(RightSideMarkX(3, 393, 0), 365);
    EXPECT_EQ(CentreMarkX(393, 5), 194);
    EXPECT_EQ(LeftSideMarkX(3, 393, 3), 27);
    EXPECT_EQ(RightSideMarkX(3, 393, 4), 363);
}

TEST(Marks, AgreeWithExactRationalRoundingForManyWidths) {
    // (0.5 - i/7) * W = (7 - 2i) * W / 14 and (i/7 + 0.5) * W = (7 + 2i) * W / 14. Where that is an exact
    // half (W a multiple of 7), i/7 is not exact in binary, so the computed product lies a hair to one
    // side of the half and either neighbour is right; elsewhere the exact rounding must come out.
    auto check = [](int32_t got, int64_t num, int32_t width, int32_t i) {
        const int64_t den = 14;
        if ((2 * (num % den)) == den) {
            const int64_t below = num / den;
            ASSERT_TRUE(got == below || got == below + 1) << "W=" << width << " i=" << i;
        } else {
            ASSERT_EQ(got, RoundHalfEvenRational(num, den)) << "W=" << width << " i=" << i;
        }
    };
    for (int32_t width = 0; width <= 2000; ++width) {
        ASSERT_EQ(CentreMarkX(width, 0), RoundHalfEvenRational(width, 2)) << width;
        for (int32_t i = 1; i <= 3; ++i) {
            check(LeftSideMarkX(i, width, 0), static_cast<int64_t>(7 - 2 * i) * width, width, i);
            check(RightSideMarkX(i, width, 0), static_cast<int64_t>(7 + 2 * i) * width, width, i);
        }
    }
}

TEST(RoundedPositionMinus, TiesToEvenAndRangeChecked) {
    EXPECT_EQ(RoundedPositionMinus(196.5L, 0), 196);
    EXPECT_EQ(RoundedPositionMinus(197.5L, 0), 198);
    EXPECT_EQ(RoundedPositionMinus(-0.5L, 0), 0);
    EXPECT_EQ(RoundedPositionMinus(-1.5L, 0), -2);
    EXPECT_EQ(RoundedPositionMinus(2.4999L, 1), 1);
    EXPECT_THROW(RoundedPositionMinus(3.0e9L, 0), std::overflow_error);
    EXPECT_THROW(RoundedPositionMinus(std::numeric_limits<long double>::infinity(), 0), std::overflow_error);
    EXPECT_THROW(RoundedPositionMinus(std::numeric_limits<long double>::quiet_NaN(), 0), std::overflow_error);
    EXPECT_EQ(RoundedPositionMinus(-2147483648.0L, 0), std::numeric_limits<int32_t>::min());
    EXPECT_THROW(RoundedPositionMinus(-2147483648.0L, 1), std::overflow_error);
}

TEST(DevicePx, RoundsTheScaledPositionTiesToEven) {
    const struct {
        int32_t logical;
        double ratio;
        int32_t device;
    } rows[] = {
        {27, 1.0, 27}, {393, 1.0, 393}, {27, 1.5, 40},   // 40.5
        {3, 1.5, 4},   {5, 1.5, 8},     {393, 1.5, 590}, // 4.5, 7.5, 589.5
        {20, 1.5, 30}, {393, 2.0, 786}, {28, 1.25, 35},  {-4, 1.5, -6}, {0, 1.75, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DevicePx(row.logical, row.ratio), row.device) << row.logical << " x " << row.ratio;
}

TEST(LevelPercent, ShareOfFullScaleRoundedTiesToEven) {
    const std::pair<int32_t, int32_t> rows[] = {{0, 0},   {1, 1},    {2, 2},    {16, 12},  // 12.5
                                                {32, 25}, {64, 50},  {106, 83}, {107, 84}, {128, 100}};
    for (const auto& [peak, percent] : rows) EXPECT_EQ(LevelPercent(peak), percent) << peak;
}

TEST(AccessibleTexts, LevelNameAndZone) {
    EXPECT_EQ(LevelAccessibleName(84), "Уровень сигнала 84 %");
    EXPECT_EQ(LevelAccessibleDescription(84, true),
              "Уровень сигнала 84 % от полной шкалы, индикатор в красной зоне: звук слишком громкий");
    EXPECT_EQ(LevelAccessibleDescription(0, false), "Уровень сигнала 0 % от полной шкалы, индикатор в зеленой зоне");
}

struct TuningCase {
    double frequency;
    double target;
    TTuning state;
    int32_t tenths;
    bool onScale;
};

class ReadTuningTable : public ::testing::TestWithParam<TuningCase> {};

TEST_P(ReadTuningTable, StateTenthsAndScale) {
    const TuningCase c = GetParam();
    const TTuningReading r = ReadTuning(c.frequency, c.target);
    EXPECT_EQ(r.State, c.state);
    EXPECT_EQ(r.DeviationTenths, c.tenths);
    EXPECT_EQ(r.OnScale, c.onScale);
}

// In tune within +-0.3 % as read in tenths of a per cent; the scale's edges are those of the pointer.
INSTANTIATE_TEST_SUITE_P(
    Readings, ReadTuningTable,
    ::testing::Values(TuningCase{100.0, 100.0, TTuning::InTune, 0, true},
                      TuningCase{100.3, 100.0, TTuning::InTune, 3, true},
                      TuningCase{100.4, 100.0, TTuning::High, 4, true},
                      TuningCase{99.7, 100.0, TTuning::InTune, -3, true},
                      TuningCase{99.6, 100.0, TTuning::Low, -4, true},
                      TuningCase{124.9, 100.0, TTuning::High, 249, true},
                      TuningCase{125.0, 100.0, TTuning::High, 250, false},
                      TuningCase{75.0, 100.0, TTuning::Low, -250, false},
                      TuningCase{1.0e300, 100.0, TTuning::High, 99999, false},
                      TuningCase{0.0, 100.0, TTuning::NoEstimate, 0, false},
                      TuningCase{-5.0, 100.0, TTuning::NoEstimate, 0, false},
                      TuningCase{std::numeric_limits<double>::quiet_NaN(), 100.0, TTuning::NoEstimate, 0, false}),
    [](const auto& param_info) { return "Row" + std::to_string(param_info.index); });

TEST(AccessibleTexts, TuningNamesAndDescriptionsWithTheLocaleSeparator) {
    const TTuningReading high{TTuning::High, 12, true};
    const TTuningReading low{TTuning::Low, -4, true};
    const TTuningReading inTune{TTuning::InTune, -3, true};
    const TTuningReading offScale{TTuning::Low, -300, false};
    const TTuningReading none{TTuning::NoEstimate, 0, false};
    EXPECT_EQ(TuningAccessibleName(high, ","), "Отклонение +1,2 %, выше");
    EXPECT_EQ(TuningAccessibleName(low, ","), "Отклонение -0,4 %, ниже");
    EXPECT_EQ(TuningAccessibleName(inTune, "."), "Отклонение -0.3 %, настроена");
    EXPECT_EQ(TuningAccessibleName(none, ","), "Отклонение: частота не определена");
    EXPECT_EQ(TuningAccessibleDescription(high, 1, ","), "Струна 1 звучит выше нужной ноты на 1,2 %");
    EXPECT_EQ(TuningAccessibleDescription(low, 3, ","), "Струна 3 звучит ниже нужной ноты на 0,4 %");
    EXPECT_EQ(TuningAccessibleDescription(inTune, 6, ","), "Струна 6 настроена: отклонение -0,3 %, не больше 0,3 %");
    EXPECT_EQ(TuningAccessibleDescription(offScale, 2, ","),
              "Струна 2 звучит ниже нужной ноты на 30,0 %, указатель за пределами шкалы");
    EXPECT_EQ(TuningAccessibleDescription(none, 4, ","), "Струна 4: частота не определена");
}

// One announcer through a tuning session, tick by tick: what it says, and when it keeps quiet. Listening: the
// selected string's button has the focus; a peak of 107 and above is in the red zone.
TEST(ReadingAnnouncer, SpeaksAChangedReadingAtMostOnceASecondAndNothingInSilence) {
    const struct { int64_t ms; bool listening; int32_t string, peak; double hz; const char* said; } ticks[] = {
        {0, false, 0, 64, 320.0, ""},                  // focus elsewhere
        {100, true, 0, 64, 320.0, ""},                 // the focus arrives: the screen reader names the button
        {1100, true, 0, 64, 320.0, "Ниже на 3 %"},     // -2.9 %
        {2400, true, 0, 64, 322.0, ""},                // -2.3 %: within the hysteresis of 3 %
        {2800, true, 0, 64, 326.0, "Ниже на 1 %"},     // -1.1 %
        {3000, true, 0, 64, 331.6, ""},                // +0.6 %, but within a second of the last
        {3800, true, 0, 64, 331.6, "Выше на 0,5 %"},
        {4000, true, 0, 110, 331.6, ""},               // red zone, within a second
        {4800, true, 0, 110, 331.6, "Слишком громко"},
        {5000, true, 0, 2, 331.6, ""},                 // silence
        {6000, true, 0, 64, 331.6, "Выше на 0,5 %"},   // a new note after silence
        {6100, true, 1, 64, 247.0, ""},                // string 2 chosen: its button is named first
        {7200, true, 1, 64, 247.0, "Настроена"},       // +0.04 %
        {8300, true, 1, 64, 320.0, "Выше на 25 % или больше"},
        {8400, false, 1, 64, 250.0, ""},
        {9500, true, 1, 64, 250.0, ""},                // the focus comes back
        {10600, true, 1, 64, 250.0, "Выше на 1,5 %"},  // +1.3 %
    };
    TReadingAnnouncer announcer;
    for (const auto& t : ticks) {
        const TLevelBar bar = LevelBar(393, t.peak);
        EXPECT_EQ(announcer.Tick(t.ms, t.listening, t.string, t.peak, bar.LastColumn >= bar.RedFromColumn, t.hz,
                                 StringFrequencies[t.string], ","), t.said) << t.ms;
    }
    EXPECT_EQ(SpokenReadingText(announcer.Current(), ","), "Выше на 1,5 %");
}

}  // namespace
