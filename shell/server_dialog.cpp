#include "shell/server_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmor {

ServerDialog::ServerDialog(const ServerLogin& proposed, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ServerDialog"));
    setWindowTitle(QStringLiteral("Se connecter à un serveur"));
    auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    serveur = named(new QLineEdit(proposed.host, this), "serveur");
    serveur->setMinimumWidth(220);
    port = named(new QSpinBox(this), "port");
    port->setRange(1, 65535);
    port->setValue(proposed.port);
    base = named(new QLineEdit(proposed.database, this), "base");
    utilisateur = named(new QLineEdit(proposed.user, this), "utilisateur");
    motdepasse = named(new QLineEdit(proposed.password, this), "motdepasse");
    motdepasse->setEchoMode(QLineEdit::Password);
    memoriser = named(new QCheckBox(QStringLiteral("Mémoriser le mot de passe"), this), "memoriser");
    memoriser->setChecked(proposed.rememberPassword);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Serveur :"), serveur);
    form->addRow(QStringLiteral("Port :"), port);
    form->addRow(QStringLiteral("Base :"), base);
    form->addRow(QStringLiteral("Utilisateur :"), utilisateur);
    form->addRow(QStringLiteral("Mot de passe :"), motdepasse);
    form->addRow(QString(), memoriser);

    auto* buttons = new QDialogButtonBox(this);
    connecter = named(buttons->addButton(QStringLiteral("Se connecter"), QDialogButtonBox::AcceptRole), "connecter");
    annuler = named(buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole), "annuler");
    connecter->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("La base de données PostgreSQL sur laquelle travaillent tous les postes :"),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(buttons);

    for (QLineEdit* box : {serveur, base, utilisateur})
        connect(box, &QLineEdit::textChanged, this, &ServerDialog::updateButtons);
    updateButtons();
    (proposed.host.isEmpty() ? serveur : motdepasse)->setFocus();
}

ServerLogin ServerDialog::login() const
{
    ServerLogin l;
    l.host = serveur->text().trimmed();
    l.port = port->value();
    l.database = base->text().trimmed();
    l.user = utilisateur->text().trimmed();
    l.password = motdepasse->text();
    l.rememberPassword = memoriser->isChecked();
    return l;
}

void ServerDialog::updateButtons()
{
    const ServerLogin l = login();
    connecter->setEnabled(!l.host.isEmpty() && !l.database.isEmpty() && !l.user.isEmpty());
}

} // namespace velmor
