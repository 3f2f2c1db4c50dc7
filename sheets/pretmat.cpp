#include "sheets/pretmat.h"

#include "sheets/bound_field.h"
#include "sheets/date_check.h"
#include "sheets/record_source.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmor {

namespace {
const QColor fieldColour(0, 255, 0);        // green
const QColor agreementColour(128, 255, 128); // light green, "Date d'accord"
const QColor titleColour(192, 255, 192);    // pale green
const QColor authorColour(224, 224, 224);   // light grey
constexpr Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
} // namespace

Pretmat::Pretmat(QWidget* parent) : RecordSheet(parent)
{
    setObjectName(QStringLiteral("Pretmat"));
    setWindowTitle(QStringLiteral("Pret"));
    setAutoFillBackground(true);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor(8, 14, 30));
    setPalette(backdrop);

    BaseR_ = new BaseR(RecordSourceDesign::loanSheet(), this);
    BaseR_->setObjectName(QStringLiteral("BaseR"));
    BaseR_->setRecordSource(BaseR_->design().recordSource);

    Image1 = makePictureControl();

    Label3 = makeLabel("Label3", QStringLiteral("PRET MATERIEL"), titleFont(), titleColour,
                       Qt::AlignCenter);
    utilp = makeLabel("utilp", QString(), authorFont(), authorColour, Qt::AlignCenter);
    utilp->setAccessibleName(QStringLiteral("Auteur"));
    utilp->setMinimumWidth(160);

    const QFont font = fieldLabelFont();
    emetteur2 = makeLabel("emetteur2", QStringLiteral("Emetteur"), font, fieldColour, centred);
    numaccord2 = makeLabel("numaccord2", QStringLiteral("N° accord"), font, fieldColour, centred);
    dateaccord2 = makeLabel("dateaccord2", QStringLiteral("Date d'accord"), font, agreementColour,
                            centred);
    client2 = makeLabel("client2", QStringLiteral("Client"), font, fieldColour, centred);
    materiel2 = makeLabel("materiel2", QStringLiteral("Materiel"), font, fieldColour, centred);
    motif2 = makeLabel("motif2", QStringLiteral("Motif du prêt"), font, fieldColour, centred);
    daterecep2 = makeLabel("daterecep2", QStringLiteral("Par qui ?"), font, fieldColour, centred);
    dateenvoip = makeLabel("dateenvoip", QStringLiteral("Date d'envoi"), font, fieldColour, centred);
    Label1 = makeLabel("Label1", QStringLiteral("Retour du matériel endommagé ?"), font,
                       fieldColour, centred);
    Label2 = makeLabel("Label2", QStringLiteral("Date retour matériel HS"), font, fieldColour,
                       centred);
    rdz2 = makeLabel("rdz2", QStringLiteral("Rendez-vous pour installation"), font, fieldColour,
                     centred);
    Label1->setWordWrap(true); // room for two lines
    Label2->setWordWrap(true);

    emetteurS2 = makeTextBox("emetteurS2");
    numaccordS2 = makeTextBox("numaccordS2");
    dateaccordS2 = makeTextBox("dateaccordS2");
    clientS2 = makeTextBox("clientS2");
    materielS2 = makeTextBox("materielS2");
    motifS2 = makeTextBox("motifS2");
    parqiuS2 = makeTextBox("parqiuS2");
    dateenvoiS2 = makeTextBox("dateenvoiS2");
    retourmatkcS2 = makeTextBox("retourmatkcS2");
    dateretourhsS2 = makeTextBox("dateretourhsS2");
    rdzS2 = makeTextBox("rdzS2");

    movefirstP = makeButton("movefirstP", QStringLiteral("<<"), QStringLiteral("Premier enregistrement"));
    movepreviousP = makeButton("movepreviousP", QStringLiteral("<"),
                               QStringLiteral("Enregistrement précédent"));
    movenext = makeButton("movenext", QStringLiteral(">"), QStringLiteral("Enregistrement suivant"));
    movelastP = makeButton("movelastP", QStringLiteral(">>"), QStringLiteral("Dernier enregistrement"));
    Fermerr = makeButton("Fermerr", QStringLiteral("Fermer"), QString());

    const std::vector<std::vector<Field>> rows = {
        {{emetteur2, emetteurS2, 3}, {numaccord2, numaccordS2, 3}, {dateaccord2, dateaccordS2, 3},
         {client2, clientS2, 6}},
        {{materiel2, materielS2, 4}, {motif2, motifS2, 7}, {daterecep2, parqiuS2, 3},
         {dateenvoip, dateenvoiS2, 3}},
        {{Label1, retourmatkcS2, 4}, {Label2, dateretourhsS2, 3}, {rdz2, rdzS2, 5}},
    };
    for (const auto& row : rows)
        for (const Field& field : row)
            field.label->setBuddy(field.box);
    arrange(Label3, utilp, rows, {movefirstP, movepreviousP, movenext, movelastP}, Fermerr,
            QSize(770, 501)); // 11550 by 7515 twips

    // Keyboard order: "Fermer"; the fields up to "Date d'envoi" with the
    // appointment before it; the moves; the two damaged-equipment fields.
    QWidget* order[] = {Fermerr,    emetteurS2, numaccordS2,   dateaccordS2,  clientS2,
                        materielS2, motifS2,    parqiuS2,      rdzS2,         dateenvoiS2,
                        movefirstP, movepreviousP, movenext,   movelastP,     retourmatkcS2,
                        dateretourhsS2};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    Fermerr->setFocus();

    const std::pair<const char*, QLineEdit*> columns[] = {
        {"emetteurp", emetteurS2},     {"naccordp", numaccordS2},  {"dateaccordp", dateaccordS2},
        {"clientp", clientS2},         {"materielp", materielS2},  {"motifp", motifS2},
        {"parquip", parqiuS2},         {"dateenvoip", dateenvoiS2}, {"retourmathsp", retourmatkcS2},
        {"dateretourhsp", dateretourhsS2}, {"rdzvp", rdzS2},
    };
    for (const auto& [column, box] : columns) {
        BoundField* field = new LineEditField(box);
        keepField(field);
        BaseR_->bind(QString::fromLatin1(column), field);
    }
    BoundField* author = new LabelField(utilp);
    keepField(author);
    BaseR_->bind(QStringLiteral("nomauteurp"), author);
    authorField_ = author;

    connect(movefirstP, &QPushButton::clicked, this, [this] { navigate(Move::First); });
    connect(movepreviousP, &QPushButton::clicked, this, [this] { navigate(Move::Previous); });
    connect(movenext, &QPushButton::clicked, this, [this] { navigate(Move::Next); });
    connect(movelastP, &QPushButton::clicked, this, [this] { navigate(Move::Last); });
    connect(Fermerr, &QPushButton::clicked, this, &RecordSheet::hideSheet);
    followRecordSource();
}

Pretmat::~Pretmat() = default;

void Pretmat::setAuthor(const QString& name)
{
    authorField_->setText(name);
    authorField_->setModified(true);
}

bool Pretmat::loadPicture(const QString& path)
{
    return replacePicture(Image1, path);
}

void Pretmat::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    if (std::optional<RecordSourceError> failure = BaseR_->openOnLoad())
        reportOpeningFailure(BaseR_->DatabaseName(), failure->message());
}

QStringList Pretmat::dateWarnings() const
{
    return datecheck::loanWarningsForTexts(dateaccordS2->text(), dateenvoiS2->text(),
                                           dateretourhsS2->text(), QLocale());
}

} // namespace velmor
