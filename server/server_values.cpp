#include "server/server_values.h"

#include "server/row_source_sql.h"

#include "jet/status.h"

#include <QByteArray>
#include <QDateTime>

namespace velmor::server {

using jet::ColumnType;

jet::ColumnInfo columnFromServer(const QString& name, const QString& dataType, int maxChars, int precision,
                                 int scale, bool nullable, bool identity)
{
    jet::ColumnInfo c;
    c.name = name.toStdString();
    c.nullable = nullable;
    c.autonumber = identity;
    const QString t = dataType.toLower();
    if (t == QLatin1String("character varying") || t == QLatin1String("character")) {
        c.type = ColumnType::Text;
        c.maxChars = maxChars > 0 ? maxChars : 255;
        c.size = 2 * c.maxChars;
    } else if (t == QLatin1String("text")) {
        c.type = ColumnType::Memo;
    } else if (t.startsWith(QLatin1String("timestamp")) || t == QLatin1String("date")) {
        c.type = ColumnType::DateTime;
    } else if (t == QLatin1String("boolean")) {
        c.type = ColumnType::Boolean;
    } else if (t == QLatin1String("smallint")) {
        c.type = ColumnType::Integer;
    } else if (t == QLatin1String("integer")) {
        c.type = ColumnType::Long;
    } else if (t == QLatin1String("bigint")) {
        c.type = ColumnType::BigInt;
    } else if (t == QLatin1String("real")) {
        c.type = ColumnType::Single;
    } else if (t == QLatin1String("double precision")) {
        c.type = ColumnType::Double;
    } else if (t == QLatin1String("numeric")) {
        c.type = ColumnType::Numeric;
        c.precision = precision;
        c.scale = scale;
    } else if (t == QLatin1String("bytea")) {
        c.type = ColumnType::OLE;
    } else {
        c.type = ColumnType::Complex;
    }
    c.fixed = c.type != ColumnType::Text && c.type != ColumnType::Memo && c.type != ColumnType::OLE;
    return c;
}

QString serverType(const jet::ColumnInfo& column)
{
    switch (column.type) {
    case ColumnType::Text: return QStringLiteral("varchar(%1) COLLATE velmor_general").arg(column.maxChars);
    case ColumnType::Memo: return QStringLiteral("text COLLATE velmor_general");
    case ColumnType::DateTime: return QStringLiteral("timestamp(3)");
    case ColumnType::Boolean: return QStringLiteral("boolean");
    case ColumnType::Byte:
    case ColumnType::Integer: return QStringLiteral("smallint");
    case ColumnType::Long: return QStringLiteral("integer");
    case ColumnType::BigInt: return QStringLiteral("bigint");
    case ColumnType::Single: return QStringLiteral("real");
    case ColumnType::Double: return QStringLiteral("double precision");
    case ColumnType::Currency: return QStringLiteral("numeric(19,4)");
    case ColumnType::Numeric: return QStringLiteral("numeric(%1,%2)").arg(column.precision).arg(column.scale);
    case ColumnType::Binary:
    case ColumnType::OLE: return QStringLiteral("bytea");
    case ColumnType::Guid: return QStringLiteral("varchar(38)");
    case ColumnType::Complex: break;
    }
    throw jet::Error(jet::Code::Unsupported,
                     "la colonne " + column.name + " (pièces jointes ou valeurs multiples) n'a pas d'équivalent sur le serveur");
}

QVariant toVariant(const jet::Value& value, const jet::ColumnInfo& column)
{
    using Kind = jet::Value::Kind;
    switch (value.kind()) {
    case Kind::Null:
        switch (column.type) {
        case ColumnType::DateTime: return QVariant(QMetaType::fromType<QDateTime>());
        case ColumnType::Text:
        case ColumnType::Memo: return QVariant(QMetaType::fromType<QString>());
        case ColumnType::Double:
        case ColumnType::Single: return QVariant(QMetaType::fromType<double>());
        case ColumnType::Binary:
        case ColumnType::OLE: return QVariant(QMetaType::fromType<QByteArray>());
        case ColumnType::Boolean: return QVariant(QMetaType::fromType<bool>());
        default: return QVariant(QMetaType::fromType<qlonglong>());
        }
    case Kind::Bool: return value.asBool();
    case Kind::Int: return qlonglong(value.asInt());
    case Kind::Double: return value.asDouble();
    case Kind::Currency: return QString::number(double(value.asCurrency()) / 10000.0, 'f', 4);
    case Kind::DateTime: {
        const jet::Value::Civil c = value.civil();
        return QDateTime(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second));
    }
    case Kind::Binary: {
        const auto& bytes = value.asBinary();
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    }
    case Kind::Text:
    case Kind::Decimal:
    case Kind::Guid:
    case Kind::Unsupported: return QString::fromStdString(value.toString());
    }
    return {};
}

QString selectedColumn(const jet::ColumnInfo& column)
{
    const QString name = quotedName(QString::fromStdString(column.name));
    if (column.type != ColumnType::DateTime)
        return name;
    return QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')").arg(name);
}

jet::Value fromVariant(const QVariant& value, const jet::ColumnInfo& column)
{
    if (value.isNull())
        return jet::Value::null();
    switch (column.type) {
    case ColumnType::Text:
    case ColumnType::Memo:
    case ColumnType::Guid: return jet::Value::text(value.toString().toStdString());
    case ColumnType::DateTime: {
        if (value.typeId() == QMetaType::QString) {
            const QString text = value.toString(); // YYYY-MM-DD HH:MM:SS
            auto at = [&](int from, int length) { return QStringView(text).mid(from, length).toInt(); };
            if (text.size() == 19)
                return jet::Value::dateTime(at(0, 4), at(5, 2), at(8, 2), at(11, 2), at(14, 2), at(17, 2));
        }
        const QDateTime when = value.toDateTime();
        return jet::Value::dateTime(when.date().year(), when.date().month(), when.date().day(), when.time().hour(),
                                    when.time().minute(), when.time().second());
    }
    case ColumnType::Boolean: return jet::Value::boolean(value.toBool());
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::BigInt: return jet::Value::integer(value.toLongLong());
    case ColumnType::Single: return jet::Value::single(value.toFloat());
    case ColumnType::Double: return jet::Value::real(value.toDouble());
    case ColumnType::Currency: return jet::Value::currency(qRound64(value.toDouble() * 10000.0));
    case ColumnType::Numeric: return jet::Value::decimal(value.toString().toStdString());
    case ColumnType::Binary:
    case ColumnType::OLE: {
        const QByteArray bytes = value.toByteArray();
        return jet::Value::binary(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    case ColumnType::Complex: break;
    }
    return jet::Value::unsupported(value.toString().toStdString());
}

} // namespace velmor::server
