// The text page: the message editor, its token bar and the two text commands.
#include "MainWindow.h"

#include "Choices.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QFile>
#include <QFileInfo>
#include <QButtonGroup>
#include <QDateTime>
#include <QFrame>
#include <QMenu>
#include <QStringDecoder>
#include <QTimer>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include "printer/Conversation.h"
#include "printer/Protocol.h"
#include "text/Calendar.h"
#include "text/Order.h"
#include "text/Preview.h"
#include "text/Stream.h"
#include "text/Tokens.h"

namespace {

// Each token sits in the editor between two left-to-right marks, so it is
// drawn whole, and a date made of tokens runs left to right as it prints. A
// line whose direction a token would decide starts with a right-to-left mark.
// The marks are the editor's own: the message never holds them.
constexpr QChar kTokenMark(0x200E), kLineMark(0x200F);
bool isTokenMark(QChar c) { return c == kTokenMark || c == kLineMark; }

QString withoutMarks(QString text)
{
    text.remove(kTokenMark);
    text.remove(kLineMark);
    return text;
}

// True when the line's first strong letter comes after a token.
bool tokenLeads(const std::u16string& line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (korvel::text::isTokenStart(line, i))
            return true;
        const QChar::Direction d = QChar(line[i]).direction();
        if (d == QChar::DirL || d == QChar::DirR || d == QChar::DirAL)
            return false;
    }
    return false;
}

QString withMarks(const QString& line, korvel::text::TextDirection direction)
{
    const std::u16string plain = toU16(line);
    QString out;
    if (direction == korvel::text::TextDirection::Auto && tokenLeads(plain) &&
        korvel::text::isRightToLeft(plain, direction))
        out += kLineMark;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (korvel::text::isTokenStart(plain, i)) {
            out += kTokenMark;
            out += QChar(plain[i]);
            out += QChar(plain[i + 1]);
            out += kTokenMark;
            ++i;
        } else {
            out += QChar(plain[i]);
        }
    }
    return out;
}

