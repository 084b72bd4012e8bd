// The line at the bottom of the window: the port and whether it is connected,
// the work on the line with its progress and the commands queued behind it,
// and the printer's last reply. A click opens a panel with the receive log.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QRect>

class QDialog;
class QLabel;
class QProgressBar;

class StatusLine : public QFrame {
    Q_OBJECT
public:
    static constexpr int kHeight = 26;

    explicit StatusLine(QWidget* parent = nullptr);

    void setPort(const QString& port, bool connected);
    // Empty text: nothing on the line. total 0: no progress to show.
    void setWork(const QString& text, qint64 done, qint64 total, int queued);
    // A stored operator text; shown as the window shows texts.
    void setLastReply(const QString& stored);
    // The receive log: it lives elsewhere and is lent to the panel while that is open.
    void setLog(QWidget* log);

    QString portText() const;
    QString workText() const;
    QString replyText() const;
    int progressPercent() const; // -1 when no progress shows
    QDialog* logPanel() const { return panel_; }

    void openLog();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void returnLog();

    QLabel* port_ = nullptr;
    QLabel* work_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* queued_ = nullptr;
    QLabel* reply_ = nullptr;
    QDialog* panel_ = nullptr;
    QPointer<QWidget> log_;
    QWidget* logHome_ = nullptr;
    QRect logGeometry_;
};
