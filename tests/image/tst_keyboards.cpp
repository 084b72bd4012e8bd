#include "image/Keyboards.h"

#include <QtTest>

#include <ranges>

using namespace korvel::image;

Q_DECLARE_METATYPE(Keyboard)
Q_DECLARE_METATYPE(KeyKind)

namespace {

// The first key with this caption; space is the Char key with an empty caption.
const Key* findKey(Keyboard keyboard, const QString& caption)
{
    for (const auto& row : keyboardLayout(keyboard).rows)
        for (const auto& key : row)
            if (!key.picture && QString::fromStdU16String(key.caption) == caption)
                return &key;
    return nullptr;
}

const Key* findNamed(Keyboard keyboard, const char* name)
{
    for (const auto& row : keyboardLayout(keyboard).rows)
        for (const auto& key : row)
            if (key.objectName == name)
                return &key;
    return nullptr;
}

} // namespace

class KeyboardsTest : public QObject {
    Q_OBJECT
private slots:
    void everyKeyTypesItsCaption_data();
    void everyKeyTypesItsCaption();
    void rows_data();
    void rows();
    void inertKeys();
    void namedKeys_data();
    void namedKeys();
    void capsKey();
    void windowKeysAreLeftToTheWindow();
    void backspace_data();
    void backspace();
    void typedBarSurvivesTheCaret();
    void typingWhileTheCaretIsShown();
};

// The characters each row types, key by key from the left, written out by hand.
void KeyboardsTest::everyKeyTypesItsCaption_data()
{
    QTest::addColumn<Keyboard>("keyboard");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("capsOff");
    QTest::addColumn<QString>("capsOn");
    const auto en = Keyboard::English, fa = Keyboard::Persian;
    QTest::newRow("en 1") << en << 0 << QString::fromUtf16(u"÷1234567890-=") << QString::fromUtf16(u"÷1234567890-=");
    QTest::newRow("en 2") << en << 1 << QString::fromUtf16(u"qwertyuiop[]|") << QString::fromUtf16(u"QWERTYUIOP[]|");
    QTest::newRow("en 3") << en << 2 << QString::fromUtf16(u"asdfghjkl;'") << QString::fromUtf16(u"ASDFGHJKL;'");
    QTest::newRow("en 4") << en << 3 << QString::fromUtf16(u" zxcvbnm,./") << QString::fromUtf16(u" ZXCVBNM,./");
    QTest::newRow("en 5") << en << 4 << QString::fromUtf16(u"<>!@#$%^&*()_+?") << QString::fromUtf16(u"<>!@#$%^&*()_+?");
    const QString fa1 = QString::fromUtf16(u"÷1234567890-=");
    const QString fa2 = QString::fromUtf16(u"\u0636\u0635\u062B\u0642\u0641\u063A\u0639\u0647\u062E\u062D\u062C\u0686\u067E");
    const QString fa3 = QString::fromUtf16(u"\u0634\u0633\u06CC\u0628\u0644\u0627\u062A\u0646\u0645\u06A9\u06AF\u0622");
    const QString fa4 = QString::fromUtf16(u" \u200C\u0638\u0637\u0632\u0631\u0630\u062F\u0626\u0648\u0698./");
    const QString fa5 = QString::fromUtf16(u"<>!@#$%^&*()_+?");
    QTest::newRow("fa 1") << fa << 0 << fa1 << fa1;
    QTest::newRow("fa 2") << fa << 1 << fa2 << fa2;
    QTest::newRow("fa 3, with alef madda") << fa << 2 << fa3 << fa3;
    QTest::newRow("fa 4, with non-joiner and zhe") << fa << 3 << fa4 << fa4;
    QTest::newRow("fa 5") << fa << 4 << fa5 << fa5;
}

void KeyboardsTest::everyKeyTypesItsCaption()
{
    QFETCH(Keyboard, keyboard);
    QFETCH(int, row);
    QFETCH(QString, capsOff);
    QFETCH(QString, capsOn);
    for (bool caps : {false, true}) {
        const QString expected = caps ? capsOn : capsOff;
        OverlayText overlay;
        int typed = 0;
        for (const Key& key : keyboardLayout(keyboard).rows[std::size_t(row)]) {
            if (key.kind != KeyKind::Char)
                continue;
            bool capsState = caps;
            const std::size_t before = overlay.text.size();
            QVERIFY(applyEditKey(key, overlay, capsState));
            QCOMPARE(capsState, caps);
            const QString added = QString::fromStdU16String(overlay.text.substr(before));
            QCOMPARE(added, expected.mid(typed, 1));
            // A key shows what it types: its caption, in the case Caps gives, or the name of an unseen character.
            const QString caption = QString::fromStdU16String(key.caption);
            if (added == u" ")
                QCOMPARE(caption, QString());
            else if (added == QChar(0x200C))
                QCOMPARE(caption, QString::fromUtf16(u"نیم\u200Cفاصله"));
            else
                QCOMPARE(caption.toUpper(), added.toUpper());
            ++typed;
        }
        QCOMPARE(typed, expected.size());
    }
}

