// Answering dialogs, a fixed clock and a private working place for window tests.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QMutex>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

#include "UiSeams.h"

class TestSeams : public UiSeams {
public:
    void message(QWidget*, const QString& text) override
    {
        record(messages, text);
        if (holdMs > 0) { // an operator who reads the box before closing it; the window keeps serving events
            QEventLoop loop;
            QTimer::singleShot(holdMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    void error(QWidget*, const QString& text) override { record(errors, text); }
    std::optional<QString> inputBox(QWidget*, const QString& caption, const QString& prompt,
                                    const QString& defaultText) override
    {
        lastInputCaption = caption;
        lastInputPrompt = prompt;
        lastInputDefault = defaultText;
        const QString answer = takeFront(inputAnswers);
        if (answer.isNull())
            return std::nullopt;
        return std::optional<QString>(std::in_place, answer);
    }
    QString openFileName(QWidget*, const QString& filter) override
    {
        lastFilter = filter;
        return takeFront(openAnswers);
    }
    QString saveFileName(QWidget*, const QString& filter, const QString&) override
    {
        lastFilter = filter;
        return takeFront(saveAnswers);
    }
    QFont fontDialog(QWidget*, const QFont& font, bool* confirmed) override
    {
        *confirmed = fontAnswer.has_value();
        return fontAnswer.value_or(fontBrowsed.value_or(font));
    }
    QDate today() override { return date; }
    QTime now() override { return time; }
    // Unanswered questions discard and say no, as the old window did without asking.
    SaveChoice askToSave(QWidget*, const QString& text) override
    {
        record(questions, text);
        if (saveChoices.empty())
            return SaveChoice::Discard;
        const SaveChoice choice = saveChoices.front();
        saveChoices.pop_front();
        return choice;
    }
    bool askYesNo(QWidget*, const QString& text) override
    {
        record(questions, text);
        if (yesNoAnswers.empty())
            return false;
        const bool yes = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return yes;
    }
    QString saveFileNameProposing(QWidget* w, const QString& filter, const QString& suffix,
                                  const QString& proposed) override
    {
        lastSaveProposal = proposed;
        return saveFileName(w, filter, suffix);
    }
    QStringList allQuestions() const { QMutexLocker lock(&mutex); return questions; }

    QStringList allMessages() const { QMutexLocker lock(&mutex); return messages; }
    QStringList allErrors() const { QMutexLocker lock(&mutex); return errors; }
    void clear() { QMutexLocker lock(&mutex); messages.clear(); errors.clear(); questions.clear(); }

    std::deque<QString> inputAnswers; // a null QString cancels the prompt
    std::deque<QString> openAnswers, saveAnswers;
    std::optional<QFont> fontAnswer;  // confirmed
    std::optional<QFont> fontBrowsed; // shown when the dialog was cancelled
    std::deque<SaveChoice> saveChoices;
    std::deque<bool> yesNoAnswers;
    QString lastSaveProposal;
    QString lastInputCaption, lastInputPrompt, lastInputDefault, lastFilter;
    QDate date{2025, 3, 7};
    QTime time{9, 5, 3};
    int holdMs = 0; // how long each message box stays open

private:
    void record(QStringList& list, const QString& text) { QMutexLocker lock(&mutex); list << text; }
    static QString takeFront(std::deque<QString>& q)
    {
        if (q.empty())
            return {};
        QString s = q.front();
        q.pop_front();
        return s;
    }
    mutable QMutex mutex;
    QStringList messages, errors, questions;
};

// A temporary current folder (setting.dll, test2.txt), working folder, settings folder and port map.
class TestEnvironment {
public:
    TestEnvironment()
    {
        previous = QDir::currentPath();
        QDir(dir.path()).mkpath(QStringLiteral("cwd"));
        QDir(dir.path()).mkpath(QStringLiteral("ports"));
        QDir::setCurrent(cwd());
        qputenv("KORVEL_WORKDIR", (dir.path() + QStringLiteral("/korvel")).toUtf8());
        qputenv("KORVEL_PORT_MAP", portMap().toUtf8());
        qputenv("KORVEL_CONFIG_DIR", configDir().toUtf8());
    }
    ~TestEnvironment() { QDir::setCurrent(previous); }
    QString cwd() const { return dir.path() + QStringLiteral("/cwd"); }
    QString portMap() const { return dir.path() + QStringLiteral("/ports"); }
    QString workDir() const { return dir.path() + QStringLiteral("/korvel"); }
    QString configDir() const { return dir.path() + QStringLiteral("/config"); }

    TestSeams seams;

private:
    QTemporaryDir dir;
    QString previous;
};
