#include "sheets/bound_field.h"

#include <QLabel>
#include <QLineEdit>

namespace velmor {

LineEditField::LineEditField(QLineEdit* edit) : edit_(edit)
{
    if (edit_)
        shown_ = edit_->text();
}

QString LineEditField::text() const
{
    return edit_ ? edit_->text() : QString();
}

void LineEditField::setText(const QString& text)
{
    shown_ = text;
    modified_ = false;
    if (!edit_)
        return;
    edit_->setText(text);
    edit_->setModified(false);
    edit_->setCursorPosition(0);
}

bool LineEditField::isModified() const
{
    return edit_ && (modified_ || edit_->text() != shown_);
}

void LineEditField::setModified(bool modified)
{
    modified_ = modified;
    if (!edit_)
        return;
    edit_->setModified(modified);
    if (!modified)
        shown_ = edit_->text();
}

void LineEditField::revert()
{
    setText(shown_);
}

QString LineEditField::caption() const
{
    if (!edit_ || !edit_->parentWidget())
        return QString();
    const QList<QLabel*> labels = edit_->parentWidget()->findChildren<QLabel*>();
    for (const QLabel* label : labels)
        if (label->buddy() == edit_)
            return label->text().trimmed();
    return QString();
}

LabelField::LabelField(QLabel* label) : label_(label)
{
    if (label_)
        shown_ = label_->text();
}

QString LabelField::text() const
{
    return label_ ? label_->text() : QString();
}

void LabelField::setText(const QString& text)
{
    shown_ = text;
    modified_ = false;
    if (label_)
        label_->setText(text);
}

bool LabelField::isModified() const
{
    return label_ && (modified_ || label_->text() != shown_);
}

QString LabelField::caption() const
{
    return label_ ? label_->accessibleName().trimmed() : QString();
}

void LabelField::setModified(bool modified)
{
    modified_ = modified;
    if (!modified && label_)
        shown_ = label_->text();
}

} // namespace velmor
