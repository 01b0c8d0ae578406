#include "sha256.h"

#include <QFile>

#ifdef DBUPDATE_OPENSSL
#include <openssl/evp.h>

// A hash that cannot start (no memory) gives an empty result, which matches no manifest.
Sha256::Sha256()
    : m_context(EVP_MD_CTX_new())
{
    if (m_context && !EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr)) {
        EVP_MD_CTX_free(m_context);
        m_context = nullptr;
    }
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_context);
}

void Sha256::addData(const QByteArray &data)
{
    if (m_context && !EVP_DigestUpdate(m_context, data.constData(), size_t(data.size()))) {
        EVP_MD_CTX_free(m_context);
        m_context = nullptr;
    }
}

QByteArray Sha256::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_context || !EVP_DigestFinal_ex(m_context, digest, &length))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

#else

Sha256::Sha256()
    : m_hash(QCryptographicHash::Sha256)
{
}

Sha256::~Sha256() = default;

void Sha256::addData(const QByteArray &data)
{
    m_hash.addData(data);
}

QByteArray Sha256::hexResult()
{
    return m_hash.result().toHex();
}

#endif

QByteArray fileSha256(const QString &path, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    Sha256 hash;
    while (!file.atEnd()) {
        const QByteArray buffer = file.read(1 << 20);
        if (buffer.isEmpty())
            return QByteArray();
        hash.addData(buffer);
    }
    if (size)
        *size = file.size();
    return hash.hexResult();
}
