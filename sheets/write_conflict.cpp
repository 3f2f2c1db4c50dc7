#include "sheets/write_conflict.h"

#include "shell/dialogs.h"

#include <QStringList>

namespace velmor {

namespace {

QString shown(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("(vide)") : QStringLiteral("« %1 »").arg(text);
}

QString named(const QString& name)
{
    return QStringLiteral("« %1 »").arg(name);
}

} // namespace

ConflictAnswer askAboutChangedRow(QWidget* parent, const std::vector<ConflictField>& fields)
{
    QString text = QStringLiteral("Un autre poste a modifié cette fiche depuis que vous l'avez affichée.\n");
    QStringList kept;
    for (const ConflictField& f : fields) {
        if (f.changedHere)
            text += QStringLiteral("\n%1 : %2 sur l'autre poste, %3 chez vous")
                        .arg(named(f.name), shown(f.theirs), shown(f.yours));
        else
            kept.append(named(f.name));
    }
    if (!kept.isEmpty())
        text += QStringLiteral("\n\nL'autre poste a aussi modifié %1 ; ses valeurs y sont gardées.")
                    .arg(kept.join(QStringLiteral(", ")));
    text += QStringLiteral("\n\n« Garder mes valeurs » remplace les siennes par les vôtres ; « Reprendre la fiche de "
                           "l'autre poste » abandonne vos saisies sur cette fiche.");
    const QStringList buttons{QStringLiteral("Garder mes valeurs"), QStringLiteral("Reprendre la fiche de l'autre poste"),
                              QStringLiteral("Annuler")};
    switch (dialogs().choose(parent, text, QStringLiteral("Fiche modifiée sur un autre poste"), buttons, 2, 2)) {
    case 0: return ConflictAnswer::WriteOver;
    case 1: return ConflictAnswer::TakeTheirs;
    default: return ConflictAnswer::Cancel;
    }
}

ConflictAnswer askAboutDeletedRow(QWidget* parent)
{
    const QString text = QStringLiteral("Un autre poste a effacé cette fiche depuis que vous l'avez affichée.\n\n"
                                        "Vous pouvez enregistrer vos saisies comme une nouvelle fiche, ou les "
                                        "abandonner.");
    const QStringList buttons{QStringLiteral("Enregistrer comme nouvelle fiche"),
                              QStringLiteral("Abandonner mes saisies"), QStringLiteral("Annuler")};
    switch (dialogs().choose(parent, text, QStringLiteral("Fiche effacée sur un autre poste"), buttons, 2, 2)) {
    case 0: return ConflictAnswer::StoreAsNew;
    case 1: return ConflictAnswer::TakeTheirs;
    default: return ConflictAnswer::Cancel;
    }
}

ConflictAnswer askAboutDeletingChangedRow(QWidget* parent, const std::vector<ConflictField>& fields)
{
    QString text = QStringLiteral("Un autre poste a modifié cette fiche depuis que vous l'avez affichée.\n");
    for (const ConflictField& f : fields)
        text += QStringLiteral("\n%1 : %2 sur l'autre poste, %3 affiché ici")
                    .arg(named(f.name), shown(f.theirs), shown(f.yours));
    text += QStringLiteral("\n\nL'effacer quand même ?");
    const QStringList buttons{QStringLiteral("Effacer quand même"), QStringLiteral("Garder la fiche")};
    return dialogs().choose(parent, text, QStringLiteral("Fiche modifiée sur un autre poste"), buttons, 1, 1) == 0
               ? ConflictAnswer::WriteOver
               : ConflictAnswer::TakeTheirs;
}

} // namespace velmor
