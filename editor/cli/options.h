// Values of the host program's command line: times, frame rates, lists, transition lengths and
// fractions. Each kind has one parser, so that every option taking such a value reads it alike;
// none of them prints anything, the caller names the option in its message.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "editor/media/Frame.h"

namespace bw {

inline constexpr double cMaxSeconds = 100 * 3600;                   // times and lengths up to 100 hours
inline constexpr double cMinFrameRate = 0.01, cMaxFrameRate = 240;  // 1/100 and 240/1

// "90", "2.5", "1:30", "0:01:30.5": seconds from 0 to cMaxSeconds; -1 when the text is none of
// these. Only digits and one point a part: no signs, exponents, hexadecimal, "inf" or "nan".
double ParseTime(const std::string& text);
// "0:04.00", "12:30.25", "1:00:00.00": whole minutes and hundredths, hours from an hour on.
std::string FormatTime(double seconds);

// "25", "29.97", "30000/1001": a frame rate from cMinFrameRate to cMaxFrameRate frames a second;
// false, leaving rate alone, otherwise. Decimals are kept to thousandths.
bool ParseRate(const std::string& text, media::Rational& rate);

// "a,b,c" split at the separator; false when any item is empty (",", "10,", ",5", "").
bool ParseList(const std::string& text, char separator, std::vector<std::string>& items);

// A whole number from lo to hi, digits only.
bool ParseCount(const std::string& text, long lo, long hi, long& value);

// A number from lo to hi ("0.5", ".25", "1"); false for NaN, infinities and anything after it.
bool ParseFraction(const std::string& text, double lo, double hi, double& value);

// A transition's length: "60" frames, or seconds as "2.4s" or "0:02.4".
struct Length {
    int32_t Frames = 0;   // when given in frames
    double Seconds = -1;  // when given in seconds (> 0)
};
inline constexpr int32_t cMaxTransitionFrames = 100000;
// False for anything else, 0 frames and 0 seconds.
bool ParseLength(const std::string& text, Length& length);
// The length in frames at `rate`: seconds round to the nearest frame, at least one.
int32_t LengthFrames(const Length& length, media::Rational rate);

}  // namespace bw
