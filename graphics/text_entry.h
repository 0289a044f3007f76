#pragma once

class IControl;
class IParameter;

// The leading decimal number of `text` ("-3.5dB" gives -3.5); 0 when it has none.
// Only digits, one point and a sign count: "inf", "nan" and hex forms are not numbers here.
double LeadingDecimal(const char* text);

// What committing a text box does: for a switch or choice parameter the text names a
// value (0 when it names none); for other kinds it is read as a number, negated when the
// parameter displays negated values. The control gets the normalised result; a control
// without parameter gets the text itself. At most 31 characters of `text` are used.
void CommitEnteredText(IControl* control, IParameter* param, const char* text);
