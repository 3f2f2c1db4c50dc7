#include "shell/dialogs.h"

#include "shell/native_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace velmor {

namespace {

Dialogs* installed = nullptr;

QString captionOrTitle(const QString& caption) {
    return caption.isEmpty() ? applicationTitle() : caption;
}

} // namespace

Dialogs& dialogs() {
    return installed ? *installed : nativeDialogs();
}

void setDialogs(Dialogs* d) {
    installed = d;
}

NativeDialogs& nativeDialogs() {
    static NativeDialogs native;
    return native;
}

void NativeDialogs::message(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, captionOrTitle(caption), text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

bool NativeDialogs::askYesNo(QWidget* parent, const QString& text, const QString& caption,
                             bool yesIsDefault) {
    QMessageBox box(QMessageBox::NoIcon, captionOrTitle(caption), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> NativeDialogs::input(QWidget* parent, const QString& prompt,
                                            const QString& caption, const QString& defaultText) {
    QInputDialog box(parent);
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(captionOrTitle(caption));
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

std::optional<QString> NativeDialogs::openFile(QWidget* parent, const QString& caption,
                                               const QString& filter, const QString& selectedFilter,
                                               const QString& startPath) {
    QString chosenFilter = selectedFilter;
    const QString picked =
        QFileDialog::getOpenFileName(parent, caption, startPath, filter, &chosenFilter);
    if (picked.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(picked);
}

bool NativeDialogs::print(QWidget* parent, QPrinter& printer) {
    QPrintDialog box(&printer, parent);
    return box.exec() == QDialog::Accepted;
}

} // namespace velmor
