// The return sheet `retour` ("Retour"): one row of the return table
// `velmor2001` at a time, with the date-order check of the agreement,
// reception and return-to-client dates before every move.
#pragma once

#include "sheets/record_sheet.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmor {

class retour : public RecordSheet {
    Q_OBJECT
public:
    explicit retour(QWidget* parent = nullptr);
    ~retour() override;

    BaseR& recordSource() override { return *BaseR_; }
    QLabel* backgroundImage() override { return Image1; }
    QLabel* titleLabel() override { return Label1; }
    void setAuthor(const QString& name) override;
    bool loadPicture(const QString& path) override;
    // Row source "SELECT * FROM velmor2001 ", then a refresh.
    void load() override;
    bool isLoaded() const override { return loaded_; }
    QString toolbarCaption() const override { return QStringLiteral("Retour"); }
    QStringList dateWarnings() const override;

    // The record source (caption "Velmor Retour").
    BaseR* BaseR_ = nullptr;

    // Behind everything: the background picture.
    QLabel* Image1 = nullptr;
    // Title and author.
    QLabel* Label1 = nullptr;      // "RETOUR MATERIEL"
    QLabel* utilisateur = nullptr; // bound to nomauteur

    // Field labels.
    QLabel* emetteur1 = nullptr;
    QLabel* accord1 = nullptr;
    QLabel* dataacc1 = nullptr;
    QLabel* client1 = nullptr;
    QLabel* materiel1 = nullptr;
    QLabel* motif1 = nullptr;
    QLabel* date1 = nullptr;
    QLabel* parqui1 = nullptr;
    QLabel* dateretour1 = nullptr;
    QLabel* reparation1 = nullptr;
    QLabel* intervqui1 = nullptr;

    // Text boxes.
    QLineEdit* emetteurS2 = nullptr;
    QLineEdit* accordS1 = nullptr;
    QLineEdit* dateaccordS1 = nullptr;
    QLineEdit* clientS1 = nullptr;
    QLineEdit* materielS1 = nullptr;
    QLineEdit* motifretour1 = nullptr;
    QLineEdit* datereceptionS1 = nullptr;
    QLineEdit* parquiS1 = nullptr;
    QLineEdit* dateretourS1 = nullptr;
    QLineEdit* reparationS1 = nullptr;
    QLineEdit* intervquiS1 = nullptr;

    // Bottom row.
    QPushButton* movefirst = nullptr;   // "<<"
    QPushButton* moveback = nullptr;    // "<"
    QPushButton* moveforward = nullptr; // ">"
    QPushButton* movelast = nullptr;    // ">>"
    QPushButton* Fermer = nullptr;      // "Fermer"

private:
    BoundField* authorField_ = nullptr;
    bool loaded_ = false;
};

} // namespace velmor