void KeyboardsTest::rows_data()
{
    QTest::addColumn<Keyboard>("keyboard");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("keys");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("lastCaption");
    const int enLengths[] = {15, 15, 14, 14, 16};
    const int faLengths[] = {15, 15, 15, 16, 16};
    const char* enFirst[] = {"Undo", "Farsi", "Caps", "", "<"};
    const char* faFirst[] = {"Undo", "انگلیسی", "Caps", "", "<"};
    const char* last[] = {"Bkspc", "Del", "'", "/", "SHIFT"}; // last key with a caption
    const char* faLast[] = {"Bkspc", "Del", "آ", "/", "SHIFT"};
    for (int r = 0; r < kKeyboardRows; ++r) {
        QTest::addRow("en row %d", r + 1) << Keyboard::English << r << enLengths[r] << enFirst[r] << last[r];
        QTest::addRow("fa row %d", r + 1) << Keyboard::Persian << r << faLengths[r] << faFirst[r] << faLast[r];
    }
}

void KeyboardsTest::rows()
{
    QFETCH(Keyboard, keyboard);
    QFETCH(int, row);
    QFETCH(int, keys);
    QFETCH(QString, first);
    QFETCH(QString, lastCaption);
    const auto& keysOfRow = keyboardLayout(keyboard).rows[std::size_t(row)];
    QCOMPARE(int(keysOfRow.size()), keys);
    QCOMPARE(QString::fromStdU16String(keysOfRow.front().caption), first);
    auto it = std::find_if(keysOfRow.rbegin(), keysOfRow.rend(), [](const Key& k) { return !k.picture; });
    QCOMPARE(QString::fromStdU16String(it->caption), lastCaption);
    // The row, 3 pixels in from each side of the 807-pixel panel, with a pixel between keys.
    int right = 3;
    for (const Key& key : keysOfRow)
        right += key.width + 1;
    QVERIFY2(right - 1 <= 807 - 3, qPrintable(QString::number(right)));
    for (const Key& key : keysOfRow)
        QVERIFY(key.width >= 45);
}

// Keys without an action show as disabled; these are all of them.
void KeyboardsTest::inertKeys()
{
    QStringList en, fa;
    for (const Key& key : keyboardLayout(Keyboard::English).rows | std::views::join)
        if (key.kind == KeyKind::NoAction)
            en << QString::fromStdU16String(key.caption);
    for (const Key& key : keyboardLayout(Keyboard::Persian).rows | std::views::join)
        if (key.kind == KeyKind::NoAction)
            fa << QString::fromStdU16String(key.caption);
    QCOMPARE(en, QStringList{"SHIFT"});
    QCOMPARE(fa, (QStringList{"Caps", "SHIFT"}));
}

void KeyboardsTest::namedKeys_data()
{
    QTest::addColumn<Keyboard>("keyboard");
    QTest::addColumn<QString>("name");
    QTest::addColumn<KeyKind>("kind");
    QTest::addColumn<int>("row");
    const auto en = Keyboard::English, fa = Keyboard::Persian;
    QTest::newRow("en Undo") << en << "Button54" << KeyKind::Undo << 0;
    QTest::newRow("en right") << en << "SpeedButton14" << KeyKind::NudgeRight << 3;
    QTest::newRow("en down") << en << "SpeedButton15" << KeyKind::NudgeDown << 3;
    QTest::newRow("en left") << en << "SpeedButton16" << KeyKind::NudgeLeft << 3;
    QTest::newRow("en up") << en << "SpeedButton17" << KeyKind::NudgeUp << 2;
    QTest::newRow("en commit") << en << "SpeedButton18" << KeyKind::Commit << 2;
    QTest::newRow("fa Undo") << fa << "Button122" << KeyKind::Undo << 0;
    QTest::newRow("fa right") << fa << "SpeedButton20" << KeyKind::NudgeRight << 3;
    QTest::newRow("fa down") << fa << "SpeedButton21" << KeyKind::NudgeDown << 3;
    QTest::newRow("fa left") << fa << "SpeedButton22" << KeyKind::NudgeLeft << 3;
    QTest::newRow("fa up") << fa << "SpeedButton23" << KeyKind::NudgeUp << 2;
    QTest::newRow("fa commit") << fa << "SpeedButton24" << KeyKind::Commit << 2;
}

