// A window's file-open and printer dialog object: it keeps its filter, the
// selected filter entry and the last file name for as long as it lives, and
// shows the dialogs through velmor::dialogs().
#pragma once

#include <QString>
#include <optional>

class QPrinter;
class QWidget;

namespace velmor {

class CommonDialog {
public:
    // "description|pattern|description|pattern..."
    void setFilter(const QString& pipeFilter) { filter_ = pipeFilter; }
    const QString& filter() const { return filter_; }

    // 1-based entry of the filter selected when the dialog opens.
    void setFilterIndex(int index) { filterIndex_ = index; }
    int filterIndex() const { return filterIndex_; }

    // When on, Cancel is reported as a failure: showOpen()/showPrinter()
    // return nothing/false. When off, Cancel is reported as success with the
    // file name unchanged (empty if nothing was ever picked).
    void setCancelError(bool on) { cancelError_ = on; }
    bool cancelError() const { return cancelError_; }

    // The full path of the file picked last (empty before the first pick).
    // The open dialog starts from it.
    const QString& fileName() const { return fileName_; }
    void setFileName(const QString& path) { fileName_ = path; }

    void setDialogTitle(const QString& title) { title_ = title; }

    // Shows the open dialog. Returns the picked full path, which becomes
    // fileName(); nothing on Cancel when the cancel-error switch is on.
    std::optional<QString> showOpen(QWidget* parent);

    // Shows the printer dialog; false on Cancel when the cancel-error
    // switch is on.
    bool showPrinter(QWidget* parent, QPrinter& printer);

private:
    QString filter_;
    int filterIndex_ = 1;
    bool cancelError_ = false;
    QString fileName_;
    QString title_;
};

} // namespace velmor
