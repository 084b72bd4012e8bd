// The window's frame: caption, pages, hidden controls and timers as designed.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "MainWindow.h"
#include "StatusLine.h"
#include "TestSeams.h"

class FrameTest : public QObject {
    Q_OBJECT
private slots:
    void init() { env.reset(new TestEnvironment); }
    void cleanup() { env.reset(); }

    void captionSizeAndFlags()
    {
        TForm1 form(&env->seams);
        QCOMPARE(form.windowTitle(), QStringLiteral("KORVEL"));
        // The notebook as designed, the status line below it.
        QCOMPARE(form.width(), 1057);
        QCOMPARE(form.TabbedNotebook1->geometry(), QRect(0, 0, 1058, 609));
        QCOMPARE(form.statusLine->geometry(), QRect(0, 609, 1057, form.height() - 609));
        QVERIFY(form.statusLine->height() >= 20);
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void pagesInOrderOpeningOnPixelPage()
    {
        TForm1 form(&env->seams);
        auto* notebook = form.findChild<QTabWidget*>(QStringLiteral("TabbedNotebook1"));
        QVERIFY(notebook);
        QCOMPARE(notebook->count(), 3);
        QCOMPARE(notebook->tabText(0), QStringLiteral("حالت متن"));
        QCOMPARE(notebook->tabText(1), QStringLiteral("حالت پیکسل"));
        QCOMPARE(notebook->tabText(2), QStringLiteral("تنظیمات"));
        QCOMPARE(notebook->currentIndex(), 1);
    }

    void hiddenControls()
    {
        TForm1 form(&env->seams);
        form.show();
        auto* edit2 = form.findChild<QLineEdit*>(QStringLiteral("Edit2"));
        auto* memo2 = form.findChild<QPlainTextEdit*>(QStringLiteral("Memo2"));
        QVERIFY(edit2 && memo2);
        QVERIFY(!edit2->isVisible());
        QVERIFY(memo2->isReadOnly());
        QCOMPARE(memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo2->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(memo2->y() >= form.height()); // moved outside the window by start-up
        memo2->appendPlainText(QStringLiteral("u,5,2,7,9,3."));
        QTest::mouseDClick(memo2->viewport(), Qt::LeftButton);
        QVERIFY(memo2->toPlainText().isEmpty());
    }

    void timers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("active");
        QTest::newRow("caret") << "Timer1" << 100 << false;   // stopped by start-up
        QTest::newRow("no reply") << "Timer2" << 3000 << false;
        QTest::newRow("saving") << "Timer3" << 1 << false;
    }
    void timers()
    {
        QFETCH(QString, name);
        QFETCH(int, interval);
        QFETCH(bool, active);
        TForm1 form(&env->seams);
        auto* timer = form.findChild<QTimer*>(name);
        QVERIFY(timer);
        QCOMPARE(timer->interval(), interval);
        QCOMPARE(timer->isActive(), active);
    }

    void sharedStateStartsCleared()
    {
        TForm1 form(&env->seams);
        QVERIFY(!form.connected);
        QVERIFY(!form.TextPlacing);
        QVERIFY(!form.CaretOn);
        QVERIFY(!form.DraggingDate);
    }

private:
    std::unique_ptr<TestEnvironment> env;
};

QTEST_MAIN(FrameTest)
#include "tst_frame.moc"
