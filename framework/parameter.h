#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum ParamKind : std::int32_t { Unset = 0, Switch = 1, Choice = 3, Number = 4 };

struct ValueText {
    std::int32_t value = 0;
    char text[32] = {};
};

// One automatable value. No lock of its own: writes go through the plug-in
// base under the plug-in lock.
class IParameter {
  public:
    void DefineNumber(const char* name, double def, double lo, double hi, double step, const char* label);
    void DefineChoice(const char* name, int def, int count);
    void AddValueText(int value, const char* text);
    int ValueTextCount() const { return static_cast<int>(mTexts.size()); }
    const char* ValueTextFor(int value) const;
    bool ValueForText(const char* text, int* out) const;

    // Limits to the range without step rounding. NaN (a damaged chunk) gives
    // the default value limited to the range.
    void SetClamped(double v);
    // Non-Number kinds snap to multiples of step counted from zero; only the
    // maximum is enforced. NaN leaves the value unchanged.
    void SetFromNormalized(double x);
    double ToNormalized() const { return ToNormalized(mValue); }
    double ToNormalized(double v) const;
    // Fills `out` (`size` bytes, NUL-terminated, cut to fit).
    void FormatValue(double v, bool isNormalised, char* out, std::size_t size, bool useValueTexts) const;
    double GainFromDecibels() const;

    const char* Name() const { return mName; }
    const char* Label() const { return mLabel; }
    ParamKind Kind() const { return mKind; }
    double Value() const { return mValue; }
    double Minimum() const { return mMin; }
    double Maximum() const { return mMax; }
    double Step() const { return mStep; }
    double Shape() const { return mShape; }
    double DefaultValue() const { return mDefault; }
    int DisplayPrecision() const { return mPrecision; }
    bool NegateForDisplay() const { return mNegate; }
    void SetNegateForDisplay(bool negate) { mNegate = negate; }

  private:
    ParamKind mKind = Unset;
    double mValue = 0.0;
    double mMin = 0.0;
    double mMax = 1.0;
    double mStep = 1.0;
    double mShape = 1.0;
    double mDefault = 0.0;
    int mPrecision = 0;
    char mName[32] = {};
    char mLabel[32] = {};
    bool mNegate = false;
    std::vector<ValueText> mTexts;
};
