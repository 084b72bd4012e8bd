// The text page: the message editor, its token bar and the two text commands.
#include "MainWindow.h"

#include "Ui.h"
#include "UiSeams.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

#include "printer/Conversation.h"
#include "printer/Protocol.h"
#include "text/Calendar.h"
#include "text/Preview.h"
#include "text/Stream.h"
#include "text/Tokens.h"

namespace {

QFont editorFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Noto Sans Arabic"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(67);
    return font;
}

} // namespace

void TForm1::buildTextPage()
{
    Panel5 = new QFrame(pageText);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setGeometry(8, 4, 1036, 540);

    Memo1 = new QPlainTextEdit(Panel5);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(10, 0, 1016, 383);
    Memo1->setFont(editorFont());
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Lines run left to right, as the printer prints them.
    QTextOption option = Memo1->document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft);
    Memo1->document()->setDefaultTextOption(option);
    Memo1->setLayoutDirection(Qt::LeftToRight);
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TForm1::refreshTextPreview);

    textPreview = new QLabel(Panel5);
    textPreview->setObjectName(QStringLiteral("textPreview"));
    textPreview->setGeometry(10, 386, 1016, 44);
    textPreview->setFrameShape(QFrame::StyledPanel);
    textPreview->setTextFormat(Qt::PlainText);
    textPreview->setLayoutDirection(Qt::LeftToRight);
    textPreview->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont previewFont = editorFont();
    previewFont.setPixelSize(28);
    textPreview->setFont(previewFont);
    textPreview->setToolTip(QStringLiteral("پیش نمایش چاپ"));

    Panel6 = new QFrame(Panel5);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setGeometry(50, 436, 926, 92);
    Panel6->setFrameShape(QFrame::StyledPanel);

    struct Picture {
        const char* name; const char* icon; QString hint; QString token; QLabel** label; const char* labelName;
        QToolButton** field;
    };
    const Picture pictures[] = {
        {"Image1", "year-g", QStringLiteral("اضافه کردن سال میلادی"), QStringLiteral("^y"), &label_year, "label_year", &Image1},
        {"Image2", "day-g", QStringLiteral("اضافه کردن روز میلادی"), QStringLiteral("^d"), &label_day, "label_day", &Image2},
        {"Image3", "month-g", QStringLiteral("اضافه کردن ماه میلادی"), QStringLiteral("^m"), &label_month, "label_month", &Image3},
        {"Image6", "year-s", QStringLiteral("اضافه کردن سال شمسی"), QStringLiteral("^Y"), &label_sal, "label_sal", &Image6},
        {"Image4", "month-s", QStringLiteral("اضافه کردن ماه شمسی"), QStringLiteral("^M"), &label_mah, "label_mah", &Image4},
        {"Image5", "day-s", QStringLiteral("اضافه کردن روز شمسی"), QStringLiteral("^M"), &label_rooz, "label_rooz", &Image5},
        {"Image8", "font", QStringLiteral("تغییر قلم"), QString(), &label_font, "label_font", &Image8},
        {"Image9", "clock-token", QStringLiteral("اضافه کردن ساعت"), QStringLiteral("^t"), nullptr, nullptr, &Image9},
        {"Image7", "counter-token", QStringLiteral("اضافه کردن شمارنده"), QStringLiteral("^c"), nullptr, nullptr, &Image7},
    };
    int x = 12;
    for (const Picture& p : pictures) {
        auto* button = new QToolButton(Panel6);
        button->setObjectName(QLatin1String(p.name));
        button->setIcon(korvelIcon(p.icon));
        button->setIconSize(QSize(50, 50));
        button->setToolTip(p.hint);
        button->setAutoRaise(true);
        button->setGeometry(x, 4, 54, 55);
        *p.field = button;
        if (p.token.isEmpty())
            connect(button, &QToolButton::clicked, this, [this] { insertTokenAtCaret(fromU16(korvel::text::fontToken(TrackBar2->value()))); });
        else
            connect(button, &QToolButton::clicked, this, [this, token = p.token] { insertTokenAtCaret(token); });
        if (p.label) {
            auto* label = new QLabel(Panel6);
            label->setObjectName(QLatin1String(p.labelName));
            label->setAlignment(Qt::AlignCenter);
            label->setAttribute(Qt::WA_TransparentForMouseEvents, false);
            label->setToolTip(p.hint);
            const bool font = p.token.isEmpty();
            label->setGeometry(x, font ? 2 : 32, 54, 22);
            label->setStyleSheet(QStringLiteral("background: rgba(255,255,255,200); font-weight: bold;"));
            *p.label = label;
        }
        x += p.token.isEmpty() ? 120 : 64;
    }
    TrackBar2 = new QSlider(Qt::Horizontal, Panel6);
    TrackBar2->setObjectName(QStringLiteral("TrackBar2"));
    TrackBar2->setRange(1, 8);
    TrackBar2->setPageStep(1);
    TrackBar2->setGeometry(Image8->x(), 62, 110, 26);
    // Shows the position the next font token will use.
    connect(TrackBar2, &QSlider::valueChanged, label_font, [this](int v) { label_font->setNum(v); });

    auto textButton = [this](QToolButton*& field, const char* name, const char* icon, const QString& words, int left) {
        field = new QToolButton(Panel6);
        field->setObjectName(QLatin1String(name));
        field->setIcon(korvelIcon(icon));
        field->setIconSize(QSize(44, 44));
        field->setText(words);
        field->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        field->setGeometry(left, 2, 110, 88);
    };
    textButton(SpeedButton31, "SpeedButton31", "store", QStringLiteral("ذخیره در دستگاه"), 690);
    textButton(SpeedButton30, "SpeedButton30", "send-text", QStringLiteral("ارسال متن"), 806);
    connect(SpeedButton30, &QToolButton::clicked, this, &TForm1::SpeedButton30Click);
    connect(SpeedButton31, &QToolButton::clicked, this, &TForm1::SpeedButton31Click);
}

