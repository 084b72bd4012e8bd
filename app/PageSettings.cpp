// The settings page: five value rows, clock and counter, print direction, port.
#include "MainWindow.h"

#include "PortList.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include "printer/Messages.h"
#include "printer/Protocol.h"

using korvel::printer::ValueSetting;

namespace {

QToolButton* pictureButton(QWidget* parent, const char* name, const char* icon, const QString& hint, QRect geometry)
{
    return iconButton(parent, name, geometry, icon, hint);
}

} // namespace

void TForm1::buildSettingsPage()
{
    QWidget* page = pageSettings;
    struct Row {
        const char* button; const char* icon; QString hint;
        QSlider** bar; const char* barName; QString barHint;
        QLabel** label; const char* labelName;
        const char* less; const char* more;
        QToolButton** buttonField; void (TForm1::*click)();
    };
    const Row rows[] = {
        {"B7", "initial-delay", QStringLiteral("تاخیر بعد از دیدن چشم یا سنسور"), &TrackBar1, "TrackBar1",
         QStringLiteral("تاخیر اولیه"), &Label6, "Label6", "Button145", "Button150", &B7, &TForm1::B7Click},
        {"Image15", "delay-after", QStringLiteral("تاخیر بعد از  چاپ"), &TrackBar7, "TrackBar7", QString(),
         &Label10, "Label10", "Button149", "Button158", &Image15, &TForm1::Image15Click},
        {"Image12", "resolution", QStringLiteral("وضوح چاپ"), &TrackBar5, "TrackBar5", QString(), &Label7,
         "Label7", "Button146", "Button151", &Image12, &TForm1::Image12Click},
        {"b5", "ink", QStringLiteral("میزان پاشش جوهر"), &TrackBar4, "TrackBar4", QStringLiteral("کیفیت چاپ"),
         &Label8, "Label8", "Button147", "Button152", &b5, &TForm1::b5Click},
        {"Image14", "count", QStringLiteral("تعداد چاپ"), &TrackBar6, "TrackBar6", QString(), &Label9, "Label9",
         "Button148", "Button153", &Image14, &TForm1::Image14Click},
    };
    int y = 24;
    for (const Row& row : rows) {
        QToolButton* picture = pictureButton(page, row.button, row.icon, row.hint, QRect(930, y, 64, 64));
        *row.buttonField = picture;
        connect(picture, &QToolButton::clicked, this, row.click);

        auto* bar = new QSlider(Qt::Horizontal, page);
        bar->setObjectName(QLatin1String(row.barName));
        bar->setRange(1, 255);
        bar->setPageStep(10);
        bar->setValue(1);
        bar->setToolTip(row.barHint);
        bar->setGeometry(250, y + 16, 600, 32);
        *row.bar = bar;

        auto* label = new QLabel(QStringLiteral("1"), page);
        label->setObjectName(QLatin1String(row.labelName));
        label->setGeometry(120, y + 16, 60, 32);
        label->setAlignment(Qt::AlignCenter);
        *row.label = label;
        // The label follows the position whatever moved it: operator, buttons or the report.
        connect(bar, &QSlider::valueChanged, label, [label](int v) { label->setNum(v); });

        auto* less = new QToolButton(page);
        less->setObjectName(QLatin1String(row.less));
        less->setText(QStringLiteral("<"));
        less->setGeometry(200, y + 16, 40, 32);
        connect(less, &QToolButton::clicked, bar, [bar] { bar->setValue(bar->value() - 1); });
        auto* more = new QToolButton(page);
        more->setObjectName(QLatin1String(row.more));
        more->setText(QStringLiteral(">"));
        more->setGeometry(860, y + 16, 40, 32);
        connect(more, &QToolButton::clicked, bar, [bar] { bar->setValue(bar->value() + 1); });
        y += 80;
    }

    const int bottom = y + 16;
    B2 = pictureButton(page, "B2", "date", QStringLiteral("تنظیم تاریخ چاپگر"), QRect(930, bottom, 64, 64));
    B3 = pictureButton(page, "B3", "time", QStringLiteral("تنظیم ساعت چاپگر"), QRect(850, bottom, 64, 64));
    B4 = pictureButton(page, "B4", "counter", QStringLiteral("تنظیم شمارنده"), QRect(770, bottom, 64, 64));
    Image11 = pictureButton(page, "Image11", "ltr", QStringLiteral("چاپ از چپ به راست"), QRect(690, bottom, 64, 64));
    Image10 = pictureButton(page, "Image10", "rtl", QStringLiteral("چاپ از راست به چپ"), QRect(610, bottom, 64, 64));
    connect(B2, &QToolButton::clicked, this, &TForm1::B2Click);
    connect(B3, &QToolButton::clicked, this, &TForm1::B3Click);
    connect(B4, &QToolButton::clicked, this, &TForm1::B4Click);
    connect(Image11, &QToolButton::clicked, this, &TForm1::Image11Click);
    connect(Image10, &QToolButton::clicked, this, &TForm1::Image10Click);

    auto* caption = new QLabel(QStringLiteral("انتخاب پورت سریال"), page);
    caption->setObjectName(QStringLiteral("Label_port"));
    caption->setGeometry(400, bottom, 180, 28);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* portList = new PortList(page);
    connect(portList, &PortList::failed, this, [this](const QString& reason) {
        seams().error(this, QStringLiteral(".برای این دستگاه نام پورتی ساخته نشد\n%1").arg(reason));
    });
    comboportselect = portList;
    comboportselect->setObjectName(QStringLiteral("comboportselect"));
    comboportselect->setEditable(true);
    comboportselect->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 255; ++i)
        comboportselect->addItem(QStringLiteral("COM%1").arg(i));
    comboportselect->setCurrentIndex(-1);
    comboportselect->setEditText(QStringLiteral("Select PORT"));
    comboportselect->setGeometry(400, bottom + 32, 180, 30);
    // Only the operator's changes count; start-up sets the selection with signals blocked.
    connect(comboportselect, &QComboBox::currentIndexChanged, this, &TForm1::comboportselectChange);
    // A port typed in full is a choice like a pick from the list.
    connect(comboportselect, &QComboBox::editTextChanged, this, [this](const QString& text) {
        const int typed = comboportselect->findText(text.trimmed(), Qt::MatchFixedString);
        if (typed >= 0 && typed != comboportselect->currentIndex())
            comboportselect->setCurrentIndex(typed);
    });
    Image13 = pictureButton(page, "Image13", "connect", QStringLiteral("اتصال به دستگاه"), QRect(320, bottom, 64, 64));
    connect(Image13, &QToolButton::clicked, this, &TForm1::Image13Click);
}

