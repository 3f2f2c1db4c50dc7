// The box of "Se connecter à un serveur…": the PostgreSQL server's address
// and port, the database, the user name and password, and the box
// "Mémoriser le mot de passe". "Se connecter" accepts it once the address,
// the database and the user are filled in; "Annuler" closes it.
#pragma once

#include "shell/dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velmor {

class ServerDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServerDialog(const ServerLogin& proposed, QWidget* parent = nullptr);

    // What the boxes hold now (texts trimmed, but for the password).
    ServerLogin login() const;

    QLineEdit* serveur = nullptr;
    QSpinBox* port = nullptr;
    QLineEdit* base = nullptr;
    QLineEdit* utilisateur = nullptr;
    QLineEdit* motdepasse = nullptr;
    QCheckBox* memoriser = nullptr;
    QPushButton* connecter = nullptr;
    QPushButton* annuler = nullptr;

private:
    void updateButtons();
};

} // namespace velmor
