#include "sheets/retour.h"

#include "sheets/bound_field.h"
#include "sheets/date_check.h"
#include "sheets/record_source.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmor {

namespace {
const QColor fieldColour(255, 255, 0);    // yellow
const QColor titleColour(255, 255, 192);  // pale yellow
const QColor authorColour(224, 224, 224); // light grey
constexpr Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
} // namespace

retour::retour(QWidget* parent) : RecordSheet(parent)
{
    setObjectName(QStringLiteral("retour"));
    setWindowTitle(QStringLiteral("Retour"));
    // Around the picture (a maximized sheet is larger than it) the sheet is
    // as dark as the picture, so that the labels stay readable.
    setAutoFillBackground(true);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor(8, 14, 30));
    setPalette(backdrop);

    BaseR_ = new BaseR(RecordSourceDesign::returnSheet(), this);
    BaseR_->setObjectName(QStringLiteral("BaseR"));
    BaseR_->setRecordSource(BaseR_->design().recordSource);

    Image1 = makePictureControl();

    Label1 = makeLabel("Label1", QStringLiteral("RETOUR MATERIEL"), titleFont(), titleColour,
                       Qt::AlignCenter);
    utilisateur = makeLabel("utilisateur", QString(), authorFont(), authorColour,
                            Qt::AlignRight | Qt::AlignVCenter);
    utilisateur->setAccessibleName(QStringLiteral("Auteur"));
    utilisateur->setMinimumWidth(160);

    const QFont font = fieldLabelFont();
    emetteur1 = makeLabel("emetteur1", QStringLiteral("Emetteur"), font, fieldColour, left);
    accord1 = makeLabel("accord1", QStringLiteral("N° Accord"), font, fieldColour, left);
    dataacc1 = makeLabel("dataacc1", QStringLiteral("Date accord"), font, fieldColour, left);
    client1 = makeLabel("client1", QStringLiteral("Client"), font, fieldColour, left);
    materiel1 = makeLabel("materiel1", QStringLiteral("Matériel"), font, fieldColour, left);
    motif1 = makeLabel("motif1", QStringLiteral("Motif de retour"), font, fieldColour, left);
    date1 = makeLabel("date1", QStringLiteral("Date de réception"), font, fieldColour, left);
    parqui1 = makeLabel("parqui1", QStringLiteral("Par qui ?"), font, fieldColour, left);
    dateretour1 = makeLabel("dateretour1", QStringLiteral("Date de retour client"), font,
                            fieldColour, left);
    reparation1 = makeLabel("reparation1", QStringLiteral("Interventions effectuées"), font,
                            fieldColour, left);
    intervqui1 = makeLabel("intervqui1", QStringLiteral("Par qui ?"), font, fieldColour, left);

    emetteurS2 = makeTextBox("emetteurS2");
    accordS1 = makeTextBox("accordS1");
    dateaccordS1 = makeTextBox("dateaccordS1");
    clientS1 = makeTextBox("clientS1");
    materielS1 = makeTextBox("materielS1");
    motifretour1 = makeTextBox("motifretour1");
    datereceptionS1 = makeTextBox("datereceptionS1");
    parquiS1 = makeTextBox("parquiS1");
    dateretourS1 = makeTextBox("dateretourS1");
    reparationS1 = makeTextBox("reparationS1");
    intervquiS1 = makeTextBox("intervquiS1");

    movefirst = makeButton("movefirst", QStringLiteral("<<"), QStringLiteral("Premier enregistrement"));
    moveback = makeButton("moveback", QStringLiteral("<"), QStringLiteral("Enregistrement précédent"));
    moveforward = makeButton("moveforward", QStringLiteral(">"), QStringLiteral("Enregistrement suivant"));
    movelast = makeButton("movelast", QStringLiteral(">>"), QStringLiteral("Dernier enregistrement"));
    Fermer = makeButton("Fermer", QStringLiteral("Fermer"), QString());

    const std::vector<std::vector<Field>> rows = {
        {{emetteur1, emetteurS2, 3}, {accord1, accordS1, 3}, {dataacc1, dateaccordS1, 3},
         {client1, clientS1, 6}},
        {{materiel1, materielS1, 4}, {motif1, motifretour1, 7}, {date1, datereceptionS1, 3},
         {parqui1, parquiS1, 3}},
        {{dateretour1, dateretourS1, 3}, {reparation1, reparationS1, 11},
         {intervqui1, intervquiS1, 3}},
    };
    for (const auto& row : rows)
        for (const Field& field : row)
            field.label->setBuddy(field.box);
    arrange(Label1, utilisateur, rows, {movefirst, moveback, moveforward, movelast}, Fermer,
            QSize(771, 492)); // 11565 by 7380 twips

    // Keyboard order: "Fermer", the text boxes row by row, then the moves.
    QWidget* order[] = {Fermer,        emetteurS2,      accordS1,     dateaccordS1, clientS1,
                        materielS1,    motifretour1,    datereceptionS1, parquiS1,  dateretourS1,
                        reparationS1,  intervquiS1,     movefirst,    moveback,     moveforward,
                        movelast};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    Fermer->setFocus();

    // Each field shows its column of the current row.
    const std::pair<const char*, QLineEdit*> columns[] = {
        {"emetteur", emetteurS2},      {"naccord", accordS1},         {"dateaccord", dateaccordS1},
        {"client", clientS1},          {"materiel", materielS1},      {"motif", motifretour1},
        {"daterecp", datereceptionS1}, {"parquirecep", parquiS1},     {"dateretourclient", dateretourS1},
        {"intervention", reparationS1}, {"parquiinterv", intervquiS1},
    };
    for (const auto& [column, box] : columns) {
        BoundField* field = new LineEditField(box);
        keepField(field);
        BaseR_->bind(QString::fromLatin1(column), field);
    }
    BoundField* author = new LabelField(utilisateur);
    keepField(author);
    BaseR_->bind(QStringLiteral("nomauteur"), author);
    authorField_ = author;

    connect(movefirst, &QPushButton::clicked, this, [this] { navigate(Move::First); });
    connect(moveback, &QPushButton::clicked, this, [this] { navigate(Move::Previous); });
    connect(moveforward, &QPushButton::clicked, this, [this] { navigate(Move::Next); });
    connect(movelast, &QPushButton::clicked, this, [this] { navigate(Move::Last); });
    connect(Fermer, &QPushButton::clicked, this, &RecordSheet::hideSheet);
    followRecordSource();
}

retour::~retour() = default;

void retour::setAuthor(const QString& name)
{
    authorField_->setText(name);
    authorField_->setModified(true);
}

bool retour::loadPicture(const QString& path)
{
    return replacePicture(Image1, path);
}

void retour::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    BaseR_->setRecordSource(QStringLiteral("SELECT * FROM velmor2001 "));
    try {
        BaseR_->Refresh();
    } catch (const RecordSourceError& error) {
        reportOpeningFailure(BaseR_->DatabaseName(), error.message());
    } catch (const std::exception& error) {
        reportOpeningFailure(BaseR_->DatabaseName(), QString::fromUtf8(error.what()));
    }
}

QStringList retour::dateWarnings() const
{
    return datecheck::returnWarningsForTexts(dateaccordS1->text(), datereceptionS1->text(),
                                             dateretourS1->text(), QLocale());
}

} // namespace velmor
