// What the window asks of the person and of the world: message boxes, the input
// box, file and font dialogs, the clock. Tests install answering versions.
#pragma once

#include <QDate>
#include <QFont>
#include <QList>
#include <QString>
#include <QTime>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

// How a stored operator text is shown. The texts store their closing "." or "!"
// first; each line that does and holds Persian gets it at its end, where a
// right-to-left reader expects it. Line breaks become "\n".
QString displayText(const QString& stored);

// The operator's box: right to left, displayText, one button "تایید".
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text, bool error);

// From now on, the plain-text labels under root are painted as displayText,
// and its radio buttons and check boxes with Persian captions lay out right to left.
// exact: labels that show what will be printed, character for character.
void showTextsRightToLeft(QWidget* root, const QList<QWidget*>& exact = {});

class UiSeams {
public:
    virtual ~UiSeams() = default;
    // An operator message in a modal box with an OK button; returns when closed.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The default error display: the error's text in a modal box.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Input box; nullopt when the operator cancels.
    virtual std::optional<QString> inputBox(QWidget* parent, const QString& caption,
                                            const QString& prompt, const QString& defaultText) = 0;
    // File dialogs; empty when cancelled. filter in Qt's form ("Bitmap files (*.bmp);;All files (*)").
    virtual QString openFileName(QWidget* parent, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
    // Font dialog starting from font; returns the dialog's font and whether it was confirmed.
    virtual QFont fontDialog(QWidget* parent, const QFont& font, bool* confirmed) = 0;
    virtual QDate today() = 0;
    virtual QTime now() = 0;

    // Unsaved work is about to be thrown away: save it, discard it, or cancel what was asked.
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice askToSave(QWidget* parent, const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // The save dialog starting at a proposed file name.
    virtual QString saveFileNameProposing(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                          const QString& proposed) = 0;
};

// The real dialogs and the system clock.
class DesktopSeams : public UiSeams {
public:
    void message(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    std::optional<QString> inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                    const QString& defaultText) override;
    QString openFileName(QWidget* parent, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
    QFont fontDialog(QWidget* parent, const QFont& font, bool* confirmed) override;
    QDate today() override { return QDate::currentDate(); }
    QTime now() override { return QTime::currentTime(); }
    SaveChoice askToSave(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    QString saveFileNameProposing(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                  const QString& proposed) override;
};
