#include "graphics/text_entry.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/parameter.h"
#include "graphics/control.h"

double LeadingDecimal(const char* text) {
    if (!text)
        return 0.0;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    std::string number;
    if (*p == '-' || *p == '+')
        number += *p++;
    bool digits = false;
    bool point = false;
    for (; *p; ++p) {
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            digits = true;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += *p;
    }
    if (!digits)
        return 0.0;
    return std::strtod(number.c_str(), nullptr);
}

void CommitEnteredText(IControl* control, IParameter* param, const char* text) {
    if (!control)
        return;
    char entered[32] = {};
    if (text)
        std::strncpy(entered, text, sizeof entered - 1);
    if (!param) {
        control->TextFromEntry(entered);
        return;
    }
    double value = 0.0;
    if (param->Kind() == Switch || param->Kind() == Choice) {
        int named = 0;
        if (param->ValueForText(entered, &named))
            value = named;
    } else {
        value = LeadingDecimal(entered);
        if (param->NegateForDisplay())
            value = -value;
    }
    control->ValueFromEntry(param->ToNormalized(value));
}
