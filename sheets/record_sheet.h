// What the two record sheets (return sheet `retour`, loan sheet `Pretmat`)
// have in common, as the rest of the application sees them.
#pragma once

#include <QWidget>

class QLabel;

namespace velmor {

class BaseR;

class RecordSheet : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual BaseR& recordSource() = 0;
    // The background picture control `Image1`.
    virtual QLabel* backgroundImage() = 0;
    // The title label ("RETOUR MATERIEL" / "PRET MATERIEL").
    virtual QLabel* titleLabel() = 0;
    // The author label (`utilisateur` / `utilp`); setting its text is a change of the row.
    virtual void setAuthor(const QString& name) = 0;
    // Replaces the background picture by the one read from `path`; an empty
    // path clears it. Returns false (picture unchanged) if it cannot be read.
    virtual bool loadPicture(const QString& path) = 0;
    // Runs the load step once per life of the window.
    virtual void load() = 0;
    virtual bool isLoaded() const = 0;
};

} // namespace velmor
