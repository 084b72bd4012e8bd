// The date-field overlays of the pixel page and their layout commands.
#include "MainWindow.h"

#include "Ui.h"
#include "UiSeams.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "image/DateLayout.h"
#include "printer/Protocol.h"
#include "text/Calendar.h"

using namespace korvel;

namespace {

QToolButton* smallButton(QWidget* parent, const char* name, const QString& text, QRect geometry,
                         const char* icon = nullptr, const QString& hint = {})
{
    QToolButton* button = iconButton(parent, name, geometry, icon, hint, false);
    button->setText(text);
    return button;
}

image::CivilDate civil(const QDate& d) { return {d.year(), d.month(), d.day()}; }

image::CivilDate toSolar(image::CivilDate g)
{
    const auto s = text::miladiToShamsi(g.year, g.month, g.day);
    return {s.year, s.month, s.day};
}

} // namespace

void TForm1::buildDateFields()
{
    const auto& infos = image::dateLabels();
    auto* stores = new QFrame(pagePixel); // never shown: it only holds the position stores
    stores->setObjectName(QStringLiteral("Panel_stores"));
    stores->hide();
    for (int i = 0; i < image::kDateLabelCount; ++i) {
        const image::DateLabelInfo& info = infos[size_t(i)];
        auto* label = new QLabel(canvasHost);
        label->setObjectName(QLatin1String(info.objectName));
        QFont font;
        font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
        font.setBold(true);
        font.setPointSize(image::kStartFontPointSize);
        label->setFont(font);
        label->setStyleSheet(QStringLiteral("color: rgb(%1,%2,%3); background: white;").arg(info.red).arg(info.green).arg(info.blue));
        label->setToolTip(QString::fromUtf8(info.buttonCaption));
        label->setMouseTracking(true);
        label->installEventFilter(this);
        label->move(251, 251);
        label->hide();
        dateLabels[size_t(i)] = label;
        auto store = [stores](const char* name) {
            auto* edit = new QLineEdit(QStringLiteral("251"), stores);
            edit->setObjectName(QLatin1String(name));
            return edit;
        };
        xStores[size_t(i)] = store(info.xStore);
        yStores[size_t(i)] = store(info.yStore);
    }

    const int left = 820;
    // A size digit between its down and up buttons.
    auto sizeRow = [](QWidget* panel, QToolButton*& down, const char* downName, QLabel*& digit, const char* digitName,
                      QToolButton*& up, const char* upName, int y) {
        down = smallButton(panel, downName, QStringLiteral("-"), QRect(150, y, 28, 28));
        digit = new QLabel(QStringLiteral("3"), panel);
        digit->setObjectName(QLatin1String(digitName));
        digit->setGeometry(180, y, 20, 28);
        digit->setAlignment(Qt::AlignCenter);
        up = smallButton(panel, upName, QStringLiteral("+"), QRect(200, y, 28, 28));
    };
    // "شمسی" (checked) above "میلادی".
    auto calendarPair = [](QWidget* panel, QRadioButton*& solar, const char* solarName, QRadioButton*& gregorian,
                           const char* gregorianName, int y) {
        solar = new QRadioButton(QStringLiteral("شمسی"), panel);
        solar->setObjectName(QLatin1String(solarName));
        solar->setGeometry(80, y, 70, 22);
        gregorian = new QRadioButton(QStringLiteral("میلادی"), panel);
        gregorian->setObjectName(QLatin1String(gregorianName));
        gregorian->setGeometry(80, y + 24, 70, 22);
        solar->setChecked(true);
    };
    auto panel = [this, left](const QString& title, const char* name, int top, int height) {
        auto* box = new QGroupBox(title, pagePixel);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(left, top, 230, height);
        box->setLayoutDirection(Qt::RightToLeft);
        return box;
    };

    QGroupBox* production = panel(QStringLiteral("تولید"), "Panel_production", 134, 110);
    sizeRow(production, SpeedButton19, "SpeedButton19", label_date_font, "label_date_font", SpeedButton33,
            "SpeedButton33", 22);
    calendarPair(production, Rradio_p_sh, "Rradio_p_sh", Rradio_p_m, "Rradio_p_m", 56);
    SpeedButton37 = smallButton(production, "SpeedButton37", QString(), QRect(6, 22, 60, 60), "send-layout",
                                QStringLiteral("ارسال محل تاریخ تولید"));

    QGroupBox* expiry = panel(QStringLiteral("انقضا"), "Panel_expiry", 246, 150);
    Button159 = smallButton(expiry, "Button159", QStringLiteral("-"), QRect(100, 22, 28, 28));
    label_expire = new QLabel(QStringLiteral("30"), expiry);
    label_expire->setObjectName(QStringLiteral("label_expire"));
    label_expire->setGeometry(130, 22, 36, 28);
    label_expire->setAlignment(Qt::AlignCenter);
    Button154 = smallButton(expiry, "Button154", QStringLiteral("+"), QRect(166, 22, 28, 28));
    auto* days = new QLabel(QStringLiteral("روز"), expiry);
    days->setGeometry(196, 22, 30, 28);
    sizeRow(expiry, SpeedButton34, "SpeedButton34", label_edate_font, "label_edate_font", SpeedButton35,
            "SpeedButton35", 56);
    calendarPair(expiry, Rradio_e_sh, "Rradio_e_sh", Rradio_e_m, "Rradio_e_m", 92);
    SpeedButton36 = smallButton(expiry, "SpeedButton36", QString(), QRect(6, 22, 56, 56), "send-days",
                                QStringLiteral("ارسال روزهای انقضا"));
    SpeedButton38 = smallButton(expiry, "SpeedButton38", QString(), QRect(6, 84, 56, 56), "send-layout",
                                QStringLiteral("ارسال محل تاریخ انقضا"));

    Panel10 = new QFrame(pagePixel);
    Panel10->setObjectName(QStringLiteral("Panel10"));
    Panel10->setGeometry(left, 398, 230, 136);
    Panel10->setFrameShape(QFrame::StyledPanel);
    Panel10->setLayoutDirection(Qt::RightToLeft);
    const QString captions[5] = {QStringLiteral("تصویر 1 "), QStringLiteral("تصویر 2"), QStringLiteral("تصویر 3"),
                                 QStringLiteral("تصویر 4  "), QStringLiteral("تصویر5      ")};
    for (int i = 0; i < 5; ++i) {
        auto* radio = new QRadioButton(captions[i], Panel10);
        radio->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        radio->setGeometry(120, 4 + i * 26, 104, 24);
        slotButtons[size_t(i)] = radio;
    }
    slotButtons[0]->setChecked(true);
    Button141 = new QPushButton(QStringLiteral("تنظیم تصاویر"), Panel10);
    Button141->setObjectName(QStringLiteral("Button141"));
    Button141->setGeometry(6, 50, 106, 36);

    connect(SpeedButton19, &QToolButton::clicked, this, [this] { sizeDigitChanged(false, false); });
    connect(SpeedButton33, &QToolButton::clicked, this, [this] { sizeDigitChanged(false, true); });
    connect(SpeedButton34, &QToolButton::clicked, this, [this] { sizeDigitChanged(true, false); });
    connect(SpeedButton35, &QToolButton::clicked, this, [this] { sizeDigitChanged(true, true); });
    connect(Button154, &QToolButton::clicked, this, &TForm1::Button154Click);
    connect(Button159, &QToolButton::clicked, this, &TForm1::Button159Click);
    connect(SpeedButton36, &QToolButton::clicked, this, &TForm1::SpeedButton36Click);
    connect(SpeedButton37, &QToolButton::clicked, this, &TForm1::SpeedButton37Click);
    connect(SpeedButton38, &QToolButton::clicked, this, &TForm1::SpeedButton38Click);
    connect(Button141, &QPushButton::clicked, this, &TForm1::Button141Click);
    for (QRadioButton* radio : {Rradio_p_sh, Rradio_p_m, Rradio_e_sh, Rradio_e_m})
        connect(radio, &QRadioButton::toggled, this, &TForm1::refreshDatePreviews);

    // The window may stay open past midnight: the previews follow the day.
    auto* dayWatch = new QTimer(this);
    dayWatch->setObjectName(QStringLiteral("dayWatch"));
    dayWatch->setInterval(60 * 1000);
    connect(dayWatch, &QTimer::timeout, this, [this] {
        if (seams().today() != previewDay_) {
            showTodayOnTextPage(seams().today());
            refreshDatePreviews();
        }
    });
    dayWatch->start();
}

