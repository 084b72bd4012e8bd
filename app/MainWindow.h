// The main window: every control of the three pages under its design name,
// the handlers bound to them, and the state the pages share.
#pragma once

#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "printer/Dispatch.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;
class QPushButton;
class QPlainTextEdit;
class QFrame;
class QProgressBar;
class QTabWidget;
class QTimer;
class UiSeams;

namespace korvel::serial { class TSerialPort; }
namespace korvel::printer { struct Job; struct JobResult; struct Effect; class LineWriter; }

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // seams: dialogs and clock (the desktop ones when null). Runs start-up.
    explicit TForm1(UiSeams* seams = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    UiSeams& seams() const { return *seams_; }

    // Frame.
    QTabWidget* TabbedNotebook1 = nullptr;
    QWidget* pageText = nullptr;      // "حالت متن"
    QWidget* pagePixel = nullptr;     // "حالت پیکسل"
    QWidget* pageSettings = nullptr;  // "تنظیمات"
    QLineEdit* Edit2 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;

    // Pixel page.
    QLabel* label_send = nullptr;
    QProgressBar* status_send = nullptr;

    // Text page.
    QFrame* Panel5 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* textPreview = nullptr;  // the stream as the printer will draw it
    QFrame* Panel6 = nullptr;
    QToolButton *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr, *Image4 = nullptr, *Image5 = nullptr,
                *Image6 = nullptr, *Image7 = nullptr, *Image8 = nullptr, *Image9 = nullptr;
    QLabel *label_year = nullptr, *label_day = nullptr, *label_month = nullptr, *label_sal = nullptr,
           *label_mah = nullptr, *label_rooz = nullptr, *label_font = nullptr;
    QSlider* TrackBar2 = nullptr;
    QToolButton *SpeedButton30 = nullptr, *SpeedButton31 = nullptr;

    // The editor's text with CR LF line breaks, and the caret counted in it.
    QString memoText() const;
    int memoSelStart() const;
    void setMemoText(const QString& crlfText, int caret = -1);
    void MiladiToShamsi(int year, int month, int day);

    // Settings page.
    QToolButton *B7 = nullptr, *Image15 = nullptr, *Image12 = nullptr, *b5 = nullptr, *Image14 = nullptr;
    QSlider *TrackBar1 = nullptr, *TrackBar7 = nullptr, *TrackBar5 = nullptr, *TrackBar4 = nullptr,
            *TrackBar6 = nullptr;
    QLabel *Label6 = nullptr, *Label10 = nullptr, *Label7 = nullptr, *Label8 = nullptr, *Label9 = nullptr;
    QToolButton *B2 = nullptr, *B3 = nullptr, *B4 = nullptr, *Image11 = nullptr, *Image10 = nullptr;
    QToolButton* Image13 = nullptr;
    QComboBox* comboportselect = nullptr;

    std::unique_ptr<korvel::serial::TSerialPort> SerialPort1;
    std::unique_ptr<korvel::printer::LineWriter> writer;

    // Shared state.
    std::atomic<bool> connected{false};
    std::array<std::int32_t, 5300> columnBuffer{};
    bool TextPlacing = false;
    bool CaretOn = false;
    bool DraggingDate = false;

    static constexpr int kClientWidth = 1057;
    static constexpr int kClientHeight = 607;

public slots:
    void Memo2DblClick();

    // Text page.
    void insertTokenAtCaret(const QString& token);
    void SpeedButton30Click();
    void SpeedButton31Click();
    void refreshTextPreview();

    // Settings page.
    void B7Click();
    void Image15Click();
    void Image12Click();
    void b5Click();
    void Image14Click();
    void B2Click();
    void B3Click();
    void B4Click();
    void Image10Click();
    void Image11Click();
    void Image13Click();
    void comboportselectChange();

    // Printer link.
    void bl_connect();
    void flushHeldBack();
    void Timer2Timer();
    void Timer3Timer();

public:
    // Connects first when needed, then hands the job to the writer; false when
    // the connection failed (already told to the operator).
    bool sendCommand(korvel::printer::Job job);
    // Runs the connection while the connected flag is false; false when it failed.
    bool ensureConnected();
    void writeSettingsFile();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFrame();
    void buildSettingsPage();
    void buildTextPage();
    void buildPixelPage();
    void FormCreate();
    void reportWriteFailure(const std::string& jobName, const std::string& error);
    void submitJob(korvel::printer::Job job);
    void onJobDone(const korvel::printer::JobResult& result, bool startsNoReplyTimer);
    // Receive thread: one chunk from the printer.
    void SerialPort1Receive(const std::string& buffer);
    void applyEffect(const korvel::printer::Effect& effect);
    void runOnUi(const std::function<void()>& call);
    void postToUi(std::function<void()> call);
    bool runImageUpload();
    bool runTextUpload();

    std::mutex dispatchMutex_;
    korvel::printer::DispatchState dispatchState_;  // under dispatchMutex_
    QTimer* heldBackTimer_ = nullptr;
    std::atomic<bool> closing_{false};
    std::atomic<bool> uploading_{false};

    std::unique_ptr<UiSeams> ownSeams_;
    UiSeams* seams_ = nullptr;
};