// Backspace and Delete take a token mark together with the character beyond it.
class MemoKeys : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* memo = qobject_cast<QPlainTextEdit*>(watched);
        if (!memo || event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        QTextCursor c = memo->textCursor();
        if ((key != Qt::Key_Backspace && key != Qt::Key_Delete) || c.hasSelection())
            return false;
        const QString text = c.block().text();
        int at = c.positionInBlock();
        const bool back = key == Qt::Key_Backspace;
        if (!(back ? at > 0 && isTokenMark(text.at(at - 1)) : at < text.size() && isTokenMark(text.at(at))))
            return false;
        while (back ? at > 0 && isTokenMark(text.at(at - 1)) : at < text.size() && isTokenMark(text.at(at)))
            at += back ? -1 : 1;
        c.setPosition(c.block().position() + at);
        back ? c.deletePreviousChar() : c.deleteChar();
        memo->setTextCursor(c);
        return true;
    }
};

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
    Memo1->setGeometry(10, 0, 1016, 330);
    Memo1->setFont(editorFont());
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->installEventFilter(new MemoKeys(Memo1));
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        markTokens();
        refreshTextPreview();
    });

    // One line per printed line, each aligned as it prints.
    textPreview = new QLabel(Panel5);
    textPreview->setObjectName(QStringLiteral("textPreview"));
    textPreview->setGeometry(10, 333, 980, 100);
    textPreview->setFrameShape(QFrame::StyledPanel);
    textPreview->setTextFormat(Qt::RichText);
    textPreview->setLayoutDirection(Qt::LeftToRight);
    textPreview->setAlignment(Qt::AlignTop);
    QFont previewFont = editorFont();
    previewFont.setPixelSize(18);
    textPreview->setFont(previewFont);
    textPreview->setToolTip(QStringLiteral("پیش نمایش چاپ"));
    textPreviewFilled = iconButton(Panel5, "textPreviewFilled", QRect(994, 333, 32, 32), "date",
                                   QStringLiteral("پیش نمایش با مقدارهای امروز و شمارنده 0000"));
    textPreviewFilled->setCheckable(true);
    connect(textPreviewFilled, &QToolButton::toggled, this, &TForm1::refreshTextPreview);

    Panel6 = new QFrame(Panel5);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setGeometry(50, 436, 926, 96);
    Panel6->setFrameShape(QFrame::StyledPanel);

    // Our own icon and the window's field for each picture of the token table.
    struct Field { std::string_view control; const char* icon; QToolButton** button; QLabel** label; };
    const Field fields[] = {
        {"Image1", "year-g", &Image1, &label_year}, {"Image2", "day-g", &Image2, &label_day},
        {"Image3", "month-g", &Image3, &label_month}, {"Image6", "year-s", &Image6, &label_sal},
        {"Image4", "month-s", &Image4, &label_mah}, {"Image5", "day-s", &Image5, &label_rooz},
        {"Image8", "font", &Image8, &label_font}, {"Image9", "clock-token", &Image9, nullptr},
        {"Image7", "counter-token", &Image7, nullptr},
    };
    int x = 12;
    for (const korvel::text::TokenPicture& p : korvel::text::kTokenPictures) {
        const Field* f = std::find_if(std::begin(fields), std::end(fields), [&](const Field& e) { return e.control == p.control; });
        const QString control = fromUtf8(p.control);
        auto* button = new QToolButton(Panel6);
        button->setObjectName(control);
        button->setIcon(korvelIcon(f->icon));
        button->setIconSize(QSize(50, 50));
        button->setToolTip(fromU16(p.hint));
        button->setAutoRaise(true);
        button->setGeometry(x, 4, 54, 55);
        *f->button = button;
        connect(button, &QToolButton::clicked, this, [this, control = std::string(p.control)] {
            insertTokenAtCaret(fromU16(korvel::text::tokenFor(control, TrackBar2->value())));
        });
        const bool font = p.token.empty();
        if (f->label) {
            auto* label = new QLabel(Panel6);
            label->setObjectName(fromUtf8(p.label));
            label->setAlignment(Qt::AlignCenter);
            if (p.labelShowsHint)
                label->setToolTip(fromU16(p.hint));
            label->setGeometry(x, font ? 2 : 32, 54, 22);
            label->setStyleSheet(QStringLiteral("background: rgba(255,255,255,200); font-weight: bold;"));
            *f->label = label;
        }
        x += font ? 120 : 64;
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
    buildTextPageFiles();

    // The direction of the message's lines: automatic, or forced for all of them.
    using korvel::text::TextDirection;
    textDirectionGroup = new QButtonGroup(this);
    const struct { const char* name; const char* icon; const char* hint; TextDirection direction; } directions[] = {
        {"textDirectionAuto", "text-auto", "جهت هر سطر از نخستین حرف آن", TextDirection::Auto},
        {"textDirectionRtl", "text-rtl", "همه سطرها از راست به چپ", TextDirection::Rtl},
        {"textDirectionLtr", "text-ltr", "همه سطرها از چپ به راست", TextDirection::Ltr},
    };
    int y = 2;
    for (const auto& d : directions) {
        QToolButton* button = iconButton(Panel6, d.name, QRect(640, y, 30, 30), d.icon, QString::fromUtf8(d.hint));
        button->setCheckable(true);
        button->setChecked(d.direction == textDirection);
        textDirectionGroup->addButton(button, int(d.direction));
        y += 31;
    }
    connect(textDirectionGroup, &QButtonGroup::idClicked, this, [this](int id) { setTextDirection(TextDirection(id)); });
    applyTextDirection();
}

void TForm1::setTextDirection(korvel::text::TextDirection direction)
{
    textDirection = direction;
    if (QAbstractButton* b = textDirectionGroup->button(int(direction)))
        b->setChecked(true);
    applyTextDirection();
    markTokens();
    refreshTextPreview();
}

// Each line of the editor runs as it will print (automatic: from its first
// strong letter, or its leading mark), right-to-left lines aligned right.
void TForm1::applyTextDirection()
{
    QTextOption option = Memo1->document()->defaultTextOption();
    using korvel::text::TextDirection;
    option.setTextDirection(textDirection == TextDirection::Rtl   ? Qt::RightToLeft
                            : textDirection == TextDirection::Ltr ? Qt::LeftToRight
                                                                  : Qt::LayoutDirectionAuto);
    // The plain editor does not mirror its alignment by direction; justify
    // does: a right-to-left line goes right, and a line ending its paragraph
    // is never stretched.
    option.setAlignment(Qt::AlignJustify);
    Memo1->document()->setDefaultTextOption(option);
}

