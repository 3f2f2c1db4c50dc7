// The dialogs of the toolkit itself: what the application shows on screen.
#pragma once

#include "shell/dialogs.h"

namespace velmor {

class NativeDialogs : public Dialogs {
public:
    void message(QWidget* parent, const QString& text, const QString& caption) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& caption,
                  bool yesIsDefault) override;
    int choose(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons,
               int defaultButton, int escapeButton) override;
    bool askRetry(QWidget* parent, const QString& text, const QString& caption) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption,
                                 const QString& defaultText) override;
    std::optional<QString> password(QWidget* parent, const QString& prompt, const QString& caption) override;
    std::optional<QString> openFile(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& selectedFilter,
                                    const QString& startPath) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& caption, const QString& filter,
                                    const QString& startPath) override;
    bool print(QWidget* parent, QPrinter& printer) override;
    std::optional<ServerLogin> serverLogin(QWidget* parent, const ServerLogin& proposed) override;
};

// The one NativeDialogs instance of the program.
NativeDialogs& nativeDialogs();

} // namespace velmor
