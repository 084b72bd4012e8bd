// What the window tells of the line: the status line during a picture upload,
// its receive-log panel, and the port list with the simulator's port marked.
#include <QComboBox>
#include <algorithm>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include "MainWindow.h"
#include "PortList.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "StatusLine.h"
#include "TestSeams.h"
#include "serial/PortMap.h"

namespace {

QStringList popupRows(PortList* list)
{
    list->showPopup();
    QStringList rows;
    for (int i = 0; i < list->popupList()->count(); ++i)
        rows << list->popupList()->item(i)->text();
    list->hidePopup();
    return rows;
}

bool link(const QString& portMap, const QString& name, const QString& target)
{
    return QFile::link(target, portMap + QLatin1Char('/') + name);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSerialHooks(); }
    void init()
    {
        env.reset(new TestEnvironment);
        sim.reset(new SimProcess);
        // A line slow enough to watch the upload go, quick enough for a test.
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim.jsonl"),
                           {QStringLiteral("--line-rate"), QStringLiteral("38400")}));
        form.reset(new TForm1(&env->seams));
        form->show();
        form->comboportselect->setCurrentIndex(29);
        env->seams.clear();
    }
    void cleanup()
    {
        form.reset();
        sim.reset();
        env.reset();
    }

    // The line's words as the conversation moves: the picture's bytes as they
    // cross the wire, a date pressed meanwhile counted as queued, then ready.
    void statusLineFollowsTheWire()
    {
        StatusLine* line = form->statusLine;
        QTRY_VERIFY(line->portText().contains(QStringLiteral("COM30")));
        QVERIFY(line->portText().contains(QStringLiteral("متصل نیست")));
        QStringList seen;
        QList<int> percents;
        connect(form.get(), &TForm1::lineStateChanged, line, [&seen, &percents, line] {
            seen << line->workText();
            if (line->workText().startsWith(QStringLiteral("در حال ارسال «تصویر»")))
                percents << line->progressPercent();
        });
        form->SpeedButton26->click();
        QTRY_VERIFY_WITH_TIMEOUT(percents.size() >= 2, 20000);
        form->TabbedNotebook1->setCurrentIndex(2);
        form->B2->click(); // waits its turn behind the picture
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(
                                     QStringLiteral("!دستگاه آماده چاپ تصویر بارگذاری شده می باشد")),
                                 40000);
        QTRY_COMPARE_WITH_TIMEOUT(line->workText(), QStringLiteral("آماده"), 20000);
        QVERIFY(!line->portText().contains(QStringLiteral("متصل نیست")));
        const auto queued = std::find_if(seen.begin(), seen.end(), [](const QString& step) {
            return step.startsWith(QStringLiteral("در حال ارسال «تصویر»")) && step.endsWith(QStringLiteral("1 فرمان در صف"));
        });
        QVERIFY2(queued != seen.end(), qPrintable(seen.join(QLatin1Char('\n'))));
        QVERIFY(std::any_of(seen.begin(), seen.end(), [](const QString& step) { return step.contains(QStringLiteral(" از 15843 بایت)")); }));
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QVERIFY2(percents.last() >= 90, qPrintable(QString::number(percents.last())));
        // The last reply is the date's, read as the operator reads it: its stop at the end.
        QTRY_COMPARE_WITH_TIMEOUT(line->replyText(), QStringLiteral("آخرین پاسخ: تاریخ تنظیم شد."), 10000);
    }

    void clickOpensTheReceiveLog()
    {
        form->Image13->click(); // connect: the printer answers, the log fills
        QTRY_VERIFY_WITH_TIMEOUT(!form->Memo2->toPlainText().isEmpty(), 5000);
        QTest::mouseClick(form->statusLine, Qt::LeftButton);
        QDialog* panel = form->statusLine->logPanel();
        QVERIFY(panel->isVisible());
        QCOMPARE(form->Memo2->parentWidget(), panel);
        QVERIFY(form->Memo2->isVisible());
        panel->reject();
        QCOMPARE(form->Memo2->parentWidget(), form.get());
        QVERIFY(form->Memo2->y() >= form->height()); // hidden again, outside the window
        QVERIFY(!form->Memo2->toPlainText().isEmpty());
    }

    void portListPutsTheExistingPortsFirst()
    {
        auto* list = qobject_cast<PortList*>(form->comboportselect);
        QVERIFY(list);
        QCOMPARE(list->count(), 255);
        QStringList rows = popupRows(list);
        QCOMPARE(rows.value(0), QStringLiteral("COM30 — printer simulator"));
        QCOMPARE(rows.mid(rows.size() - 255).first(), QStringLiteral("COM1"));
        QCOMPARE(rows.last(), QStringLiteral("COM255"));

        // Read again at each opening; a note that names another device is stale.
        QVERIFY(link(env->portMap(), QStringLiteral("COM7"), QStringLiteral("/dev/null")));
        QVERIFY(link(env->portMap(), QStringLiteral("COM12"), QStringLiteral("/dev/zero")));
        QFile note(env->portMap() + QStringLiteral("/.COM12.printer-sim"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("/dev/pts/999");
        note.close();
        // Network ports as written, among the others by number; nothing is dialled.
        korvel::serial::mapPort("COM9", "tcp://10.0.0.5:2000");
        korvel::serial::mapPort("COM40", "rfc2217://[fe80::1]:4001/");
        rows = popupRows(list);
        QCOMPARE(rows.mid(0, 5),
                 (QStringList{QStringLiteral("COM7 — /dev/null"), QStringLiteral("COM9 — tcp://10.0.0.5:2000"),
                              QStringLiteral("COM12 — /dev/zero"), QStringLiteral("COM30 — printer simulator"),
                              QStringLiteral("COM40 — rfc2217://[fe80::1]:4001/")}));

        // Choosing a row chooses its port, as the design list would.
        const auto chooseRow = [list](int row) {
            list->showPopup();
            QVERIFY(list->popupShown());
            QListWidget* view = list->popupList();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->item(row)).center());
            QVERIFY(!list->popupShown());
        };
        list->setCurrentIndex(6);
        chooseRow(1);
        QCOMPARE(list->currentIndex(), 8);
        chooseRow(3);
        QCOMPARE(list->currentIndex(), 29);
        QFile settings(env->cwd() + QStringLiteral("/setting.dll"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), QByteArray("29\r\n0\r\n"));

        // The simulator takes its note with it.
        sim->stop();
        QVERIFY(!QFile::exists(env->portMap() + QStringLiteral("/.COM30.printer-sim")));
        rows = popupRows(list);
        QVERIFY(!rows.join('\n').contains(QStringLiteral("printer simulator")));
    }

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