void TForm1::setpos()
{
    for (int i = 0; i < image::kDateLabelCount; ++i) {
        xStores[size_t(i)]->setText(QString::fromStdString(image::pad3(std::to_string(dateLabels[size_t(i)]->x()))));
        yStores[size_t(i)]->setText(QString::fromStdString(image::pad3(std::to_string(dateLabels[size_t(i)]->y()))));
    }
}

void TForm1::placeDateLabel(int index)
{
    QLabel* label = dateLabels[size_t(index)];
    const auto id = image::DateLabel(index);
    if (!label->isHidden()) {
        label->move(image::kParked.left, image::kParked.top);
        label->hide();
    } else {
        label->adjustSize();
        image::Position at;
        if (id == image::DateLabel::ProductionYear) {
            at = image::placeProductionYear();
        } else if (id == image::DateLabel::ExpiryYear) {
            at = image::placeExpiryYear(label->height());
        } else {
            const QLabel* before = dateLabels[size_t(*image::precedingLabel(id))];
            if (before->isHidden()) // parked below the canvas: start the line where its date starts
                at = image::dateLabelInfo(id).expiry ? image::placeExpiryYear(label->height())
                                                     : image::placeProductionYear();
            else
                at = image::placeAfter({before->x(), before->y(), before->width(), before->height()},
                                       label->width(), label_date_font->text().toInt());
        }
        label->move(at.left, at.top);
        label->show();
        label->raise();
    }
    setpos();
    checkDateOverCode(index);
    markDatesModified();
}

