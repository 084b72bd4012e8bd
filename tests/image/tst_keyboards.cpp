#include "image/Keyboards.h"

#include <QtTest>

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
    void appendedText_data();
    void appendedText();
    void rows_data();
    void rows();
    void namedKeys_data();
    void namedKeys();
    void capsKey();
    void windowKeysAreLeftToTheWindow();
    void backspace_data();
    void backspace();
    void typedBarSurvivesTheCaret();
    void typingWhileTheCaretIsShown();
};

void KeyboardsTest::appendedText_data()
{
    QTest::addColumn<Keyboard>("keyboard");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("capsOff");
    QTest::addColumn<QString>("capsOn");
    const auto en = Keyboard::English, fa = Keyboard::Persian;
    QTest::newRow("en letter") << en << "Q" << "q" << "Q";
    QTest::newRow("en last letter") << en << "M" << "m" << "M";
    QTest::newRow("en S is inverted") << en << "S" << "S" << "s";
    QTest::newRow("en U always upper") << en << "U" << "U" << "U";
    QTest::newRow("en divide") << en << "÷" << "`" << "`";
    QTest::newRow("en minus") << en << "-" << "_" << "_";
    QTest::newRow("en underscore") << en << "_" << "-" << "-";
    QTest::newRow("en bar") << en << "|" << "|" << "|";
    QTest::newRow("en digit") << en << "7" << "7" << "7";
    QTest::newRow("en quote") << en << "'" << "'" << "'";
    QTest::newRow("en space") << en << "" << " " << " ";
    QTest::newRow("en question") << en << "?" << "?" << "?";
    QTest::newRow("en SHIFT") << en << "SHIFT" << "" << "";
    QTest::newRow("fa letter") << fa << "ض" << "ض" << "ض";
    QTest::newRow("fa yeh") << fa << "ی" << "ی" << "ی";
    QTest::newRow("fa divide") << fa << "÷" << "/" << "/";
    QTest::newRow("fa minus") << fa << "-" << "-" << "-";
    QTest::newRow("fa slash") << fa << "/" << "/" << "/";
    QTest::newRow("fa space") << fa << "" << " " << " ";
    QTest::newRow("fa row 5 inert") << fa << "_" << "" << "";
    QTest::newRow("fa row 5 question") << fa << "?" << "" << "";
}

void KeyboardsTest::appendedText()
{
    QFETCH(Keyboard, keyboard);
    QFETCH(QString, caption);
    QFETCH(QString, capsOff);
    QFETCH(QString, capsOn);
    const Key* key = findKey(keyboard, caption);
    QVERIFY(key);
    for (bool caps : {false, true}) {
        OverlayText overlay{u"x", false};
        bool capsState = caps;
        QVERIFY(applyEditKey(*key, overlay, capsState));
        QCOMPARE(capsState, caps);
        QCOMPARE(QString::fromStdU16String(overlay.text), "x" + (caps ? capsOn : capsOff));
    }
}

void KeyboardsTest::rows_data()
{
    QTest::addColumn<Keyboard>("keyboard");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("keys");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("lastCaption");
    const int lengths[] = {15, 15, 14, 14, 16};
    const char* enFirst[] = {"Undo", "Farsi", "Caps", "", "<"};
    const char* faFirst[] = {"Undo", "انگلیسی", "Caps", "", "<"};
    const char* last[] = {"Bkspc", "Del", "'", "/", "SHIFT"}; // last key with a caption
    const char* faLast[] = {"Bkspc", "Del", "گ", "/", "SHIFT"};
    for (int r = 0; r < kKeyboardRows; ++r) {
        QTest::addRow("en row %d", r + 1) << Keyboard::English << r << lengths[r] << enFirst[r] << last[r];
        QTest::addRow("fa row %d", r + 1) << Keyboard::Persian << r << lengths[r] << faFirst[r] << faLast[r];
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
    // The Persian keyboard's Caps does nothing.
    QVERIFY(applyEditKey(*findKey(Keyboard::Persian, "Caps"), overlay, caps));
    QVERIFY(!caps);
    QCOMPARE(overlay.text, std::u16string(u"Aa"));
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
