// The loan sheet `Pretmat` ("Pret"): one row of the loan table `tablep` at a
// time, with the date-order check of the send and faulty-return dates
// against the agreement date before every move.
#pragma once

#include "sheets/record_sheet.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmor {

class Pretmat : public RecordSheet {
    Q_OBJECT
public:
    explicit Pretmat(QWidget* parent = nullptr);
    ~Pretmat() override;

    BaseR& recordSource() override { return *BaseR_; }
    QLabel* backgroundImage() override { return Image1; }
    QLabel* titleLabel() override { return Label3; }
    void setAuthor(const QString& name) override;
    bool loadPicture(const QString& path) override;
    // No load step of its own: the record source opens its design row
    // source, the whole table `tablep`.
    void load() override;
    bool isLoaded() const override { return loaded_; }
    QString toolbarCaption() const override { return QStringLiteral("Prêt"); }
    QStringList dateWarnings() const override;

    // The record source (caption "velmor pret").
    BaseR* BaseR_ = nullptr;

    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr; // "PRET MATERIEL"
    QLabel* utilp = nullptr;  // bound to nomauteurp

    // Field labels.
    QLabel* emetteur2 = nullptr;
    QLabel* numaccord2 = nullptr;
    QLabel* dateaccord2 = nullptr;
    QLabel* client2 = nullptr;
    QLabel* materiel2 = nullptr;
    QLabel* motif2 = nullptr;
    QLabel* daterecep2 = nullptr; // "Par qui ?"
    QLabel* dateenvoip = nullptr; // "Date d'envoi"
    QLabel* Label1 = nullptr;     // "Retour du matériel endommagé ?"
    QLabel* Label2 = nullptr;     // "Date retour matériel HS"
    QLabel* rdz2 = nullptr;

    // Text boxes.
    QLineEdit* emetteurS2 = nullptr;
    QLineEdit* numaccordS2 = nullptr;
    QLineEdit* dateaccordS2 = nullptr;
    QLineEdit* clientS2 = nullptr;
    QLineEdit* materielS2 = nullptr;
    QLineEdit* motifS2 = nullptr;
    QLineEdit* parqiuS2 = nullptr;
    QLineEdit* dateenvoiS2 = nullptr;
    QLineEdit* retourmatkcS2 = nullptr;
    QLineEdit* dateretourhsS2 = nullptr;
    QLineEdit* rdzS2 = nullptr;

    // Bottom row.
    QPushButton* movefirstP = nullptr;    // "<<"
    QPushButton* movepreviousP = nullptr; // "<"
    QPushButton* movenext = nullptr;      // ">"
    QPushButton* movelastP = nullptr;     // ">>"
    QPushButton* Fermerr = nullptr;       // "Fermer"

private:
    BoundField* authorField_ = nullptr;
    bool loaded_ = false;
};

} // namespace velmor
