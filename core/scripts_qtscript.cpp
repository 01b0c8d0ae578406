// eval and load_script on QtScript, for Qt 5.

#include "scripts_p.h"
#include "tavoglobal.h"

#include <QtScript/qscriptengine.h>
#include <QtScript/qscriptvalue.h>

QVariant eval(const QString &program)
{
    QScriptEngine engine;
    return engine.evaluate(program, QString(), 1).toVariant();
}

QVariant load_script(const QString &fileName)
{
    QString name;
    const QString program = readScriptFile(fileName, &name);

    QString message;
    {
        QScriptEngine engine;
        const QVariant result = engine.evaluate(program, name, 1).toVariant();
        if (!engine.hasUncaughtException())
            return result;
        message = engine.uncaughtException().toString() + QLatin1Char('\n')
                + engine.uncaughtExceptionBacktrace().join(QLatin1Char('\n'));
    }

    // The file and the engine are gone by now: the box may stay open for a long time.
    reportScriptError(message);
    return QVariant();
}
