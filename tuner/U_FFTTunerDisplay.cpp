#include "U_FFTTunerDisplay.h"

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <stdexcept>

#include "CheckedInt.h"

TLevelBar LevelBar(int32_t WidthPx, int32_t PeakLevel) {
    return TLevelBar{checked::Div(checked::Mul(WidthPx, PeakLevel), 128),
                     checked::Div(checked::Mul(WidthPx, 107), 128)};
}

int32_t SelectedString(bool Radio1, bool Radio2, bool Radio3, bool Radio4, bool Radio5) {
    if (Radio1) return 0;
    if (Radio2) return 1;
    if (Radio3) return 2;
    if (Radio4) return 3;
    if (Radio5) return 4;
    return 5;
}

std::optional<double> FoldFrequency(double FrequencyHz, double TargetHz) {
    const long double f = FrequencyHz;
    const long double ratio = f / static_cast<long double>(TargetHz);
    if (ratio > 2.75L) return static_cast<double>(f / 3.0L);
    if (ratio > 1.75L) return static_cast<double>(f / 2.0L);
    return std::nullopt;
}

std::string FrequencyText(double FrequencyHz, const std::string& DecimalSeparator) {
    // Formatted in the C locale's notation, then the separator is put in: std::snprintf follows the
    // process's LC_NUMERIC, which the toolkit may have changed.
    char digits[512];
    const int len = std::snprintf(digits, sizeof digits, "%.1f", FrequencyHz);
    std::string text(digits, len > 0 ? static_cast<std::size_t>(len) : 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' || text[i] == ',') {
            text.replace(i, 1, DecimalSeparator);
            break;
        }
    }
    return text + " \u0413\u0446";
}

double Deviation(double FrequencyHz, double TargetHz) {
    const long double t = TargetHz;
    return static_cast<double>((static_cast<long double>(FrequencyHz) - t) / t);
}

int32_t RoundedPositionMinus(long double Position, int32_t HalfWidthPx) {
    if (!std::isfinite(Position) || Position < -9.2e18L || Position > 9.2e18L)
        throw std::overflow_error("Integer overflow");
    // The default floating-point environment rounds to nearest, ties to even.
    const long long rounded = std::llrintl(Position);
    const long long x = rounded - static_cast<long long>(HalfWidthPx);
    return checked::Narrow(x);
}

std::optional<int32_t> PointerX(double Deviation, int32_t WidthPx, int32_t PointerWidthPx) {
    if (!(Deviation > -0.25 && Deviation < 0.25)) return std::nullopt;
    const long double p = ((static_cast<long double>(Deviation) + 0.25L) * 2.0L) * WidthPx;
    return RoundedPositionMinus(p, checked::Div(PointerWidthPx, 2));
}

int32_t CentreMarkX(int32_t WidthPx, int32_t MarkWidthPx) {
    return RoundedPositionMinus(static_cast<long double>(WidthPx) * 0.5L, checked::Div(MarkWidthPx, 2));
}

int32_t LeftSideMarkX(int32_t I, int32_t WidthPx, int32_t MarkWidthPx) {
    const long double p = (0.5L - static_cast<long double>(I) / 7.0L) * WidthPx;
    return RoundedPositionMinus(p, checked::Div(MarkWidthPx, 2));
}

int32_t RightSideMarkX(int32_t I, int32_t WidthPx, int32_t MarkWidthPx) {
    const long double p = (static_cast<long double>(I) / 7.0L + 0.5L) * WidthPx;
    return RoundedPositionMinus(p, checked::Div(MarkWidthPx, 2));
}

int32_t DevicePx(int32_t LogicalPx, double Ratio) {
    return RoundedPositionMinus(static_cast<long double>(LogicalPx) * static_cast<long double>(Ratio), 0);
}

int32_t LevelPercent(int32_t PeakLevel) {
    return RoundedPositionMinus(static_cast<long double>(PeakLevel) * 100.0L / 128.0L, 0);
}

std::string LevelAccessibleName(int32_t Percent) {
    return "Уровень сигнала " + std::to_string(Percent) + " %";
}

std::string LevelAccessibleDescription(int32_t Percent, bool InRedZone) {
    return "Уровень сигнала " + std::to_string(Percent) + " % от полной шкалы, " +
           (InRedZone ? "индикатор в красной зоне: звук слишком громкий" : "индикатор в зеленой зоне");
}

TTuningReading ReadTuning(double FrequencyHz, double TargetHz) {
    if (!(FrequencyHz > 0.0) || !std::isfinite(FrequencyHz) || !(TargetHz > 0.0))
        return {TTuning::NoEstimate, 0, false};
    const double d = Deviation(FrequencyHz, TargetHz);
    const long double tenths = std::nearbyint(static_cast<long double>(d) * 1000.0L);
    const int32_t clamped = static_cast<int32_t>(std::clamp(tenths, -99999.0L, 99999.0L));
    const TTuning state = clamped < -InTuneTenths ? TTuning::Low
                          : clamped > InTuneTenths ? TTuning::High
                                                   : TTuning::InTune;
    return {state, clamped, d > -0.25 && d < 0.25};
}

namespace {

// "+1,2 %", "-0,3 %", "0,0 %".
std::string SignedPercent(int32_t Tenths, const std::string& DecimalSeparator) {
    const int32_t magnitude = Tenths < 0 ? -Tenths : Tenths;
    const std::string sign = Tenths > 0 ? "+" : Tenths < 0 ? "-" : "";
    return sign + std::to_string(magnitude / 10) + DecimalSeparator + std::to_string(magnitude % 10) + " %";
}

std::string UnsignedPercent(int32_t Tenths, const std::string& DecimalSeparator) {
    const std::string text = SignedPercent(Tenths, DecimalSeparator);
    return text[0] == '+' || text[0] == '-' ? text.substr(1) : text;
}

}  // namespace

std::string TuningAccessibleName(const TTuningReading& Reading, const std::string& DecimalSeparator) {
    const std::string value = "Отклонение " + SignedPercent(Reading.DeviationTenths, DecimalSeparator);
    switch (Reading.State) {
        case TTuning::NoEstimate: return "Отклонение: частота не определена";
        case TTuning::Low: return value + ", ниже";
        case TTuning::InTune: return value + ", настроена";
        case TTuning::High: return value + ", выше";
    }
    return {};
}

std::string TuningAccessibleDescription(const TTuningReading& Reading, int32_t StringNumber,
                                        const std::string& DecimalSeparator) {
    const std::string string = "Струна " + std::to_string(StringNumber);
    const std::string amount = UnsignedPercent(Reading.DeviationTenths, DecimalSeparator);
    const std::string offScale = Reading.OnScale ? "" : ", указатель за пределами шкалы";
    switch (Reading.State) {
        case TTuning::NoEstimate: return string + ": частота не определена";
        case TTuning::Low: return string + " звучит ниже нужной ноты на " + amount + offScale;
        case TTuning::InTune:
            return string + " настроена: отклонение " + SignedPercent(Reading.DeviationTenths, DecimalSeparator) +
                   ", не больше 0" + DecimalSeparator + "3 %";
        case TTuning::High: return string + " звучит выше нужной ноты на " + amount + offScale;
    }
    return {};
}