void TForm1::dateLabelMouse(int index, QEvent* event)
{
    QLabel* label = dateLabels[size_t(index)];
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        DraggingDate = true;
        break;
    case QEvent::MouseButtonRelease:
        DraggingDate = false;
        checkDateOverCode(index);
        break;
    case QEvent::MouseMove: {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        const image::Position at =
            image::dragLabel({label->x(), label->y(), label->width(), label->height()}, p.x(), p.y(), DraggingDate);
        if (DraggingDate && at != image::Position{label->x(), label->y()})
            markDatesModified();
        label->move(at.left, at.top);
        xStores[size_t(index)]->setText(QString::fromStdString(image::pad3(std::to_string(at.left))));
        yStores[size_t(index)]->setText(QString::fromStdString(image::pad3(std::to_string(at.top))));
        break;
    }
    default:
        break;
    }
}

void TForm1::sizeDigitChanged(bool expiry, bool up)
{
    QLabel* digit = expiry ? label_edate_font : label_date_font;
    const int d = up ? image::sizeDigitUp(digit->text().toInt()) : image::sizeDigitDown(digit->text().toInt());
    digit->setNum(d);
    for (int i = expiry ? 3 : 0, end = i + 3; i < end; ++i) {
        QLabel* label = dateLabels[size_t(i)];
        QFont font = label->font();
        font.setPointSize(image::fontPointSize(d));
        label->setFont(font);
        label->adjustSize();
    }
    markDatesModified();
}

void TForm1::refreshDatePreviews()
{
    const QDate today = seams().today();
    previewDay_ = today;
    const auto show = [this](int first, const image::DatePreview& preview) {
        dateLabels[size_t(first)]->setText(QString::fromStdString(preview.year));
        dateLabels[size_t(first + 1)]->setText(QString::fromStdString(preview.month));
        dateLabels[size_t(first + 2)]->setText(QString::fromStdString(preview.day));
        for (int i = first; i < first + 3; ++i)
            dateLabels[size_t(i)]->adjustSize();
    };
    show(0, image::datePreview(civil(today), Rradio_p_sh->isChecked(), toSolar));
    const auto expiryDay = image::addDays(civil(today), label_expire->text().toInt());
    show(3, image::datePreview(expiryDay, Rradio_e_sh->isChecked(), toSolar));
}

void TForm1::Button154Click()
{
    label_expire->setNum(image::expiryOffsetUp(label_expire->text().toInt()));
    refreshDatePreviews();
}

void TForm1::Button159Click()
{
    label_expire->setNum(image::expiryOffsetDown(label_expire->text().toInt()));
    refreshDatePreviews();
}

void TForm1::SpeedButton36Click()
{
    if (!ensureConnected())
        return;
    const std::string days = image::expiryDaysParameter(label_expire->text().toInt());
    seams().message(this, QString::fromStdString(days));
    submitJob(printer::expiryDaysJob(days));
}

void TForm1::sendLayout(bool expiry)
{
    if (!ensureConnected())
        return;
    const int first = expiry ? 3 : 0;
    std::array<std::pair<int, int>, 3> positions;
    for (int i = 0; i < 3; ++i)
        positions[size_t(i)] = {xStores[size_t(first + i)]->text().toInt(), yStores[size_t(first + i)]->text().toInt()};
    const bool solar = expiry ? Rradio_e_sh->isChecked() : Rradio_p_sh->isChecked();
    const int digit = (expiry ? label_edate_font : label_date_font)->text().toInt();
    guarded([&] {
        const std::string parameters = image::layoutParameters(solar, slotDigit(), digit, positions);
        submitJob(expiry ? printer::expiryLayoutJob(parameters) : printer::productionLayoutJob(parameters));
    });
}

void TForm1::SpeedButton37Click() { sendLayout(false); }
void TForm1::SpeedButton38Click() { sendLayout(true); }
