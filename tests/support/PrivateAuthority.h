#pragma once

#include "NginxServer.h"

#include <QString>
#include <QTemporaryDir>

// A certificate authority of a test's own, made with openssl in a temporary directory, and a
// server certificate it signed for localhost and the loopback addresses of NginxServer's hosts.
class PrivateAuthority {
public:
    explicit PrivateAuthority(int hosts = 1);

    bool isValid() const { return valid; }
    // The authority's certificate (PEM): what a client trusts.
    QString certificateFile() const { return directory.filePath("authority.pem"); }
    NginxServer::Tls server() const {
        return {directory.filePath("server.pem"), directory.filePath("server.key")};
    }
    // Another authority, which signed nothing; returns its certificate file, empty on failure.
    QString makeStranger(const QString& name) const;

private:
    bool makeAuthority(const QString& name) const;
    bool openssl(const QStringList& arguments) const;

    QTemporaryDir directory;
    bool valid = false;
};
