// The boxes that tell the user another desk changed or deleted the row being
// written since this sheet showed it, and ask what to do with it. Each field
// is named as the sheet shows it; both values are given, the other desk's
// first.
#pragma once

#include <QString>
#include <vector>

class QWidget;

namespace velmor {

struct ConflictField {
    QString name;   // the field's caption (the column's name when it has none)
    QString theirs; // as the other desk stored it
    QString yours;  // as this desk has it (typed, or shown before the other's change)
    bool changedHere = false; // both desks changed it
};

enum class ConflictAnswer {
    WriteOver,  // keep this desk's values (saving), or delete all the same
    TakeTheirs, // drop this desk's edits for the row (or keep the row)
    StoreAsNew, // a row deleted meanwhile: store this desk's values as a new row
    Cancel,     // nothing now: the edits stay in the fields
};

// Saving a row the other desk changed: "Garder mes valeurs", "Reprendre la
// fiche de l'autre poste", "Annuler" (the default, and Escape).
ConflictAnswer askAboutChangedRow(QWidget* parent, const std::vector<ConflictField>& fields);
// Saving a row the other desk deleted: "Enregistrer comme nouvelle fiche",
// "Abandonner mes saisies", "Annuler".
ConflictAnswer askAboutDeletedRow(QWidget* parent);
// Deleting a row the other desk changed: "Effacer quand même" (WriteOver) or
// "Garder la fiche" (TakeTheirs, the default).
ConflictAnswer askAboutDeletingChangedRow(QWidget* parent, const std::vector<ConflictField>& fields);

} // namespace velmor