void TForm1::B7Click() { sendCommand(korvel::printer::valueSettingJob(ValueSetting::InitialDelay, TrackBar1->value())); }
void TForm1::Image15Click() { sendCommand(korvel::printer::valueSettingJob(ValueSetting::DelayAfter, TrackBar7->value())); }
void TForm1::Image12Click() { sendCommand(korvel::printer::valueSettingJob(ValueSetting::Resolution, TrackBar5->value())); }
void TForm1::b5Click() { sendCommand(korvel::printer::valueSettingJob(ValueSetting::Ink, TrackBar4->value())); }
void TForm1::Image14Click() { sendCommand(korvel::printer::valueSettingJob(ValueSetting::Count, TrackBar6->value())); }
void TForm1::Image10Click() { sendCommand(korvel::printer::directionJob(korvel::printer::Direction::RightToLeft)); }
void TForm1::Image11Click() { sendCommand(korvel::printer::directionJob(korvel::printer::Direction::LeftToRight)); }

void TForm1::B2Click()
{
    if (!ensureConnected())
        return;
    const QDate today = seams().today();
    sendCommand(korvel::printer::setDateJob(today.year(), today.month(), today.day()));
}

void TForm1::B3Click()
{
    if (!ensureConnected())
        return;
    const QTime now = seams().now(); // read once: the printer gets the time of the press
    sendCommand(korvel::printer::setTimeJob(now.hour(), now.minute(), now.second()));
}

void TForm1::B4Click()
{
    if (!ensureConnected())
        return;
    const auto answer = seams().inputBox(this, fromUtf8(korvel::printer::kCounterPromptCaption),
                                         fromUtf8(korvel::printer::kCounterPrompt), QStringLiteral("0000"));
    const QByteArray utf8 = answer.value_or(QString()).toUtf8();
    const auto counter = korvel::printer::counterFromAnswer(std::string_view(utf8.constData(), size_t(utf8.size())),
                                                            !answer.has_value());
    if (!counter.ok) {
        seams().message(this, fromUtf8(counter.error));
        return;
    }
    sendCommand(korvel::printer::setCounterJob(counter.text4));
}
