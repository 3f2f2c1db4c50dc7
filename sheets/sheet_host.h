// Owns the two record sheets inside the main window's document area: creates
// each on first use, forgets it when its close box discards it, and runs the
// "Prêt" / "Retour" switching and the record commands.
#pragma once

#include <QObject>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;

namespace velmor {

class RecordSheet;

class SheetHost : public QObject {
    Q_OBJECT
public:
    enum class Sheet { Return = 0, Loan = 1 };

    explicit SheetHost(QMdiArea* area, QObject* parent = nullptr);

    // The sheet if it exists (nullptr otherwise), or created (hidden, not
    // loaded) when `create` is true.
    RecordSheet* sheet(Sheet which, bool create);

    // Sheet switching ("Prêt" = Loan, "Retour" = Return).
    void open(Sheet which);

    // The record commands of the toolbar, acting on the sheet the marker names.
    void showAll();       // "Voir"
    void addNew();        // "Nouveau"
    void deleteCurrent(); // "Effacer"
    void save();          // "Enregistrer"
    void search();        // "Rechercher"
    void outstanding();   // "En Cours"

    // Before quitting: writes the pending edit of each open sheet. Returns
    // false when the user chose to stay (a write failed and was not overridden).
    bool saveAllBeforeQuit();
};

} // namespace velmor
