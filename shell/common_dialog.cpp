#include "shell/common_dialog.h"

#include "shell/dialogs.h"
#include "shell/file_filter.h"

namespace velmor {

std::optional<QString> CommonDialog::showOpen(QWidget* parent) {
    const std::optional<QString> picked = dialogs().openFile(
        parent, title_, toQtFilter(filter_), qtFilterEntry(filter_, filterIndex_), fileName_);
    if (!picked) {
        if (cancelError_)
            return std::nullopt;
        return fileName_;
    }
    fileName_ = *picked;
    return fileName_;
}

bool CommonDialog::showPrinter(QWidget* parent, QPrinter& printer) {
    const bool ok = dialogs().print(parent, printer);
    return ok || !cancelError_;
}

} // namespace velmor
