#include "shell/dialogs.h"

#include "shell/file_filter.h"
#include "shell/native_dialogs.h"
#include "shell/server_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

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

int NativeDialogs::choose(QWidget* parent, const QString& text, const QString& caption,
                          const QStringList& buttons, int defaultButton, int escapeButton) {
    QMessageBox box(QMessageBox::NoIcon, captionOrTitle(caption), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> added;
    for (const QString& label : buttons)
        added.append(box.addButton(label, QMessageBox::ActionRole));
    if (defaultButton >= 0 && defaultButton < added.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(added.at(defaultButton)));
    if (escapeButton >= 0 && escapeButton < added.size())
        box.setEscapeButton(added.at(escapeButton));
    box.exec();
    const int pressed = int(added.indexOf(box.clickedButton()));
    return pressed >= 0 ? pressed : escapeButton;
}

bool NativeDialogs::askRetry(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, captionOrTitle(caption), text, QMessageBox::NoButton, parent);
    QPushButton* retry = box.addButton(QStringLiteral("Réessayer"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == retry;
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

std::optional<QString> NativeDialogs::password(QWidget* parent, const QString& prompt, const QString& caption) {
    QInputDialog box(parent);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextEchoMode(QLineEdit::Password);
    box.setWindowTitle(captionOrTitle(caption));
    box.setLabelText(prompt);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

std::optional<QString> NativeDialogs::openFile(QWidget* parent, const QString& caption,
                                               const QString& filter, const QString& selectedFilter,
                                               const QString& startPath) {
    QFileDialog box(parent, caption, QString(), filter);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    box.resize(760, 480); // room for the names, sizes, types and dates
#ifndef Q_OS_WIN
    // Qt's own dialog everywhere but on Windows: French like the rest, and
    // its file list can be told what "*.*" means (below).
    box.setOption(QFileDialog::DontUseNativeDialog);
#endif
    if (!startPath.isEmpty()) {
        const QFileInfo start(startPath);
        box.setDirectory(start.absolutePath());
        box.selectFile(start.fileName());
    }
    if (!selectedFilter.isEmpty())
        box.selectNameFilter(selectedFilter);

#ifndef Q_OS_WIN
    // "*.*" means every file, as on Windows, not only names with a dot.
    auto everyFileForStarDotStar = [&box](const QString& entry) {
        if (qtFilterPatterns(entry) != QStringList{QStringLiteral("*.*")})
            return;
        if (auto* model = box.findChild<QFileSystemModel*>())
            model->setNameFilters({QStringLiteral("*")});
    };
    QObject::connect(&box, &QFileDialog::filterSelected, &box, everyFileForStarDotStar);
    everyFileForStarDotStar(box.selectedNameFilter());
#endif

    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList picked = box.selectedFiles();
    if (picked.isEmpty() || picked.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(picked.first());
}

std::optional<QString> NativeDialogs::saveFile(QWidget* parent, const QString& caption,
                                               const QString& filter, const QString& startPath) {
    QFileDialog box(parent, caption, QString(), filter);
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    box.resize(760, 480);
#ifndef Q_OS_WIN
    box.setOption(QFileDialog::DontUseNativeDialog);
#endif
    const QString suffix = qtFilterPatterns(filter).value(0).section(QLatin1Char('.'), -1);
    if (!suffix.isEmpty() && suffix != QLatin1String("*"))
        box.setDefaultSuffix(suffix);
    if (!startPath.isEmpty()) {
        const QFileInfo start(startPath);
        box.setDirectory(start.absolutePath());
        box.selectFile(start.fileName());
    }
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList picked = box.selectedFiles();
    if (picked.isEmpty() || picked.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(picked.first());
}

bool NativeDialogs::print(QWidget* parent, QPrinter& printer) {
    QPrintDialog box(&printer, parent);
    return box.exec() == QDialog::Accepted;
}

std::optional<ServerLogin> NativeDialogs::serverLogin(QWidget* parent, const ServerLogin& proposed) {
    ServerDialog box(proposed, parent);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.login();
}

} // namespace velmor
