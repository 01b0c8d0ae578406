// eval and load_script on QJSEngine, for Qt 6, which has no QtScript. Results keep the types that
// QScriptValue::toVariant() gives (see toVariant below), and a script error is shown with the
// same layout: the exception, then one "function() at file:line" line per frame.

#include "scripts_p.h"
#include "tavoglobal.h"

#include <QtCore/qurl.h>
#include <QtQml/qjsengine.h>
#include <QtQml/qjsvalue.h>

namespace {

class Converter
{
public:
    explicit Converter(QJSEngine &engine)
        : m_ownPropertyNames(engine.globalObject()
                                     .property(QStringLiteral("Object"))
                                     .property(QStringLiteral("getOwnPropertyNames")))
    {
    }

    // As QtScript converts: undefined and null to an invalid QVariant; arrays to lists and other
    // objects (errors and functions too) to maps of all their own properties, element by element;
    // everything else as QJSValue::toVariant() has it (numbers that are whole and fit an int as
    // int, others as double; dates as QDateTime; regular expressions as QRegularExpression).
    QVariant toVariant(const QJSValue &value)
    {
        if (value.isUndefined() || value.isNull())
            return QVariant();
        if (!value.isObject() || value.isDate() || value.isRegExp() || value.isQObject()
            || value.isVariant())
            return value.toVariant();
        for (const QJSValue &outer : qAsConst(m_path)) {
            if (outer.strictlyEquals(value))
                return QVariant(); // a cycle
        }
        m_path.append(value);
        QVariant result;
        if (value.isArray()) {
            QVariantList list;
            const int length = value.property(QStringLiteral("length")).toInt();
            list.reserve(length);
            for (int i = 0; i < length; ++i)
                list.append(toVariant(value.property(quint32(i))));
            result = list;
        } else {
            QVariantMap map;
            const QJSValue names = m_ownPropertyNames.call({ value });
            const int count = names.property(QStringLiteral("length")).toInt();
            for (int i = 0; i < count; ++i) {
                const QString name = names.property(quint32(i)).toString();
                map.insert(name, toVariant(value.property(name)));
            }
            result = map;
        }
        m_path.removeLast();
        return result;
    }

private:
    QJSValue m_ownPropertyNames;
    QList<QJSValue> m_path;
};

// QJSEngine's frames read "function:line:column:file URL"; QtScript's "function() at file:line".
QString backtraceLine(const QString &frame)
{
    const int lineStart = frame.indexOf(QLatin1Char(':'));
    const int columnStart = frame.indexOf(QLatin1Char(':'), lineStart + 1);
    const int fileStart = frame.indexOf(QLatin1Char(':'), columnStart + 1);
    if (lineStart < 0 || columnStart < 0 || fileStart < 0)
        return frame;
    QString function = frame.left(lineStart);
    if (function.isEmpty() || function == QLatin1String("%entry"))
        function = QStringLiteral("<global>");
    const QString line = frame.mid(lineStart + 1, columnStart - lineStart - 1);
    const QUrl url(frame.mid(fileStart + 1));
    const QString file = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return function + QLatin1String("() at ") + file + QLatin1Char(':') + line;
}

} // namespace

QVariant eval(const QString &program)
{
    QJSEngine engine;
    const QJSValue value = engine.evaluate(program, QString(), 1);
    return Converter(engine).toVariant(value);
}

QVariant load_script(const QString &fileName)
{
    QString name;
    const QString program = readScriptFile(fileName, &name);

    QString message;
    {
        QJSEngine engine;
        // Only a thrown exception leaves frames behind, even when thrown at the top level.
        QStringList frames;
        const QJSValue value = engine.evaluate(program, name, 1, &frames);
        if (frames.isEmpty())
            return Converter(engine).toVariant(value);
        message = value.toString();
        for (const QString &frame : qAsConst(frames))
            message += QLatin1Char('\n') + backtraceLine(frame);
    }

    // The file and the engine are gone by now: the box may stay open for a long time.
    reportScriptError(message);
    return QVariant();
}