QString TForm1::memoText() const
{
    QString text = Memo1->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

int TForm1::memoSelStart() const
{
    const QTextCursor cursor = Memo1->textCursor();
    const int start = cursor.selectionStart();
    // Each line break before the caret is CR LF in the message.
    return start + cursor.document()->findBlock(start).blockNumber();
}

void TForm1::setMemoText(const QString& crlfText, int caret)
{
    QString plain = crlfText;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Memo1->setPlainText(plain);
    if (caret < 0)
        return;
    // Back from CR LF counting to the editor's one-character breaks.
    const QString before = crlfText.left(caret);
    const int editorPos = caret - int(before.count(QStringLiteral("\r\n")));
    QTextCursor cursor = Memo1->textCursor();
    cursor.setPosition(std::min(editorPos, int(plain.size())));
    Memo1->setTextCursor(cursor);
}

void TForm1::insertTokenAtCaret(const QString& token)
{
    const auto edited = korvel::text::insertToken(toU16(memoText()), memoSelStart(), toU16(token));
    setMemoText(fromU16(edited.text), edited.caret);
    Memo1->setFocus();
}

void TForm1::refreshTextPreview()
{
    const auto stream = korvel::text::encodeTextStream(toU16(memoText()));
    QString preview = fromU16(korvel::text::previewFromCodes(stream.codes));
    preview.replace(QStringLiteral("\r\n"), QStringLiteral(" \u21B5 ")); // one line: mark the breaks
    // Left-to-right override: the printer draws the codes strictly in stream order.
    textPreview->setText(QChar(0x202D) + preview + QChar(0x202C));
}

// The characters the printer's font lacks, named for the operator.
static QString describeUnprintable(const std::vector<char32_t>& chars)
{
    QStringList names;
    for (char32_t c : chars)
        names << QStringLiteral("«%1» (U+%2)").arg(QString::fromUcs4(&c, 1)).arg(uint(c), 4, 16, QLatin1Char('0'));
    return names.join(QStringLiteral("، "));
}

void TForm1::SpeedButton30Click()
{
    const auto stream = korvel::text::encodeTextStream(toU16(memoText()));
    if (!stream.unprintable.empty()) {
        seams().message(this, QStringLiteral(".این نویسه ها در قلم چاپگر نیستند و متن ارسال نشد: ") +
                                  describeUnprintable(stream.unprintable));
        return;
    }
    if (stream.tooLong) {
        seams().message(this, QStringLiteral(".متن بیش از ۵۰۰۰ نویسه است و ارسال نشد. لطفا آن را کوتاه کنید"));
        return;
    }
    if (!ensureConnected())
        return;
    // The text of this press travels with its request; "}" finds it ready.
    korvel::printer::Command command;
    command.request = korvel::printer::sendTextJob();
    command.stream = korvel::printer::textUploadJob(stream.bytes);
    command.awaited = '}';
    conversation->submit(std::move(command));
}

void TForm1::SpeedButton31Click()
{
    sendCommand(korvel::printer::storeTextJob());
}

void TForm1::MiladiToShamsi(int year, int month, int day)
{
    const auto solar = korvel::text::miladiToShamsi(year, month, day);
    label_sal->setNum(solar.year);
    label_mah->setNum(solar.month);
    label_rooz->setNum(solar.day);
}
