#include "progress.h"

#include <QByteArray>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool onTerminal()
{
#ifdef Q_OS_WIN
    static const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
    static const bool terminal = isatty(fileno(stderr)) != 0;
#endif
    return terminal;
}

int shownLength = 0;

// Blanks instead of a terminal's erase sequence, which not every console knows.
void writeLine(const QByteArray &text)
{
    const int padding = qMax(0, shownLength - text.size());
    fprintf(stderr, "\r%s%*s\r%s", text.constData(), padding, "", text.constData());
    fflush(stderr);
    shownLength = text.size();
}

} // namespace

namespace Progress {

void show(const QString &fileName, const QString &phase, int percent)
{
    if (!onTerminal())
        return;
    QString text = fileName + QLatin1String(": ") + phase;
    if (percent >= 0)
        text += QStringLiteral(" %1%").arg(qMin(percent, 100));
    writeLine(text.toLocal8Bit());
}

void clear()
{
    if (!onTerminal() || shownLength == 0)
        return;
    writeLine(QByteArray());
    fputc('\r', stderr);
    shownLength = 0;
}

} // namespace Progress
