#pragma once
// The two on-screen keyboards of the pixel page as data, and the editing of
// the text overlay's caption. The window builds its buttons from these rows.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::image {

enum class KeyKind {
    Char,           // appends Key::appends(capsOn)
    Backspace,
    Delete,
    Caps,           // toggles CapsOn
    SwitchKeyboard, // hides this keyboard and shows the other
    Undo,
    NudgeUp,
    NudgeLeft,
    NudgeDown,
    NudgeRight,
    Commit,
    NoAction,       // shown disabled
};

enum class Keyboard { English, Persian };

constexpr int kKeyWidth = 49, kKeyHeight = 45, kCommitKeyWidth = 84, kWideKeyWidth = 60;
constexpr int kKeyboardWidth = 807, kKeyboardHeight = 248;
constexpr int kKeyboardRows = 5;

struct Key {
    std::u16string caption; // empty for space and the picture buttons
    KeyKind kind = KeyKind::NoAction;
    std::u16string text;     // appended while CapsOn is off (Char keys)
    std::u16string capsText; // appended while CapsOn is on
    std::string objectName;  // design name where the window refers to the key, else empty
    bool wide = false;       // wider than kKeyWidth
    bool picture = false;    // an arrow or commit button showing an icon
    int width = kKeyWidth;   // in pixels, on a row with a 1-pixel gap between keys

    const std::u16string& appends(bool capsOn) const { return capsOn ? capsText : text; }
};

struct KeyboardLayout {
    Keyboard id;
    std::string objectName; // panel_english, panel_farsi
    std::array<std::vector<Key>, kKeyboardRows> rows;
};

const KeyboardLayout& keyboardLayout(Keyboard keyboard);

// The zero-width non-joiner: a Persian word's letters kept apart without a space.
inline constexpr char16_t kZwnj = u'\u200C';

// The caption of the text overlay. The blinking caret is state, not a
// character, so a "|" typed on the keyboard stays text.
struct OverlayText {
    std::u16string text;
    bool caretShown = false;

    std::u16string caption() const { return caretShown ? text + u"|" : text; }
    void append(std::u16string_view typed) { text += typed; }
    // With the caret shown, the caret and the character before it go.
    void backspace()
    {
        caretShown = false;
        if (!text.empty())
            text.pop_back();
    }
    void del()
    {
        text.clear();
        caretShown = false;
    }
    void tick() { caretShown = !caretShown; }
    void removeCaret() { caretShown = false; }
};

// Carries out a key that only edits: Char, Backspace, Delete, Caps and
// NoAction. Returns false for the keys the window acts on (switch, Undo,
// nudges, commit), leaving everything unchanged.
bool applyEditKey(const Key& key, OverlayText& overlay, bool& capsOn);

} // namespace korvel::image
