// A stand-in for the on-screen dialogs, for tests: it records every call and
// answers from queues filled beforehand, so that nothing ever waits for a user.
//
//   velmor::ScriptedDialogs dialogs;          // installed until it goes away
//   dialogs.queueOpenFile(QStringLiteral("/tmp/a.mdb"));
//   window.ouvrir->trigger();
//   QCOMPARE(dialogs.calls().size(), 1);
//
// A call that finds its queue empty gets the "Cancel" answer (No, the escape
// button, nothing, false) and is counted in unansweredCalls(), so a test can
// check that no dialog came up unexpectedly. A box whose text has a line
// ending on a stranded punctuation mark stops the test program.
#pragma once

#include "shell/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

namespace velmor {

class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Message, YesNo, Choice, Retry, Input, OpenFile, SaveFile, Print, ServerLogin };

    struct Call {
        Kind kind = Kind::Message;
        QWidget* parent = nullptr;
        QString text;    // message / question / input prompt
        QString caption; // caption as passed (may be empty)
        bool yesIsDefault = false;
        QStringList buttons;    // choice: the buttons' captions
        int defaultButton = -1; // choice
        QString defaultText;    // input box
        QString filter;         // open dialog, Qt's form
        QString selectedFilter; // open dialog
        QString startPath;      // open and save dialogs
        ServerLogin login;      // server box: what it proposed
    };

    // Installs itself as the dialogs in use; the destructor puts back the
    // dialogs that were in use before.
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Answers, used in the order queued.
    void queueYesNo(bool yes);
    // The index of the button pressed in the next choice box.
    void queueChoice(int button);
    void queueRetry(bool retry); // false: "Annuler"
    void queueInput(std::optional<QString> text);
    void queueOpenFile(std::optional<QString> path);
    void queueSaveFile(std::optional<QString> path);
    // `pdfFile`, when given, makes the printer write a PDF there on OK.
    void queuePrint(bool ok, const QString& pdfFile = QString());
    void queueServerLogin(std::optional<ServerLogin> login); // nothing: "Annuler"

    // Runs for every call, after it was recorded and before it is answered
    // (the state of the windows "behind" the dialog can be checked there).
    void setOnCall(std::function<void(const Call&)> hook) { onCall_ = std::move(hook); }

    const QList<Call>& calls() const { return calls_; }
    QList<Call> calls(Kind kind) const;
    // Texts of the message boxes (OK only) shown so far.
    QStringList messages() const;
    int unansweredCalls() const { return unanswered_; }

    // The lines of `text` that end on a stranded punctuation mark: a line of
    // punctuation only, or one ending in a blank and then ".", ",", ";" or
    // ")". Every box recorded is checked; one such line stops the test
    // program.
    static QStringList strandedPunctuation(const QString& text);
    void clear();

    void message(QWidget* parent, const QString& text, const QString& caption) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& caption,
                  bool yesIsDefault) override;
    int choose(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons,
               int defaultButton, int escapeButton) override;
    bool askRetry(QWidget* parent, const QString& text, const QString& caption) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption,
                                 const QString& defaultText) override;
    std::optional<QString> openFile(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& selectedFilter,
                                    const QString& startPath) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& startPath) override;
    bool print(QWidget* parent, QPrinter& printer) override;
    std::optional<ServerLogin> serverLogin(QWidget* parent, const ServerLogin& proposed) override;

private:
    void record(const Call& call);

    Dialogs* previous_ = nullptr;
    QList<Call> calls_;
    std::deque<bool> yesNo_;
    std::deque<int> choices_;
    std::deque<bool> retries_;
    // (answered with a text, the text); (false, "") stands for Cancel.
    std::deque<std::pair<bool, QString>> inputs_;
    std::deque<std::pair<bool, QString>> files_;
    std::deque<std::pair<bool, QString>> saves_;
    std::deque<std::pair<bool, QString>> prints_;
    std::deque<std::optional<ServerLogin>> logins_;
    std::function<void(const Call&)> onCall_;
    int unanswered_ = 0;
};

} // namespace velmor
