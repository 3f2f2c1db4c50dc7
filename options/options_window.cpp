#include "options/options_window.h"

#include "sheets/outstanding_threshold.h"
#include "sheets/record_sheet.h"
#include "shell/look.h"
#include "shell/paths.h"
#include "shell/settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmor {

namespace {

const QString kOption = QStringLiteral("option");
const QString kImagePath = QStringLiteral("cheminimage");

// The picture dialog's filter list; its second entry (the JPEG files) is
// selected when the dialog opens.
const QString kPictureFilter = QStringLiteral("Tous les fichiers (*.*)|*.*|Fichiers jpg") +
                               QStringLiteral("(*.jpg)|*.jpg|Fichiers Bitmap (*.bmp)|*.bmp");
constexpr int kPictureFilterEntry = 2;

// Reads a flag (default 1): 1 checks the box, 0 clears it, any other number
// leaves it as it is. A text that is not a number counts as 0, as the sheets
// read it when they open.
void setBoxFromFlag(QCheckBox* box, const QString& key) {
    const auto number =
        settings::toNumber(settings::read(kOption, kOption, key, QStringLiteral("1")));
    const float value = number.value_or(0.0f);
    if (value == 1)
        box->setChecked(true);
    if (value == 0)
        box->setChecked(false);
}

void saveFlag(const QCheckBox* box, const QString& key) {
    if (box->isChecked())
        settings::save(kOption, kOption, key, settings::fromInt(1));
    if (!box->isChecked())
        settings::save(kOption, kOption, key, settings::fromInt(0));
}

} // namespace

