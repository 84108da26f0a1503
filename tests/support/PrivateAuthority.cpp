#include "PrivateAuthority.h"

#include <QFile>
#include <QProcess>

PrivateAuthority::PrivateAuthority(int hosts) {
    QByteArray names = "subjectAltName=DNS:localhost";
    for (int host = 1; host <= hosts; ++host)
        names += ",IP:127.0.0." + QByteArray::number(host);
    QFile extensions(directory.filePath("server.ext"));
    valid = directory.isValid() && makeAuthority("authority") &&
            extensions.open(QIODevice::WriteOnly) &&
            extensions.write(names + "\nbasicConstraints=CA:FALSE\n"
                                     "extendedKeyUsage=serverAuth\n") > 0 &&
            extensions.flush() &&
            openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"}) &&
            openssl({"x509", "-req", "-in", "server.csr", "-CA", "authority.pem", "-CAkey",
                     "authority.key", "-CAcreateserial", "-days", "2", "-extfile", "server.ext",
                     "-out", "server.pem"});
}

QString PrivateAuthority::makeStranger(const QString& name) const {
    return makeAuthority(name) ? directory.filePath(name + ".pem") : QString();
}

bool PrivateAuthority::makeAuthority(const QString& name) const {
    return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-days", "2", "-keyout", name + ".key", "-out", name + ".pem",
                    "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign"});
}

bool PrivateAuthority::openssl(const QStringList& arguments) const {
    QProcess process;
    process.setWorkingDirectory(directory.path());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start("openssl", arguments);
    return process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