void KeyboardsTest::namedKeys()
{
    QFETCH(Keyboard, keyboard);
    QFETCH(QString, name);
    QFETCH(KeyKind, kind);
    QFETCH(int, row);
    const Key* key = findNamed(keyboard, qPrintable(name));
    QVERIFY(key);
    QCOMPARE(key->kind, kind);
    const auto& keys = keyboardLayout(keyboard).rows[std::size_t(row)];
    QVERIFY(key >= keys.data() && key < keys.data() + keys.size());
}

void KeyboardsTest::capsKey()
{
    bool caps = false;
    OverlayText overlay;
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "Caps"), overlay, caps));
    QVERIFY(caps);
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "A"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "Caps"), overlay, caps));
    QVERIFY(!caps);
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "A"), overlay, caps));
    QCOMPARE(overlay.text, std::u16string(u"Aa"));
    // With Caps, "S" and "U" are capitals like every other letter.
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "Caps"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "S"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "U"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "Caps"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "S"), overlay, caps));
    QVERIFY(applyEditKey(*findKey(Keyboard::English, "U"), overlay, caps));
    QCOMPARE(overlay.text, std::u16string(u"AaSUsu"));
}

void KeyboardsTest::windowKeysAreLeftToTheWindow()
{
    for (auto id : {Keyboard::English, Keyboard::Persian})
        for (const auto& row : keyboardLayout(id).rows)
            for (const auto& key : row) {
                const bool windowKey = key.kind == KeyKind::SwitchKeyboard || key.kind == KeyKind::Undo
                    || key.kind == KeyKind::Commit || key.kind == KeyKind::NudgeUp || key.kind == KeyKind::NudgeLeft
                    || key.kind == KeyKind::NudgeDown || key.kind == KeyKind::NudgeRight;
                if (!windowKey)
                    continue;
                OverlayText overlay{u"ab", true};
                bool caps = true;
                QVERIFY(!applyEditKey(key, overlay, caps));
                QCOMPARE(overlay.caption(), std::u16string(u"ab|"));
                QVERIFY(caps);
            }
    QCOMPARE(findKey(Keyboard::English, "Farsi")->kind, KeyKind::SwitchKeyboard);
    QCOMPARE(findKey(Keyboard::Persian, "انگلیسی")->kind, KeyKind::SwitchKeyboard);
}

void KeyboardsTest::backspace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caretShown");
    QTest::addColumn<QString>("caption");
    QTest::newRow("ab with caret") << "ab" << true << "a";
    QTest::newRow("ab without caret") << "ab" << false << "a";
    QTest::newRow("empty with caret") << "" << true << "";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("typed bar") << "|" << false << "";
    QTest::newRow("typed bar with caret") << "a|" << true << "a";
}

void KeyboardsTest::backspace()
{
    QFETCH(QString, text);
    QFETCH(bool, caretShown);
    QFETCH(QString, caption);
    for (auto id : {Keyboard::English, Keyboard::Persian}) {
        OverlayText overlay{text.toStdU16String(), caretShown};
        bool caps = false;
        QVERIFY(applyEditKey(*findKey(id, "Bkspc"), overlay, caps));
        QCOMPARE(QString::fromStdU16String(overlay.caption()), caption);
    }
}

void KeyboardsTest::typedBarSurvivesTheCaret()
{
    OverlayText overlay;
    bool caps = false;
    for (const char* c : {"A", "|", "B"})
        applyEditKey(*findKey(Keyboard::English, c), overlay, caps);
    for (int i = 0; i < 5; ++i) {
        overlay.tick();
        QCOMPARE(overlay.caption(), std::u16string(overlay.caretShown ? u"a|b|" : u"a|b"));
    }
    overlay.removeCaret();
    QCOMPARE(overlay.caption(), std::u16string(u"a|b"));
    applyEditKey(*findKey(Keyboard::English, "Del"), overlay, caps);
    QCOMPARE(overlay.caption(), std::u16string());
}

void KeyboardsTest::typingWhileTheCaretIsShown()
{
    OverlayText overlay{u"ab", true};
    bool caps = false;
    applyEditKey(*findKey(Keyboard::Persian, "ب"), overlay, caps);
    QCOMPARE(QString::fromStdU16String(overlay.caption()), QString("abب|"));
    QCOMPARE(QString::fromStdU16String(overlay.text), QString("abب"));
}

QTEST_MAIN(KeyboardsTest)
#include "tst_keyboards.moc"
