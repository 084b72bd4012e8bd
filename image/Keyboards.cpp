#include "image/Keyboards.h"

namespace korvel::image {

namespace {

// A key that is not simply a character appending (a variant of) its caption.
struct Special {
    std::u16string_view caption;
    KeyKind kind;
    const char* objectName = "";
    std::u16string_view text = {};
    bool wide = false;
    bool picture = false;
    int width = 0; // 0: by kind
};

// A row: its special keys at the left, the character keys, the special keys
// at the right.
struct RowPlan {
    std::vector<Special> lead;
    std::u16string_view chars;
    std::vector<Special> tail;
};

constexpr std::u16string_view kSymbolRow = u"<>!@#$%^&*()_+?";
constexpr std::u16string_view kDigitRow = u"÷1234567890-=";

// Every key types its caption; the English letters follow Caps, as their case.
std::u16string englishText(char16_t c, bool capsOn)
{
    if (c >= u'A' && c <= u'Z' && !capsOn)
        return std::u16string(1, char16_t(c - u'A' + u'a'));
    return std::u16string(1, c);
}

std::u16string persianText(char16_t c) { return std::u16string(1, c); }

Special picture(KeyKind kind, const char* name) { return {u"", kind, name, {}, false, true}; }

std::vector<Key> buildRow(Keyboard keyboard, const RowPlan& plan)
{
    std::vector<Key> keys;
    auto addSpecial = [&](const Special& s) {
        Key k;
        k.caption = s.caption;
        k.kind = s.kind;
        if (k.kind == KeyKind::Char)
            k.text = k.capsText = s.text;
        k.objectName = s.objectName;
        k.wide = s.wide;
        k.picture = s.picture;
        k.width = s.width ? s.width : s.kind == KeyKind::Commit ? kCommitKeyWidth : s.wide ? kWideKeyWidth : kKeyWidth;
        keys.push_back(std::move(k));
    };
    for (const auto& s : plan.lead)
        addSpecial(s);
    for (char16_t c : plan.chars) {
        Key k;
        k.caption = std::u16string(1, c);
        k.kind = KeyKind::Char;
        k.text = keyboard == Keyboard::English ? englishText(c, false) : persianText(c);
        k.capsText = keyboard == Keyboard::English ? englishText(c, true) : persianText(c);
        keys.push_back(std::move(k));
    }
    for (const auto& s : plan.tail)
        addSpecial(s);
    return keys;
}

KeyboardLayout build(Keyboard id, const char* objectName, const std::array<RowPlan, kKeyboardRows>& rows)
{
    KeyboardLayout layout{id, objectName, {}};
    for (std::size_t r = 0; r < rows.size(); ++r)
        layout.rows[r] = buildRow(id, rows[r]);
    return layout;
}

const Special kBackspace{u"Bkspc", KeyKind::Backspace, "", {}, true};
const Special kDelete{u"Del", KeyKind::Delete};
const Special kSpace{u"", KeyKind::Char, "", u" ", true};
// Without an action; narrow, so that the symbol row fits the panel.
const Special kShift{u"SHIFT", KeyKind::NoAction};
// The Persian row 4 gains two keys: its space key is narrow to leave them room.
const Special kNarrowSpace{u"", KeyKind::Char, "", u" ", false};
const Special kZwnjKey{u"نیم\u200Cفاصله", KeyKind::Char, "", u"\u200C"};

} // namespace

const KeyboardLayout& keyboardLayout(Keyboard keyboard)
{
    static const KeyboardLayout english = build(Keyboard::English, "panel_english", {{
        {{{u"Undo", KeyKind::Undo, "Button54", {}, true}}, kDigitRow, {kBackspace}},
        {{{u"Farsi", KeyKind::SwitchKeyboard, "", {}, true}}, u"QWERTYUIOP[]|", {kDelete}},
        {{{u"Caps", KeyKind::Caps, "", {}, true}}, u"ASDFGHJKL;'",
         {picture(KeyKind::NudgeUp, "SpeedButton17"), picture(KeyKind::Commit, "SpeedButton18")}},
        {{kSpace}, u"ZXCVBNM,./",
         {picture(KeyKind::NudgeLeft, "SpeedButton16"), picture(KeyKind::NudgeDown, "SpeedButton15"),
          picture(KeyKind::NudgeRight, "SpeedButton14")}},
        {{}, kSymbolRow, {kShift}},
    }});
    static const KeyboardLayout persian = build(Keyboard::Persian, "panel_farsi", {{
        {{{u"Undo", KeyKind::Undo, "Button122", {}, true}}, kDigitRow, {kBackspace}},
        {{{u"انگلیسی", KeyKind::SwitchKeyboard, "", {}, true}}, u"ضصثقفغعهخحجچپ", {kDelete}},
        {{{u"Caps", KeyKind::NoAction, "", {}, true}}, u"شسیبلاتنمکگآ",
         {picture(KeyKind::NudgeUp, "SpeedButton23"), picture(KeyKind::Commit, "SpeedButton24")}},
        {{kNarrowSpace, kZwnjKey}, u"ظطزرذدئوژ./",
         {picture(KeyKind::NudgeLeft, "SpeedButton22"), picture(KeyKind::NudgeDown, "SpeedButton21"),
          picture(KeyKind::NudgeRight, "SpeedButton20")}},
        {{}, kSymbolRow, {kShift}},
    }});
    return keyboard == Keyboard::English ? english : persian;
}

bool applyEditKey(const Key& key, OverlayText& overlay, bool& capsOn)
{
    switch (key.kind) {
    case KeyKind::Char: overlay.append(key.appends(capsOn)); return true;
    case KeyKind::Backspace: overlay.backspace(); return true;
    case KeyKind::Delete: overlay.del(); return true;
    case KeyKind::Caps: capsOn = !capsOn; return true;
    case KeyKind::NoAction: return true;
    case KeyKind::SwitchKeyboard:
    case KeyKind::Undo:
    case KeyKind::NudgeUp:
    case KeyKind::NudgeLeft:
    case KeyKind::NudgeDown:
    case KeyKind::NudgeRight:
    case KeyKind::Commit: break;
    }
    return false;
}

} // namespace korvel::image
