#include "parameter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "exact_math.h"

namespace {

constexpr int kMaxPrecision = 6;

void CopyText(char (&dest)[32], const char* src) {
    std::snprintf(dest, sizeof dest, "%s", src != nullptr ? src : "");
}

// Values outside int range (or NaN) have no integer to match or print.
bool FitsInt(double v) {
    return v > static_cast<double>(std::numeric_limits<int>::min()) - 1.0 &&
           v < static_cast<double>(std::numeric_limits<int>::max()) + 1.0;
}

} // namespace

void IParameter::DefineNumber(const char* name, double def, double lo, double hi, double step,
                              const char* label) {
    if (mKind == Unset)
        mKind = Number;
    CopyText(mName, name);
    CopyText(mLabel, label);
    mMin = lo;
    mValue = def;
    mDefault = def;
    mStep = step;
    // The range always spans at least one step.
    mMax = hi >= lo + step ? hi : lo + step;

    int k = 0;
    for (double s = step; k < kMaxPrecision && s != std::floor(s); s *= 10.0)
        ++k;
    mPrecision = k;
}

void IParameter::DefineChoice(const char* name, int def, int count) {
    if (mKind == Unset)
        mKind = Choice;
    DefineNumber(name, def, 0.0, static_cast<double>(count) - 1.0, 1.0, "");
}

void IParameter::AddValueText(int value, const char* text) {
    ValueText entry;
    entry.value = value;
    CopyText(entry.text, text);
    mTexts.push_back(entry);
}

const char* IParameter::ValueTextFor(int value) const {
    for (const ValueText& entry : mTexts)
        if (entry.value == value)
            return entry.text;
    return "";
}

bool IParameter::ValueForText(const char* text, int* out) const {
    if (text == nullptr)
        return false;
    for (const ValueText& entry : mTexts) {
        if (std::strcmp(entry.text, text) == 0) {
            if (out != nullptr)
                *out = entry.value;
            return true;
        }
    }
    return false;
}

void IParameter::SetClamped(double v) {
    if (std::isnan(v))
        v = mDefault;
    if (v < mMin)
        mValue = mMin;
    else if (v > mMax)
        mValue = mMax;
    else
        mValue = v;
}

void IParameter::SetFromNormalized(double x) {
    if (std::isnan(x))
        return;
    double v = mMin + (mMax - mMin) * ExactPow(x, mShape);
    // A step of zero or less has no grid to snap to.
    if (mKind != Number && mStep > 0.0)
        v = std::floor(v / mStep + 0.5) * mStep;
    if (v > mMax)
        v = mMax;
    // Below 0, or snapped under the bottom.
    if (!(v >= mMin))
        v = mMin;
    mValue = v;
}

double IParameter::ToNormalized(double v) const {
    double c = v < mMin ? mMin : (v > mMax ? mMax : v);
    // Only a range emptied by a non-positive step gets here with max <= min.
    if (!(mMax > mMin) || std::isnan(c))
        return 0.0;
    return ExactPow((c - mMin) / (mMax - mMin), 1.0 / mShape);
}

void IParameter::FormatValue(double v, bool isNormalised, char* out, std::size_t size,
                             bool useValueTexts) const {
    if (out == nullptr || size == 0)
        return;
    if (isNormalised)
        v = mMin + (mMax - mMin) * ExactPow(v, mShape);

    if (useValueTexts && !mTexts.empty() && FitsInt(v)) {
        const int n = static_cast<int>(v);
        for (const ValueText& entry : mTexts) {
            if (entry.value != n)
                continue;
            if (entry.text[0] != '\0') {
                std::snprintf(out, size, "%s", entry.text);
                return;
            }
            break;
        }
    }

    if (mNegate)
        v = -v;
    if (mPrecision == 0) {
        if (FitsInt(v))
            std::snprintf(out, size, "%d", static_cast<int>(v));
        else
            std::snprintf(out, size, "%.0f", std::trunc(v));
    } else {
        std::snprintf(out, size, "%.*f", mPrecision, v);
    }
}

double IParameter::GainFromDecibels() const {
    return ExactExp(mValue * 0.1151292546497);
}
