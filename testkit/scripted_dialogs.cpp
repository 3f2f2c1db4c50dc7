#include "testkit/scripted_dialogs.h"

#include <QRegularExpression>

#include "shell/native_dialogs.h"

#include <QPrinter>

namespace velmor {

ScriptedDialogs::ScriptedDialogs() : previous_(&dialogs()) {
    setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    if (&dialogs() == this)
        setDialogs(previous_ == &nativeDialogs() ? nullptr : previous_);
}

void ScriptedDialogs::queueYesNo(bool yes) {
    yesNo_.push_back(yes);
}

void ScriptedDialogs::queueChoice(int button) {
    choices_.push_back(button);
}

void ScriptedDialogs::queueRetry(bool retry) {
    retries_.push_back(retry);
}

void ScriptedDialogs::queueInput(std::optional<QString> text) {
    inputs_.emplace_back(text.has_value(), text.value_or(QString()));
}

void ScriptedDialogs::queueOpenFile(std::optional<QString> path) {
    files_.emplace_back(path.has_value(), path.value_or(QString()));
}

void ScriptedDialogs::queueSaveFile(std::optional<QString> path) {
    saves_.emplace_back(path.has_value(), path.value_or(QString()));
}

void ScriptedDialogs::queuePrint(bool ok, const QString& pdfFile) {
    prints_.emplace_back(ok, pdfFile);
}

void ScriptedDialogs::queueServerLogin(std::optional<ServerLogin> login) {
    logins_.push_back(std::move(login));
}

QList<ScriptedDialogs::Call> ScriptedDialogs::calls(Kind kind) const {
    QList<Call> result;
    for (const Call& call : calls_) {
        if (call.kind == kind)
            result.append(call);
    }
    return result;
}

QStringList ScriptedDialogs::messages() const {
    QStringList result;
    for (const Call& call : calls_) {
        if (call.kind == Kind::Message)
            result.append(call.text);
    }
    return result;
}

void ScriptedDialogs::clear() {
    calls_.clear();
    yesNo_.clear();
    choices_.clear();
    retries_.clear();
    inputs_.clear();
    files_.clear();
    saves_.clear();
    prints_.clear();
    logins_.clear();
    unanswered_ = 0;
}

QStringList ScriptedDialogs::strandedPunctuation(const QString& text) {
    static const QRegularExpression onlyPunctuation(QStringLiteral("^[\\p{P}\\p{S}]+$"));
    static const QRegularExpression spaceThenMark(QStringLiteral("\\s[.,;)]$"));
    QStringList faults;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (onlyPunctuation.match(trimmed).hasMatch() || spaceThenMark.match(line.trimmed()).hasMatch())
            faults << line;
    }
    return faults;
}

void ScriptedDialogs::record(const Call& call) {
    // Every box a test brings up is read as a user would: no line may end on
    // a stranded punctuation mark.
    const QStringList faults = strandedPunctuation(call.text);
    if (!faults.isEmpty())
        qFatal("message box line ending in stranded punctuation: \"%s\" in \"%s\"",
               qPrintable(faults.first()), qPrintable(call.text));
    calls_.append(call);
    if (onCall_)
        onCall_(call);
}

void ScriptedDialogs::message(QWidget* parent, const QString& text, const QString& caption) {
    Call call;
    call.kind = Kind::Message;
    call.parent = parent;
    call.text = text;
    call.caption = caption;
    record(call);
}

bool ScriptedDialogs::askYesNo(QWidget* parent, const QString& text, const QString& caption,
                               bool yesIsDefault) {
    Call call;
    call.kind = Kind::YesNo;
    call.parent = parent;
    call.text = text;
    call.caption = caption;
    call.yesIsDefault = yesIsDefault;
    record(call);
    if (yesNo_.empty()) {
        ++unanswered_;
        return false;
    }
    const bool answer = yesNo_.front();
    yesNo_.pop_front();
    return answer;
}

int ScriptedDialogs::choose(QWidget* parent, const QString& text, const QString& caption,
                            const QStringList& buttons, int defaultButton, int escapeButton) {
    Call call;
    call.kind = Kind::Choice;
    call.parent = parent;
    call.text = text;
    call.caption = caption;
    call.buttons = buttons;
    call.defaultButton = defaultButton;
    record(call);
    if (choices_.empty()) {
        ++unanswered_;
        return escapeButton;
    }
    const int answer = choices_.front();
    choices_.pop_front();
    return answer;
}

bool ScriptedDialogs::askRetry(QWidget* parent, const QString& text, const QString& caption) {
    Call call;
    call.kind = Kind::Retry;
    call.parent = parent;
    call.text = text;
    call.caption = caption;
    record(call);
    if (retries_.empty()) {
        ++unanswered_;
        return false;
    }
    const bool answer = retries_.front();
    retries_.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::input(QWidget* parent, const QString& prompt,
                                              const QString& caption, const QString& defaultText) {
    Call call;
    call.kind = Kind::Input;
    call.parent = parent;
    call.text = prompt;
    call.caption = caption;
    call.defaultText = defaultText;
    record(call);
    if (inputs_.empty()) {
        ++unanswered_;
        return std::nullopt;
    }
    const auto [answered, text] = inputs_.front();
    inputs_.pop_front();
    if (!answered)
        return std::nullopt;
    return text;
}

std::optional<QString> ScriptedDialogs::openFile(QWidget* parent, const QString& caption,
                                                 const QString& filter,
                                                 const QString& selectedFilter,
                                                 const QString& startPath) {
    Call call;
    call.kind = Kind::OpenFile;
    call.parent = parent;
    call.caption = caption;
    call.filter = filter;
    call.selectedFilter = selectedFilter;
    call.startPath = startPath;
    record(call);
    if (files_.empty()) {
        ++unanswered_;
        return std::nullopt;
    }
    const auto [answered, text] = files_.front();
    files_.pop_front();
    if (!answered)
        return std::nullopt;
    return text;
}

std::optional<QString> ScriptedDialogs::saveFile(QWidget* parent, const QString& caption,
                                                 const QString& filter, const QString& startPath) {
    Call call;
    call.kind = Kind::SaveFile;
    call.parent = parent;
    call.caption = caption;
    call.filter = filter;
    call.startPath = startPath;
    record(call);
    if (saves_.empty()) {
        ++unanswered_;
        return std::nullopt;
    }
    const auto [answered, text] = saves_.front();
    saves_.pop_front();
    if (!answered)
        return std::nullopt;
    return text;
}

bool ScriptedDialogs::print(QWidget* parent, QPrinter& printer) {
    Call call;
    call.kind = Kind::Print;
    call.parent = parent;
    record(call);
    if (prints_.empty()) {
        ++unanswered_;
        return false;
    }
    const auto [ok, pdfFile] = prints_.front();
    prints_.pop_front();
    if (ok && !pdfFile.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfFile);
    }
    return ok;
}

std::optional<ServerLogin> ScriptedDialogs::serverLogin(QWidget* parent, const ServerLogin& proposed) {
    Call call;
    call.kind = Kind::ServerLogin;
    call.parent = parent;
    call.login = proposed;
    record(call);
    if (logins_.empty()) {
        ++unanswered_;
        return std::nullopt;
    }
    std::optional<ServerLogin> answer = logins_.front();
    logins_.pop_front();
    return answer;
}

} // namespace velmor
