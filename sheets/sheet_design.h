// A record sheet described as data: its window, its record source, the
// labelled fields with the column each shows, the buttons, the keyboard
// order, its date-order check and the row sources the toolbar commands send.
// RecordSheet builds the window from one of these; the return sheet and the
// loan sheet are two tables (retour.cpp, pretmat.cpp).
#pragma once

#include "sheets/record_source.h"

#include <QColor>
#include <QLocale>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

namespace velmor {

// One labelled text box: the label above it is its buddy.
struct FieldDesign {
    const char* label;  // objectName of the label
    QString caption;    // the label's text
    const char* box;    // objectName of the text box
    const char* column; // the column of the row it shows
    int row;            // 0, 1 or 2, from the top
    int stretch;        // relative width within its row
    QColor colour = {}; // the label's colour when not the sheet's own
    bool twoLines = false; // the caption may take two lines
};

struct SheetDesign {
    const char* objectName; // of the sheet
    QString windowTitle;
    QString toolbarCaption; // of the button that opens it
    QSize designSize;       // the area the controls are laid out in
    RecordSourceDesign source;

    const char* titleName; // the title label
    QString titleText;
    QColor titleColour;
    const char* titleFlag; // the option that shows or hides the title

    const char* authorName;   // the author label
    const char* authorColumn; // the column it shows
    Qt::Alignment authorAlignment;

    QColor labelColour;
    Qt::Alignment labelAlignment;
    std::vector<FieldDesign> fields;

    // "<<", "<", ">", ">>" and "Fermer".
    const char* navigation[4];
    const char* close;
    // Keyboard order after "Fermer": boxes and buttons by objectName.
    std::vector<const char*> tabOrder;

    // The load step: false opens the record source on its design row
    // source; true sets allRows() as row source and refreshes.
    bool loadShowsAllRows;

    // The date-order warnings for the texts of three boxes (named here).
    using DateCheck = QStringList (*)(const QString&, const QString&, const QString&, const QLocale&);
    DateCheck dateCheck;
    const char* dateBoxes[3];

    // The table, and the columns "Rechercher" and "En Cours" filter on.
    const char* table;
    const char* clientColumn;
    const char* outstandingColumn;

    // The row sources of "Voir", "Rechercher" (`client` as typed) and "En Cours".
    QString allRows() const;
    QString rowsOfClient(const QString& client) const;
    QString outstandingRows() const;
};

} // namespace velmor
