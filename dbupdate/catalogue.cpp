#include "catalogue.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {

// The parts of a compiled catalogue (.qm) that text lookups walk.
enum Section : uchar { Contexts = 0x2f, Hashes = 0x42, Messages = 0x69 };
enum Tag : uchar {
    End = 1,
    Translation = 3,
    Obsolete1 = 5,
    SourceText = 6,
    Context = 7,
    Comment = 8
};

const uchar magic[16] = {0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95,
                         0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd};

quint32 read32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// Walks every message record; each must end inside the section. Fills the offsets at which
// records begin.
bool messagesHold(const uchar *data, quint32 size, QSet<quint32> *starts)
{
    quint32 pos = 0;
    while (pos < size) {
        starts->insert(pos);
        for (;;) {
            if (pos >= size)
                return false;
            const uchar tag = data[pos++];
            if (tag == End)
                break;
            if (tag != Translation && tag != Obsolete1 && tag != SourceText && tag != Context
                && tag != Comment)
                return false;
            if (size - pos < 4)
                return false;
            const quint32 length = tag == Obsolete1 ? 0 : read32(data + pos);
            pos += 4;
            if (length > size - pos || (tag == Translation && length % 2 != 0))
                return false;
            pos += length;
        }
    }
    return true;
}

bool hashesHold(const uchar *data, quint32 size, const QSet<quint32> &starts)
{
    if (size % 8 != 0)
        return false;
    for (quint32 pos = 0; pos < size; pos += 8) {
        if (!starts.contains(read32(data + pos + 4)))
            return false;
    }
    return true;
}

// A hash table of 16-bit offsets, each to a list of length-prefixed names ending in a 0.
bool contextsHold(const uchar *data, quint32 size)
{
    if (size < 2)
        return false;
    const quint32 tableSize = quint32(data[0]) << 8 | data[1];
    if (tableSize == 0 || 2 + 2 * tableSize > size)
        return false;
    for (quint32 i = 0; i < tableSize; ++i) {
        const quint32 offset = quint32(data[2 + 2 * i]) << 8 | data[3 + 2 * i];
        if (offset == 0)
            continue;
        quint32 pos = 2 + 2 * tableSize + 2 * offset;
        for (;;) {
            if (pos >= size)
                return false;
            const quint32 length = data[pos++];
            if (length == 0)
                break;
            if (length > size - pos)
                return false;
            pos += length;
        }
    }
    return true;
}

bool holdsTogether(const QByteArray &file)
{
    const auto *data = reinterpret_cast<const uchar *>(file.constData());
    const quint32 size = quint32(file.size());
    if (size < 16 || memcmp(data, magic, 16) != 0)
        return false;
    const uchar *messages = nullptr;
    quint32 messagesSize = 0;
    const uchar *hashes = nullptr;
    quint32 hashesSize = 0;
    for (quint32 pos = 16; pos < size;) {
        if (size - pos < 5)
            return false;
        const uchar tag = data[pos];
        const quint32 length = read32(data + pos + 1);
        pos += 5;
        if (length > size - pos)
            return false;
        if (tag == Messages) {
            messages = data + pos;
            messagesSize = length;
        } else if (tag == Hashes) {
            hashes = data + pos;
            hashesSize = length;
        } else if (tag == Contexts && !contextsHold(data + pos, length)) {
            return false;
        }
        pos += length;
    }
    QSet<quint32> starts;
    return messagesHold(messages, messagesSize, &starts)
            && hashesHold(hashes, hashesSize, starts);
}

} // namespace

QTranslator *loadCatalogue(const QString &name, const QStringList &searchPath, QObject *parent)
{
    for (const QString &directory : searchPath) {
        auto *translator = new QTranslator(parent);
        if (translator->load(name, directory)) {
            QFile file(translator->filePath());
            if (file.open(QIODevice::ReadOnly) && holdsTogether(file.readAll()))
                return translator;
            fprintf(stderr, "dbupdate: the catalogue %s is damaged and is not used\n",
                    QDir::toNativeSeparators(translator->filePath()).toLocal8Bit().constData());
        }
        delete translator;
    }
    return nullptr;
}
