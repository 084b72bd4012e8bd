// The date fields of the pixel page: placing, dragging, sizes, the offset,
// the layout strings the senders use and the previews in both calendars.
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "PixelPage.h"
#include "image/DateLayout.h"

using namespace pixel;

namespace {

constexpr int PY = 0, PM = 1, PD = 2, EY = 3, EM = 4, ED = 5;

QString three(int v) { return QString::fromStdString(korvel::image::pad3(std::to_string(v))); }

// The parameters after "J" (production) or "V" (expiry): the calendar, the
// slot, the size digit and the six stores as they stand.
QString layoutString(const TForm1& f, bool expiry)
{
    const int first = expiry ? EY : PY;
    QString s = (expiry ? f.Rradio_e_sh : f.Rradio_p_sh)->isChecked() ? "0" : "1";
    s += QString::number(f.slotDigit());
    s += (expiry ? f.label_edate_font : f.label_date_font)->text();
    for (int i = first; i < first + 3; ++i)
        s += f.xStores[size_t(i)]->text() + f.yStores[size_t(i)]->text();
    return s;
}

// What the senders build from the same controls.
QString senderString(const TForm1& f, bool expiry)
{
    const int first = expiry ? EY : PY;
    std::array<std::pair<int, int>, 3> positions;
    for (int i = 0; i < 3; ++i)
        positions[size_t(i)] = {f.xStores[size_t(first + i)]->text().toInt(), f.yStores[size_t(first + i)]->text().toInt()};
    return QString::fromStdString(korvel::image::layoutParameters(
        (expiry ? f.Rradio_e_sh : f.Rradio_p_sh)->isChecked(), f.slotDigit(),
        (expiry ? f.label_edate_font : f.label_date_font)->text().toInt(), positions));
}

// Drags a date label so that its top-left lands on target (before the canvas holds it).
void dragTo(QLabel* label, QPoint target)
{
    const QPoint grip(label->width() / 2, label->height() / 2);
    press(label, grip);
    move(label, target - label->pos() + grip);
    release(label, grip);
}

QStringList shownDates(const TForm1& f)
{
    QStringList s;
    for (QLabel* l : f.dateLabels)
        s << l->text();
    return s;
}

} // namespace

class DatesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { env.reset(new TestEnvironment); }
    void cleanup() { closeWindow(env, form); }

    void placeYears()
    {
        open();
        click(form->placingButtons[PY]);
        QVERIFY(form->dateLabels[PY]->isVisible());
        QCOMPARE(form->dateLabels[PY]->pos(), QPoint(0, 0));
        QCOMPARE(form->xStores[PY]->text() + form->yStores[PY]->text(), QStringLiteral("000000"));

        click(form->placingButtons[EY]);
        QLabel* ey = form->dateLabels[EY];
        QVERIFY(ey->isVisible());
        QCOMPARE(ey->pos(), QPoint(0, 154 - ey->height()));
        QCOMPARE(form->yStores[EY]->text(), three(154 - ey->height()));

        click(form->placingButtons[PY]); // again: parked and hidden
        QVERIFY(!form->dateLabels[PY]->isVisible());
        QCOMPARE(form->dateLabels[PY]->pos(), QPoint(251, 251));
        QCOMPARE(form->xStores[PY]->text() + form->yStores[PY]->text(), QStringLiteral("251251"));
        QCOMPARE(ey->pos(), QPoint(0, 154 - ey->height()));
    }

    // Month after year, day after month, with a gap of 8 x the production
    // digit (for the expiry fields too), or at left 0 when it would pass 239.
    void placeAfterPreceding_data()
    {
        QTest::addColumn<QList<int>>("placedFirst");
        QTest::addColumn<int>("label");
        QTest::addColumn<int>("productionDigit");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("month, digit 3") << QList<int>{PY} << PM << 3 << false;
        QTest::newRow("day, digit 3") << QList<int>{PY, PM} << PD << 3 << false;
        QTest::newRow("month, digit 1") << QList<int>{PY} << PM << 1 << false;
        QTest::newRow("month, digit 8 wraps") << QList<int>{PY} << PM << 8 << true;
        QTest::newRow("expiry month, digit 3") << QList<int>{EY} << EM << 3 << false;
        QTest::newRow("expiry month, digit 8") << QList<int>{EY} << EM << 8 << false;
        QTest::newRow("expiry day, digit 8 wraps") << QList<int>{EY, EM} << ED << 8 << true;
    }
    void placeAfterPreceding()
    {
        QFETCH(QList<int>, placedFirst);
        QFETCH(int, label);
        QFETCH(int, productionDigit);
        QFETCH(bool, wraps);
        open();
        while (form->label_date_font->text().toInt() != productionDigit)
            click(form->SpeedButton33);
        for (int i : placedFirst)
            click(form->placingButtons[size_t(i)]);
        const QLabel* before = form->dateLabels[size_t(label - 1)];
        const QRect p = before->geometry();
        click(form->placingButtons[size_t(label)]);
        QLabel* placed = form->dateLabels[size_t(label)];
        const int gap = 8 * productionDigit;
        QCOMPARE(gap + p.x() + p.width() + placed->width() > 239, wraps); // the row means what it says
        QVERIFY(placed->isVisible());
        QCOMPARE(placed->pos(), QPoint(wraps ? 0 : gap + p.x() + p.width(), p.y()));
        QCOMPARE(form->xStores[size_t(label)]->text(), three(placed->x()));
        QCOMPARE(form->yStores[size_t(label)]->text(), three(placed->y()));
    }

    // Every label stays inside the canvas while dragged, so its stores always
    // hold three digits; moves without a held button do not drag.
    void dragHeldInsideTheCanvas_data()
    {
        QTest::addColumn<int>("label");
        for (int i = 0; i < 6; ++i)
            QTest::addRow("%s", korvel::image::dateLabels()[size_t(i)].objectName) << i;
    }
    void dragHeldInsideTheCanvas()
    {
        QFETCH(int, label);
        open();
        click(form->placingButtons[size_t(label)]);
        QLabel* l = form->dateLabels[size_t(label)];
        const QPoint grip(l->width() / 2, l->height() / 2);
        press(l, grip);
        QVERIFY(form->DraggingDate);
        move(l, QPoint(-1000, -1000));
        QCOMPARE(l->pos(), QPoint(0, 0));
        QCOMPARE(form->xStores[size_t(label)]->text() + form->yStores[size_t(label)]->text(), QStringLiteral("000000"));
        move(l, QPoint(1000, 1000));
        const QPoint corner(240 - l->width(), 154 - l->height());
        QCOMPARE(l->pos(), corner);
        QCOMPARE(form->xStores[size_t(label)]->text(), three(corner.x()));
        QCOMPARE(form->yStores[size_t(label)]->text(), three(corner.y()));
        move(l, QPoint(5, 5) + grip);
        QCOMPARE(l->pos(), corner); // still held at the edge
        move(l, grip - QPoint(30, 20));
        QCOMPARE(l->pos(), corner - QPoint(30, 20));
        release(l, grip);
        QVERIFY(!form->DraggingDate);
        move(l, grip - QPoint(30, 20));
        QCOMPARE(l->pos(), corner - QPoint(30, 20));
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(form->xStores[size_t(i)]->text().size(), 3);
            QCOMPARE(form->yStores[size_t(i)]->text().size(), 3);
        }
    }

    void sizeDigits_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("expiry");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("points");
        QTest::newRow("production down 3") << "SpeedButton19" << false << 3 << 2 << 25;
        QTest::newRow("production down 1") << "SpeedButton19" << false << 1 << 8 << 130;
        QTest::newRow("production up 3") << "SpeedButton33" << false << 3 << 4 << 48;
        QTest::newRow("production up 8") << "SpeedButton33" << false << 8 << 1 << 10;
        QTest::newRow("expiry down 6") << "SpeedButton34" << true << 6 << 5 << 60;
        QTest::newRow("expiry down 1") << "SpeedButton34" << true << 1 << 8 << 130;
        QTest::newRow("expiry up 5") << "SpeedButton35" << true << 5 << 6 << 80;
        QTest::newRow("expiry up 6") << "SpeedButton35" << true << 6 << 7 << 100;
        QTest::newRow("expiry up 2") << "SpeedButton35" << true << 2 << 3 << 37;
        QTest::newRow("expiry up 8") << "SpeedButton35" << true << 8 << 1 << 10;
    }
    void sizeDigits()
    {
        QFETCH(QString, button);
        QFETCH(bool, expiry);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, points);
        open();
        QLabel* digit = expiry ? form->label_edate_font : form->label_date_font;
        QLabel* other = expiry ? form->label_date_font : form->label_edate_font;
        QCOMPARE(digit->text(), QStringLiteral("3"));
        digit->setText(QString::number(from));
        click(form->placingButtons[expiry ? EY : PY]);
        const QPoint at = form->dateLabels[expiry ? EY : PY]->pos();
        click(named(*form, qPrintable(button)));
        QCOMPARE(digit->text(), QString::number(to));
        QCOMPARE(other->text(), QStringLiteral("3"));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(form->dateLabels[size_t(i)]->font().pointSize(), (i >= EY) == expiry ? points : 30);
        QCOMPARE(form->dateLabels[expiry ? EY : PY]->pos(), at); // not moved
    }

    void expiryOffset_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("sent");
        QTest::newRow("+ from 30") << "Button154" << 30 << 31 << "031";
        QTest::newRow("+ from 998") << "Button154" << 998 << 999 << "999";
        QTest::newRow("+ stops at 999") << "Button154" << 999 << 999 << "999";
        QTest::newRow("- from 30") << "Button159" << 30 << 29 << "029";
        QTest::newRow("- from 1") << "Button159" << 1 << 0 << "000";
        QTest::newRow("- stops at 0") << "Button159" << 0 << 0 << "000";
        QTest::newRow("+ from 9") << "Button154" << 9 << 10 << "010";
    }
    void expiryOffset()
    {
        QFETCH(QString, button);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, sent);
        open();
        form->label_expire->setNum(from);
        click(named(*form, qPrintable(button)));
        QCOMPARE(form->label_expire->text(), QString::number(to));
        QCOMPARE(QString::fromStdString(korvel::image::expiryDaysParameter(form->label_expire->text().toInt())), sent);
    }

    void layoutStringsAtStart()
    {
        open();
        const QString expected = QStringLiteral("013") + QStringLiteral("251").repeated(6);
        QCOMPARE(layoutString(*form, false), expected);
        QCOMPARE(layoutString(*form, true), expected);
        QCOMPARE(senderString(*form, false), expected);
        QCOMPARE(senderString(*form, true), expected);
        QCOMPARE(QString::fromStdString(korvel::image::expiryDaysParameter(form->label_expire->text().toInt())),
                 QStringLiteral("030"));
    }

    // Year at (0, 0), month at (61, 0), day at (118, 5), Gregorian, slot 4, digit 2.
    void layoutStringAfterPlacing()
    {
        open();
        click(form->SpeedButton19);
        click(form->Rradio_p_m);
        click(form->slotButtons[3]);
        for (int i : {PY, PM, PD})
            click(form->placingButtons[size_t(i)]);
        dragTo(form->dateLabels[PY], QPoint(0, 0));
        dragTo(form->dateLabels[PM], QPoint(61, 0));
        dragTo(form->dateLabels[PD], QPoint(118, 5));
        QCOMPARE(layoutString(*form, false), QStringLiteral("142000000061000118005"));
        QCOMPARE(senderString(*form, false), layoutString(*form, false));
        QCOMPARE(layoutString(*form, true), QStringLiteral("043") + QStringLiteral("251").repeated(6));
    }

    // New parks the fields with their stores and resets the sizes, but keeps
    // the calendars and the slot.
    void layoutStringAfterNew()
    {
        open();
        click(form->SpeedButton19);
        click(form->SpeedButton35);
        click(form->Rradio_e_m);
        click(form->slotButtons[1]);
        for (int i = 0; i < 6; ++i)
            click(form->placingButtons[size_t(i)]);
        dragTo(form->dateLabels[PD], QPoint(100, 40));
        const QString production = layoutString(*form, false).mid(3), expiry = layoutString(*form, true).mid(3);
        QVERIFY(production.contains(QStringLiteral("100040")));

        click(form->SpeedButton3);
        for (QLabel* l : form->dateLabels) {
            QVERIFY(!l->isVisible());
            QCOMPARE(l->pos(), QPoint(251, 251));
            QCOMPARE(l->font().pointSize(), 30);
        }
        // The hidden fields are sent where they are: parked.
        QVERIFY(production != QStringLiteral("251").repeated(6) && expiry != QStringLiteral("251").repeated(6));
        QCOMPARE(layoutString(*form, false), QStringLiteral("023") + QStringLiteral("251").repeated(6));
        QCOMPARE(layoutString(*form, true), QStringLiteral("123") + QStringLiteral("251").repeated(6));
        QCOMPARE(senderString(*form, true), layoutString(*form, true));
    }

    // The labels show the chosen calendar: production today, expiry today
    // plus the offset; the year as two digits.
    void previews_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<bool>("productionSolar");
        QTest::addColumn<bool>("expirySolar");
        QTest::addColumn<QStringList>("shown"); // year, month, day: production, then expiry
        QTest::newRow("5 Jan 2025 solar") << QDate(2025, 1, 5) << true << true
                                          << QStringList{"03", "10", "16", "03", "11", "16"};
        QTest::newRow("5 Jan 2025 gregorian") << QDate(2025, 1, 5) << false << false
                                              << QStringList{"25", "1", "5", "25", "2", "4"};
        QTest::newRow("15 Dec 2025 solar") << QDate(2025, 12, 15) << true << true
                                           << QStringList{"04", "9", "24", "04", "10", "24"};
        QTest::newRow("15 Dec 2025 gregorian") << QDate(2025, 12, 15) << false << false
                                               << QStringList{"25", "12", "15", "26", "1", "14"};
        QTest::newRow("15 Dec 2025 mixed") << QDate(2025, 12, 15) << false << true
                                           << QStringList{"25", "12", "15", "04", "10", "24"};
        QTest::newRow("20 Mar 2025 mixed") << QDate(2025, 3, 20) << true << false
                                           << QStringList{"03", "12", "30", "25", "4", "19"};
    }
    void previews()
    {
        QFETCH(QDate, today);
        QFETCH(bool, productionSolar);
        QFETCH(bool, expirySolar);
        QFETCH(QStringList, shown);
        env->seams.date = today;
        open();
        QVERIFY(form->Rradio_p_sh->isChecked() && form->Rradio_e_sh->isChecked());
        click(productionSolar ? form->Rradio_p_sh : form->Rradio_p_m);
        click(expirySolar ? form->Rradio_e_sh : form->Rradio_e_m);
        QCOMPARE(shownDates(*form), shown);
    }

    void previewsFollowChoiceAndOffset()
    {
        env->seams.date = QDate(2025, 1, 5);
        open();
        QCOMPARE(shownDates(*form), (QStringList{"03", "10", "16", "03", "11", "16"}));
        click(form->Rradio_p_m);
        QCOMPARE(shownDates(*form).mid(0, 3), (QStringList{"25", "1", "5"}));
        click(form->Button154);
        QCOMPARE(shownDates(*form).mid(3), (QStringList{"03", "11", "17"})); // 5 February
        click(form->Rradio_e_m);
        QCOMPARE(shownDates(*form).mid(3), (QStringList{"25", "2", "5"}));
        click(form->Button159);
        click(form->Button159);
        QCOMPARE(shownDates(*form).mid(3), (QStringList{"25", "2", "3"}));
        click(form->Rradio_p_sh);
        QCOMPARE(shownDates(*form).mid(0, 3), (QStringList{"03", "10", "16"}));
    }

    // Left running past midnight, the previews move to the new day.
    void previewsFollowTheDay()
    {
        env->seams.date = QDate(2025, 12, 31);
        open();
        click(form->Rradio_p_m);
        QCOMPARE(shownDates(*form).mid(0, 3), (QStringList{"25", "12", "31"}));
        auto* watch = form->findChild<QTimer*>(QStringLiteral("dayWatch"));
        QVERIFY(watch);
        QVERIFY(watch->isActive());
        watch->setInterval(5);
        env->seams.date = QDate(2026, 1, 1);
        QTRY_COMPARE(shownDates(*form), (QStringList{"26", "1", "1", "04", "11", "11"}));
    }

private:
    void open() { openWindow(*env, form); }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
};

QTEST_MAIN(DatesTest)
#include "tst_dates.moc"