// Puts the marks around every token, and takes away any others, as part of
// the edit that called for it (one undo step).
void TForm1::markTokens()
{
    if (markingTokens)
        return;
    markingTokens = true;
    QTextCursor edit(Memo1->document());
    bool editing = false;
    for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next()) {
        // A Shift+Enter break becomes a new line of its own, with its own direction.
        if (const int sep = int(block.text().indexOf(QChar(QChar::LineSeparator))); sep >= 0) {
            if (!editing) {
                edit.joinPreviousEditBlock();
                editing = true;
            }
            edit.setPosition(block.position() + sep);
            edit.setPosition(block.position() + sep + 1, QTextCursor::KeepAnchor);
            edit.insertBlock();
        }
        const QString have = block.text();
        const QString want = withMarks(withoutMarks(have), textDirection);
        if (have == want)
            continue;
        if (!editing) {
            edit.joinPreviousEditBlock();
            editing = true;
        }
        // The two differ only in marks: walk both, deleting and inserting marks.
        QString now = have;
        int i = 0, j = 0;
        while (i < now.size() || j < want.size()) {
            if (i < now.size() && j < want.size() && now.at(i) == want.at(j)) {
                ++i, ++j;
            } else if (i < now.size() && isTokenMark(now.at(i))) {
                edit.setPosition(block.position() + i);
                edit.deleteChar();
                now.remove(i, 1);
            } else {
                edit.setPosition(block.position() + i);
                edit.insertText(want.at(j));
                now.insert(i, want.at(j));
                ++i, ++j;
            }
        }
    }
    if (editing)
        edit.endEditBlock();
    markingTokens = false;
}

