#include "standin_support.h"

#include "shell/settings.h"

#include <QColor>
#include <QDir>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace velmor::testing {

StandInSheet::StandInSheet(SheetHost::Sheet which, QWidget* parent) : RecordSheet(parent)
{
    const bool loan = which == SheetHost::Sheet::Loan;
    setObjectName(loan ? QStringLiteral("Pretmat") : QStringLiteral("retour"));
    setWindowTitle(loan ? QStringLiteral("velmor pret") : QStringLiteral("Velmor Retour"));

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setScaledContents(true);
    QPixmap built(200, 150);
    built.fill(QColor(20, 30, 70));
    image_->setPixmap(built);

    auto* grid = new QGridLayout(this);
    title_ = new QLabel(loan ? QStringLiteral("PRET MATERIEL") : QStringLiteral("RETOUR MATERIEL"), this);
    title_->setStyleSheet(QStringLiteral("color: yellow; font-size: 20pt; font-weight: bold;"));
    grid->addWidget(title_, 0, 0, 1, 2, Qt::AlignHCenter);
    const QStringList names = {QStringLiteral("emetteur"), QStringLiteral("naccord"),
                               QStringLiteral("client"), QStringLiteral("materiel")};
    const QStringList values = {QStringLiteral("Service technique"),
                                loan ? QStringLiteral("P-2001-001") : QStringLiteral("A-2001-001"),
                                QStringLiteral("Dupont SA"), QStringLiteral("Imprimante laser")};
    for (int i = 0; i < names.size(); ++i) {
        auto* label = new QLabel(names[i], this);
        label->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
        auto* field = new QLineEdit(values[i], this);
        field->setStyleSheet(QStringLiteral("background: white; color: black;"));
        fields << field;
        grid->addWidget(label, i + 1, 0);
        grid->addWidget(field, i + 1, 1);
    }
    author_ = new QLabel(this);
    grid->addWidget(author_, names.size() + 1, 1);
    resize(640, 420);
    image_->setGeometry(rect());
    image_->lower();
}

BaseR& StandInSheet::recordSource()
{
    qFatal("the stand-in sheet has no record source");
}

void StandInSheet::setAuthor(const QString& name)
{
    author_->setText(name);
}

bool StandInSheet::loadPicture(const QString& path)
{
    pictureRequests << path;
    if (path.isEmpty()) {
        image_->clear();
        picturePath.clear();
        return true;
    }
    QPixmap picture;
    if (!picture.load(path))
        return false;
    image_->setPixmap(picture);
    picturePath = path;
    return true;
}

StandInSheets::StandInSheets() = default;

StandInSheets::~StandInSheets()
{
    delete return_.data();
    delete loan_.data();
}

SheetLookup StandInSheets::lookup()
{
    return [this](SheetHost::Sheet which, bool create) -> RecordSheet* {
        QPointer<StandInSheet>& slot = which == SheetHost::Sheet::Loan ? loan_ : return_;
        if (!slot && create) {
            slot = new StandInSheet(which);
            ++created;
        }
        return slot.data();
    };
}

StandInSheet* StandInSheets::sheet(SheetHost::Sheet which) const
{
    return which == SheetHost::Sheet::Loan ? loan_.data() : return_.data();
}

QString writePicture(const QString& folder, const QString& name, const QColor& colour,
                     const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QDir(folder).filePath(name);
    image.save(path);
    return path;
}

void saveMarker(const QString& text)
{
    settings::save(QStringLiteral("pageencours"), QStringLiteral("pgcours"), QStringLiteral("page"),
                   text);
}

} // namespace velmor::testing
