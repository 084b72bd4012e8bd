#include "StatusLine.h"

#include "UiSeams.h"

#include <QDialog>
#include <algorithm>
#include <climits>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

StatusLine::StatusLine(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("statusLine"));
    setFrameShape(QFrame::StyledPanel);
    setLayoutDirection(Qt::RightToLeft);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("برای دیدن گزارش دریافت کلیک کنید"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->setSpacing(12);
    port_ = new QLabel(this);
    work_ = new QLabel(this);
    progress_ = new QProgressBar(this);
    progress_->setFixedWidth(160);
    progress_->setMaximumHeight(16);
    progress_->setTextVisible(false);
    progress_->setLayoutDirection(Qt::LeftToRight); // the wire fills as the bytes go, left to right
    queued_ = new QLabel(this);
    reply_ = new QLabel(this);
    for (QLabel* label : {port_, work_, queued_, reply_})
        label->setTextFormat(Qt::PlainText);
    layout->addWidget(port_);
    layout->addWidget(work_);
    layout->addWidget(progress_);
    layout->addWidget(queued_);
    layout->addStretch(1);
    layout->addWidget(reply_);
    setPort(QString(), false);
    setWork(QString(), 0, 0, 0);
    setLastReply(QString());

    panel_ = new QDialog(this, Qt::Tool);
    panel_->setObjectName(QStringLiteral("logPanel"));
    panel_->setWindowTitle(QStringLiteral("گزارش دریافت"));
    panel_->resize(420, 300);
    new QVBoxLayout(panel_);
    connect(panel_, &QDialog::finished, this, &StatusLine::returnLog);
}

void StatusLine::setPort(const QString& port, bool connected)
{
    // A port's name and address read left to right, in their place in the Persian sentence.
    const QString name = port.isEmpty() ? QStringLiteral("انتخاب نشده") : QChar(0x2066) + port + QChar(0x2069);
    port_->setText(QStringLiteral("پورت %1: %2").arg(name, connected ? QStringLiteral("متصل") : QStringLiteral("متصل نیست")));
}

void StatusLine::setWork(const QString& text, qint64 done, qint64 total, int queued)
{
    if (text.isEmpty()) {
        work_->setText(QStringLiteral("آماده"));
    } else if (total > 0) {
        work_->setText(QStringLiteral("%1 (%2 از %3 بایت)").arg(displayText(text)).arg(done).arg(total));
    } else {
        work_->setText(displayText(text));
    }
    progress_->setVisible(!text.isEmpty() && total > 0);
    if (total > 0) {
        progress_->setMaximum(int(std::min<qint64>(total, INT_MAX)));
        progress_->setValue(int(std::clamp<qint64>(done, 0, total)));
    }
    queued_->setVisible(queued > 0);
    queued_->setText(QStringLiteral("%1 فرمان در صف").arg(queued));
}

void StatusLine::setLastReply(const QString& stored)
{
    reply_->setText(stored.isEmpty() ? QString() : QStringLiteral("آخرین پاسخ: %1").arg(displayText(stored)));
}

void StatusLine::setLog(QWidget* log)
{
    log_ = log;
}

QString StatusLine::portText() const { return port_->text(); }
QString StatusLine::workText() const { return work_->text() + (queued_->isHidden() ? QString() : QLatin1Char(' ') + queued_->text()); }
QString StatusLine::replyText() const { return reply_->text(); }

int StatusLine::progressPercent() const
{
    if (progress_->isHidden() || progress_->maximum() <= 0)
        return -1;
    return int(qint64(progress_->value()) * 100 / progress_->maximum());
}

void StatusLine::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        openLog();
    QFrame::mouseReleaseEvent(event);
}

void StatusLine::openLog()
{
    if (!log_ || panel_->isVisible()) {
        panel_->raise();
        return;
    }
    logHome_ = log_->parentWidget();
    logGeometry_ = log_->geometry();
    panel_->layout()->addWidget(log_);
    log_->show();
    panel_->show();
    panel_->raise();
}

void StatusLine::returnLog()
{
    if (!log_ || log_->parentWidget() != panel_)
        return;
    panel_->layout()->removeWidget(log_);
    log_->setParent(logHome_);
    log_->setGeometry(logGeometry_);
    log_->show();
}
