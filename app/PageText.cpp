// The text page: the message editor, its token bar and the two text commands.
#include "MainWindow.h"

#include "Choices.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QStringDecoder>
#include <QTimer>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

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
    buildTextPageFiles();
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
    expectUploadRequest();
    submitJob(korvel::printer::sendTextJob());
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
        if (!std::exchange(choicesErrorShown_, true))
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
