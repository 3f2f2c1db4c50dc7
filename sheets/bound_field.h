// The widgets a sheet binds to its record source's columns.
//
// LineEditField: a QLineEdit; it counts as modified when its text differs
// from the one the record source put there last, however it changed (typing,
// pasting, an input method, an assistive tool or code setting the text), or
// when setModified(true) says so. Its caption is the text of the label that
// names it (the label whose buddy it is).
// LabelField: a display label the user cannot type into; it counts as
// modified when its text was set by anyone but the record source showing a
// row (directly on the QLabel or through setModified(true)).
//
// Both hold the widget weakly: once it is gone they read as empty and
// unmodified.
#pragma once

#include "sheets/record_source.h"

#include <QPointer>

class QLabel;
class QLineEdit;

namespace velmor {

class LineEditField : public BoundField {
public:
    explicit LineEditField(QLineEdit* edit);

    QString text() const override;
    void setText(const QString& text) override;
    bool isModified() const override;
    void setModified(bool modified) override;
    // The text of the label whose buddy the line edit is.
    QString caption() const override;

    // Puts back the text the record source put there last.
    void revert();

    QLineEdit* widget() const { return edit_; }

private:
    QPointer<QLineEdit> edit_;
    QString shown_;
    bool modified_ = false;
};

class LabelField : public BoundField {
public:
    explicit LabelField(QLabel* label);

    QString text() const override;
    void setText(const QString& text) override;
    bool isModified() const override;
    void setModified(bool modified) override;
    // The label's accessible name ("Auteur"): it shows a value, not a caption.
    QString caption() const override;

    QLabel* widget() const { return label_; }

private:
    QPointer<QLabel> label_;
    QString shown_;        // the text the record source put there last
    bool modified_ = false;
};

} // namespace velmor
