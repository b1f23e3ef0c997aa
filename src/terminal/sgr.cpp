// Select Graphic Rendition (SGR, ECMA-48 8.3.117): colours and brightness.
#include "terminal/commands.h"

void ApplySgrCode(std::int32_t Code, TAttributes &Now) {
    if (Code == 0) {
        Now = DEFAULT_ATTRIBUTES;
    } else if (Code == 1) { // bold, shown as a bright foreground
        Now.Bright = true;
    } else if (Code >= 30 && Code <= 37) {
        Now.Fg = static_cast<std::uint8_t>(Code - 30);
    } else if (Code >= 40 && Code <= 47) {
        Now.Bg = static_cast<std::uint8_t>(Code - 40);
    } else if (Code >= 90 && Code <= 97) { // bright foreground: index and flag
        Now.Fg = static_cast<std::uint8_t>(Code - 90);
        Now.Bright = true;
    } else if (Code >= 100 && Code <= 107) { // bright background: palette 8-15
        Now.Bg = static_cast<std::uint8_t>(Code - 92);
    }
    // every other code, extended colour forms included, has no effect
}

namespace {

// The usual form, digits and ';' with no field longer than nine digits: each
// field converts as plain decimal and an empty one is skipped, exactly as the
// general rules give. Returns false for any other text.
bool ApplyPlainFields(std::string_view Params, TAttributes &Now) {
    std::int32_t Code = 0;
    int Digits = 0;
    for (const char C : Params) {
        if (C == ';') {
            if (Digits > 0)
                ApplySgrCode(Code, Now);
            Code = 0;
            Digits = 0;
        } else if (C >= '0' && C <= '9' && Digits < 9) {
            Code = Code * 10 + (C - '0');
            ++Digits;
        } else {
            return false;
        }
    }
    if (Digits > 0)
        ApplySgrCode(Code, Now);
    return true;
}

} // namespace

void ProcessSgrFields(TAttributes &Current, std::string_view Params) {
    TParamReader Fields(Params);
    std::string_view Field;
    if (!Fields.Next(Field)) { // the empty text resets
        Current = DEFAULT_ATTRIBUTES;
        return;
    }
    do {
        std::int32_t Code;
        if (TryParseInt(Field, Code))
            ApplySgrCode(Code, Current);
    } while (Fields.Next(Field));
}

void ProcessSGR(TAttributes &Current, std::string_view Params) {
    TAttributes Now = Current;
    if (!Params.empty() && ApplyPlainFields(Params, Now))
        Current = Now;
    else
        ProcessSgrFields(Current, Params);
}