QString TForm1::memoText() const
{
    QString text = withoutMarks(Memo1->toPlainText());
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

int TForm1::memoSelStart() const
{
    const int start = Memo1->textCursor().selectionStart();
    // Each line break before the caret is CR LF in the message, a Shift+Enter
    // break (U+2028) as well as a new paragraph; token marks are not in it.
    const QString before = Memo1->toPlainText().left(start);
    return int(withoutMarks(before).size() + before.count(QLatin1Char('\n')));
}

void TForm1::setMemoText(const QString& crlfText, int caret)
{
    QString plain = crlfText;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Memo1->setPlainText(plain);
    if (caret < 0)
        return;
    // Back from the message's counting to the editor's: one-character breaks,
    // and past the marks, so that typing goes on after a token.
    const QString shown = Memo1->toPlainText();
    int pos = 0, counted = 0;
    while (pos < shown.size() && (counted < caret || isTokenMark(shown.at(pos)))) {
        if (!isTokenMark(shown.at(pos)))
            counted += shown.at(pos) == QLatin1Char('\n') ? 2 : 1;
        ++pos;
    }
    QTextCursor cursor = Memo1->textCursor();
    cursor.setPosition(pos);
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
    const auto stream = korvel::text::encodeTextStream(toU16(memoText()), textDirection);
    std::function<std::u16string(char16_t)> fill;
    if (textPreviewFilled && textPreviewFilled->isChecked()) {
        const QDateTime now = QDateTime::currentDateTime();
        const QDate today = now.date();
        const auto solar = korvel::text::miladiToShamsi(today.year(), today.month(), today.day());
        fill = [today, now, solar](char16_t token) -> std::u16string {
            auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
            switch (token) {
            case u'y': return toU16(QString::number(today.year()));
            case u'm': return toU16(two(today.month()));
            case u'd': return toU16(two(today.day()));
            case u'Y': return toU16(QString::number(solar.year));
            case u'M': return toU16(two(solar.month));
            case u't': return toU16(now.toString(QStringLiteral("HH:mm")));
            case u'c': return u"0000";
            default: return {};
            }
        };
    }
    QString html;
    QStringList shared;
    for (const korvel::text::PreviewLine& line : korvel::text::previewLines(stream, fill)) {
        // Left-to-right override: the printer draws the codes strictly in stream order.
        html += QStringLiteral("<div align=\"%1\" style=\"margin:0; line-height:70%\">&#x202D;").arg(line.rightToLeft ? QStringLiteral("right") : QStringLiteral("left"));
        for (std::size_t i = 0; i < line.shown.size(); ++i) {
            const QString ch = QString(QChar(line.shown[i])).toHtmlEscaped();
            if (!line.shared[i]) {
                html += line.shown[i] == u' ' ? QStringLiteral("&nbsp;") : ch;
                continue;
            }
            html += QStringLiteral("<span style=\"color:#c0392b; text-decoration:underline;\">%1</span>").arg(ch);
        }
        html += QStringLiteral("&#x202C;</div>");
    }
    for (std::size_t i = 0; i < stream.codes.size(); ++i) {
        const auto code = static_cast<std::uint8_t>(stream.codes[i]);
        const auto letters = korvel::text::lettersOfCode(code);
        if (letters.size() < 2)
            continue;
        QStringList names;
        for (char16_t l : letters)
            names << QStringLiteral("«%1»").arg(QChar(l));
        const QString hint = QStringLiteral(".کد 0x%1 در جدول قلم چاپگر هم %2 است؛ چاپگر تنها یکی از آنها را می کشد")
                                 .arg(code, 2, 16, QLatin1Char('0')).arg(names.join(QStringLiteral(" و هم ")));
        if (!shared.contains(hint))
            shared << hint;
    }
    textPreview->setText(html);
    textPreview->setToolTip(shared.isEmpty() ? QStringLiteral("پیش نمایش چاپ") : shared.join(QLatin1Char('\n')));
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
    const auto stream = korvel::text::encodeTextStream(toU16(memoText()), textDirection);
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

// --- Message files, the recent list and the kept text --------------------------

namespace {

const QString kMessageFilter = QStringLiteral("Text files (*.txt);;All files (*)");
constexpr int kRecentMessages = 6;
const QString kRecentKey = QStringLiteral("message/recent");
const QString kMessageFileKey = QStringLiteral("message/file");

// A message file's text: UTF-8 (a byte-order mark skipped), line breaks as CR LF.
std::optional<QString> decodeMessage(const QByteArray& bytes)
{
    // Stateless: a sequence cut off at the end is an error too. A byte-order mark is skipped.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

} // namespace

void TForm1::buildTextPageFiles()
{
    auto fileButton = [this](QToolButton*& field, const char* name, const char* icon, const QString& hint, QRect at) {
        field = iconButton(Panel5, name, at, icon, hint, false);
    };
    // Right of the token bar, inside the page's panel.
    fileButton(messageOpen, "messageOpen", "open", QStringLiteral("باز کردن پیام"), QRect(980, 438, 26, 26));
    fileButton(messageSave, "messageSave", "save", QStringLiteral("ذخیره پیام"), QRect(1008, 438, 26, 26));
    fileButton(messageSaveAs, "messageSaveAs", "save-as", QStringLiteral("ذخیره پیام با نام دیگر"), QRect(1008, 468, 26, 26));
    fileButton(messageRecent, "messageRecent", nullptr, QStringLiteral("پیام های اخیر"), QRect(980, 498, 54, 26));
    messageRecent->setText(QStringLiteral("اخیر"));
    recentMenu = new QMenu(messageRecent);
    recentMenu->setObjectName(QStringLiteral("recentMenu"));
    messageRecent->setMenu(recentMenu);
    messageRecent->setPopupMode(QToolButton::InstantPopup);
    connect(messageOpen, &QToolButton::clicked, this, &TForm1::messageOpenClick);
    connect(messageSave, &QToolButton::clicked, this, [this] { saveMessage(); });
    connect(messageSaveAs, &QToolButton::clicked, this, [this] { saveMessageAs(); });

    // The text is kept a moment after the last keystroke, and at close.
    keepMessageTimer_ = new QTimer(this);
    keepMessageTimer_->setSingleShot(true);
    keepMessageTimer_->setInterval(500);
    connect(keepMessageTimer_, &QTimer::timeout, this, &TForm1::keepMessageText);
    connect(Memo1, &QPlainTextEdit::textChanged, keepMessageTimer_, qOverload<>(&QTimer::start));
}

QString TForm1::keptMessagePath() { return Choices::folder() + QStringLiteral("/message.txt"); }

void TForm1::keepMessageText()
{
    if (keepMessageTimer_)
        keepMessageTimer_->stop();
    if (const QString error = writeFileWhole(keptMessagePath(), memoText().toUtf8()); !error.isEmpty())
        if (!std::exchange(keepingErrorShown_, true))
            seams().error(this, QStringLiteral(".متن پیام در %1 نگه داشته نشد\n%2").arg(keptMessagePath(), error));
}

void TForm1::restoreKeptMessage()
{
    QFile kept(keptMessagePath());
    if (kept.open(QIODevice::ReadOnly))
        if (const auto text = decodeMessage(kept.readAll()))
            setMemoText(*text);
    keepMessageTimer_->stop(); // the text is what the file already holds
    messageFile = choices().value(kMessageFileKey);
    messageSavedText_.clear();
    if (!messageFile.isEmpty()) {
        // Unsaved when the editor's text is no longer the file's.
        QFile file(messageFile);
        if (file.open(QIODevice::ReadOnly))
            messageSavedText_ = decodeMessage(file.readAll()).value_or(QString());
    }
    refreshRecentMenu();
}

bool TForm1::openMessage(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        seams().error(this, QStringLiteral(".فایل «%1» قابل استفاده نیست\n%2").arg(file, in.errorString()));
        return false;
    }
    const auto text = decodeMessage(in.readAll());
    if (!text) {
        seams().error(this, QStringLiteral(".فایل «%1» متن UTF-8 نیست و باز نشد").arg(file));
        return false;
    }
    setMemoText(*text);
    messageFile = file;
    messageSavedText_ = memoText();
    choices().set(kMessageFileKey, messageFile);
    rememberRecentMessage(file);
    return true;
}

void TForm1::messageOpenClick()
{
    if (!confirmDiscardMessage())
        return;
    const QString file = seams().openFileName(this, kMessageFilter);
    if (!file.isEmpty())
        openMessage(file);
}

void TForm1::messageRecentChosen(const QString& file)
{
    if (!confirmDiscardMessage())
        return;
    if (!QFile::exists(file)) {
        seams().error(this, QStringLiteral(".فایل «%1» دیگر وجود ندارد").arg(file));
        QStringList recent = choices().list(kRecentKey);
        recent.removeAll(file);
        choices().setList(kRecentKey, recent);
        refreshRecentMenu();
        return;
    }
    openMessage(file);
}

bool TForm1::saveMessage()
{
    if (messageFile.isEmpty())
        return saveMessageAs();
    const QString text = memoText();
    if (const QString error = writeFileWhole(messageFile, text.toUtf8()); !error.isEmpty()) {
        seams().error(this, QStringLiteral(".فایل «%1» قابل استفاده نیست\n%2").arg(messageFile, error));
        return false;
    }
    messageSavedText_ = text;
    choices().set(kMessageFileKey, messageFile);
    rememberRecentMessage(messageFile);
    return true;
}

bool TForm1::saveMessageAs()
{
    const QString file = seams().saveFileNameProposing(this, kMessageFilter, QStringLiteral("txt"), messageFile);
    if (file.isEmpty())
        return false;
    messageFile = file;
    return saveMessage();
}

void TForm1::rememberRecentMessage(const QString& file)
{
    QStringList recent = choices().list(kRecentKey);
    recent.removeAll(file);
    recent.prepend(file);
    while (recent.size() > kRecentMessages)
        recent.removeLast();
    choices().setList(kRecentKey, recent);
    refreshRecentMenu();
}

void TForm1::refreshRecentMenu()
{
    recentMenu->clear();
    const QStringList recent = choices().list(kRecentKey);
    for (const QString& file : recent) {
        QAction* action = recentMenu->addAction(QFileInfo(file).fileName());
        action->setToolTip(file);
        action->setData(file);
        connect(action, &QAction::triggered, this, [this, file] { messageRecentChosen(file); });
    }
    messageRecent->setEnabled(!recent.isEmpty());
}
