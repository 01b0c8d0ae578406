#ifndef SHA256_H
#define SHA256_H

#include <QByteArray>
#include <QtGlobal>

#ifdef DBUPDATE_OPENSSL
typedef struct evp_md_ctx_st EVP_MD_CTX;
#else
#include <QCryptographicHash>
#endif

class QString;

// The SHA-256 that the snapshot manifest lists for each copy. OpenSSL's where the build has
// it: it hashes at the speed of the disk, QCryptographicHash at a tenth of it, which made the
// hash of a large workstation's copy take longer than the copy itself.
class Sha256
{
public:
    Sha256();
    ~Sha256();

    void addData(const QByteArray &data);
    QByteArray hexResult(); // ends the hash

private:
    Q_DISABLE_COPY(Sha256)

#ifdef DBUPDATE_OPENSSL
    EVP_MD_CTX *m_context;
#else
    QCryptographicHash m_hash;
#endif
};

// The SHA-256 of a file in hex, or an empty array when it cannot be read.
QByteArray fileSha256(const QString &path, qint64 *size = nullptr);

#endif // SHA256_H