Optionvelmor::Optionvelmor(QWidget* pretButton, QWidget* retourButton, SheetLookup sheets,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), pretButton_(pretButton), retourButton_(retourButton),
      sheets_(std::move(sheets)) {
    setObjectName(QStringLiteral("Optionvelmor"));
    setWindowTitle(QStringLiteral("Option"));
    setAttribute(Qt::WA_DeleteOnClose); // the close box discards the window
    setAttribute(Qt::WA_QuitOnClose, false);

    Label1 = new QLabel(QStringLiteral("OPTION de VELMOR v 2.00"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(windowFont(QStringLiteral("MS Sans Serif"), 13.5, true));
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(blue);

    const auto makeRow = [this](QCheckBox*& box, const char* boxName, QLabel*& label,
                                const char* labelName, const QString& text) {
        box = new QCheckBox(this);
        box->setObjectName(QLatin1String(boxName));
        label = new QLabel(text, this);
        label->setObjectName(QLatin1String(labelName));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setFont(windowFont(QStringLiteral("MS Sans Serif"), 12, true));
        // The box has no caption of its own: its label names it, for the
        // keyboard and for screen readers. Clicking the label still leaves
        // the box alone.
        label->setBuddy(box);
        box->setAccessibleName(text);
    };
    makeRow(Check1, "Check1", option1, "option1", QStringLiteral("image de fond d'ecran"));
    makeRow(Check2, "Check2", nomfeuillepret, "nomfeuillepret",
            QStringLiteral("Nom de la feuille de prêt"));
    makeRow(Check3, "Check3", nomfeuilleretour, "nomfeuilleretour",
            QStringLiteral("Nom de la feuille de retour"));
    makeRow(Check4, "Check4", affichepret, "affichepret",
            QStringLiteral("Utilisation de la feuille de prêt"));
    makeRow(Check5, "Check5", utilisationretour, "utilisationretour",
            QStringLiteral("Utilisation de la feuille de retour"));

    changer = new QPushButton(QStringLiteral("Changer"), this);
    changer->setObjectName(QStringLiteral("changer"));
    okoption = new QPushButton(QStringLiteral("ok"), this);
    okoption->setObjectName(QStringLiteral("okoption"));

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(8);
    rows->setVerticalSpacing(14);
    QCheckBox* boxes[] = {Check1, Check2, Check3, Check4, Check5};
    QLabel* labels[] = {option1, nomfeuillepret, nomfeuilleretour, affichepret, utilisationretour};
    for (int row = 0; row < 5; ++row) {
        rows->addWidget(boxes[row], row, 0);
        if (row == 0) {
            // "Changer" stands at the end of the first row only.
            auto* first = new QHBoxLayout;
            first->addWidget(option1, 1);
            first->addWidget(changer);
            rows->addLayout(first, row, 1);
        } else {
            rows->addWidget(labels[row], row, 1);
        }
    }
    rows->setColumnStretch(1, 1);

    joursEnCours = new QSpinBox(this);
    joursEnCours->setObjectName(QStringLiteral("joursEnCours"));
    joursEnCours->setRange(1, 3650);
    joursEnCours->setSuffix(QStringLiteral(" jours"));
    joursEnCoursLabel = new QLabel(QStringLiteral("Fiches en cours signalées après"), this);
    joursEnCoursLabel->setObjectName(QStringLiteral("joursEnCoursLabel"));
    joursEnCoursLabel->setBuddy(joursEnCours);
    joursEnCours->setAccessibleName(joursEnCoursLabel->text());
    if (auto* typed = joursEnCours->findChild<QLineEdit*>()) // the box inside the spin box
        typed->setAccessibleName(joursEnCoursLabel->text());
    auto* threshold = new QHBoxLayout;
    threshold->addWidget(joursEnCoursLabel, 1);
    threshold->addWidget(joursEnCours);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(okoption);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(Label1);
    layout->addSpacing(18);
    layout->addLayout(rows);
    layout->addSpacing(14);
    layout->addLayout(threshold);
    layout->addStretch(1);
    layout->addLayout(bottom);

    resize(366, 344);

    connect(changer, &QPushButton::clicked, this, &Optionvelmor::changer_Click);
    connect(okoption, &QPushButton::clicked, this, &Optionvelmor::okoption_Click);
}

void Optionvelmor::readFlags() {
    setBoxFromFlag(Check1, QStringLiteral("optionimage"));
    setBoxFromFlag(Check2, QStringLiteral("nomfeuillepret"));
    setBoxFromFlag(Check3, QStringLiteral("nomfeuilleretour"));
    setBoxFromFlag(Check4, QStringLiteral("affichepret"));
    setBoxFromFlag(Check5, QStringLiteral("afficheretour"));
    joursEnCours->setValue(outstanding::threshold());
}

void Optionvelmor::open() {
    readFlags();
    show();
    raise();
    activateWindow();
}

void Optionvelmor::changer_Click() {
    CommonDialog1.setFilter(kPictureFilter);
    CommonDialog1.setFilterIndex(kPictureFilterEntry);
    CommonDialog1.setCancelError(true);
    try {
        if (const auto picked = CommonDialog1.showOpen(this))
            settings::save(kOption, kOption, kImagePath, *picked);
    } catch (...) {
        // A dialog that fails counts as Cancel.
    }
    // Whatever happened, the key exists afterwards.
    settings::save(kOption, kOption, kImagePath,
                   settings::read(kOption, kOption, kImagePath, paths::defaultSheetImage()));
}

void Optionvelmor::okoption_Click() {
    saveFlag(Check1, QStringLiteral("optionimage"));
    saveFlag(Check2, QStringLiteral("nomfeuillepret"));
    saveFlag(Check3, QStringLiteral("nomfeuilleretour"));
    saveFlag(Check4, QStringLiteral("affichepret"));
    saveFlag(Check5, QStringLiteral("afficheretour"));
    outstanding::saveThreshold(joursEnCours->value());

    if (pretButton_)
        pretButton_->setVisible(Check4->isChecked());
    if (retourButton_)
        retourButton_->setVisible(Check5->isChecked());

    try {
        applyPicture();
    } catch (...) {
        // The sheet keeps the picture it has.
    }
    hide();
}

// The picture choice, on the sheet that the current-sheet marker names only.
// Without a valid marker there is no current sheet and nothing to change.
void Optionvelmor::applyPicture() {
    const auto marker = currentSheetMarker();
    const QString path =
        settings::read(kOption, kOption, kImagePath, paths::defaultOptionsOkImage());
    if (!marker || !sheets_)
        return;
    // A sheet that does not exist yet is created (hidden) to receive the
    // change; its load step is left to the next "Prêt" or "Retour", which
    // hands it the database path first.
    RecordSheet* sheet = sheets_(*marker, true);
    if (!sheet)
        return;
    if (Check1->isChecked()) {
        sheet->loadPicture(path); // an unreadable file leaves the picture as it was
    } else if (QLabel* image = sheet->backgroundImage()) {
        image->hide();
    }
}

} // namespace velmor
