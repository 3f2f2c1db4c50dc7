// The few texts of Qt's own dialogs that Qt's French translation lacks (the
// file types in the file dialog's "Type" column: "Folder", "%1 File"...).
// Installed after Qt's translation, it answers only for those texts.
#pragma once

#include <QTranslator>

namespace velmor {

class MissingQtTranslations : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
};

} // namespace velmor
