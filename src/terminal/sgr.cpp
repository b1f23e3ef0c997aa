// Select Graphic Rendition (SGR, ECMA-48 8.3.117): colours and brightness.
#include "terminal/terminal.h"

namespace {

void ResetAttributes() {
    CurrentFG = 7;
    CurrentBG = 0;
    BrightAttr = false;
}

void ApplySgrCode(std::int32_t Code) {
    if (Code == 0) {
        ResetAttributes();
    } else if (Code == 1) { // bold, shown as a bright foreground
        BrightAttr = true;
    } else if (Code >= 30 && Code <= 37) {
        CurrentFG = static_cast<std::uint8_t>(Code - 30);
    } else if (Code >= 40 && Code <= 47) {
        CurrentBG = static_cast<std::uint8_t>(Code - 40);
    } else if (Code >= 90 && Code <= 97) { // bright foreground: index and flag
        CurrentFG = static_cast<std::uint8_t>(Code - 90);
        BrightAttr = true;
    } else if (Code >= 100 && Code <= 107) { // bright background: palette 8-15
        CurrentBG = static_cast<std::uint8_t>(Code - 92);
    }
    // every other code, extended colour forms included, has no effect
}

// The usual form, digits and ';' with no field longer than nine digits: each
// field converts as plain decimal and an empty one is skipped, exactly as the
// general rules give. Returns false, having changed nothing, for any other text.
bool ApplyPlainFields(std::string_view Params) {
    std::size_t Run = 0;
    for (const char C : Params) {
        if (C == ';') {
            Run = 0;
        } else if (C >= '0' && C <= '9' && ++Run <= 9) {
        } else {
            return false;
        }
    }
    std::int32_t Code = 0;
    bool HasDigits = false;
    for (const char C : Params) {
        if (C == ';') {
            if (HasDigits)
                ApplySgrCode(Code);
            Code = 0;
            HasDigits = false;
        } else {
            Code = Code * 10 + (C - '0');
            HasDigits = true;
        }
    }
    if (HasDigits)
        ApplySgrCode(Code);
    return true;
}

} // namespace

void ProcessSGR(std::string_view Params) {
    if (Params.empty()) {
        ResetAttributes();
        return;
    }
    if (ApplyPlainFields(Params))
        return;
    std::size_t Pos = 0;
    bool First = true;
    std::string Scratch;
    std::string_view Field;
    while (NextParam(Params, Pos, First, Scratch, Field)) {
        std::int32_t Code;
        if (TryParseInt(Field, Code))
            ApplySgrCode(Code);
    }
}
