#include "lists/csv_writer.h"

#include <QAbstractItemModel>
#include <QDate>

namespace velmor::csv {

namespace {

QString quoted(const QString& text) {
    static const QString special = QStringLiteral(";\"\r\n");
    bool needs = false;
    for (QChar c : text)
        needs = needs || special.contains(c);
    if (!needs)
        return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

void appendLine(QString& out, const QStringList& fields) {
    QStringList written;
    for (const QString& field : fields)
        written << quoted(field);
    out += written.join(QLatin1Char(';'));
    out += QStringLiteral("\r\n");
}

} // namespace

QString fieldText(const QVariant& value) {
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    return value.toString();
}

QByteArray write(const QStringList& header, const std::vector<QVariantList>& rows) {
    QString out;
    appendLine(out, header);
    for (const QVariantList& row : rows) {
        QStringList fields;
        for (const QVariant& value : row)
            fields << fieldText(value);
        appendLine(out, fields);
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QByteArray writeModel(const QAbstractItemModel& model, int valueRole) {
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << model.headerData(c, Qt::Horizontal).toString();
    std::vector<QVariantList> rows;
    rows.reserve(size_t(model.rowCount()));
    for (int r = 0; r < model.rowCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < model.columnCount(); ++c) {
            const QModelIndex index = model.index(r, c);
            const QVariant value = model.data(index, valueRole);
            row << (value.isValid() ? value : model.data(index));
        }
        rows.push_back(std::move(row));
    }
    return write(header, rows);
}

} // namespace velmor::csv
