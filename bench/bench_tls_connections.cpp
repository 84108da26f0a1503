// What a new TLS connection costs the checking thread in CPU, for each way of handing libcurl
// the certificate store: the bundle file and the certificate directory (libcurl's default on
// Debian), either one alone, the bundle's store built anew or kept, and a resumed session. The
// store is a copy of the system's with the private CA added, so it is as large as the real one.
#include "NginxServer.h"
#include "PrivateAuthority.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <curl/curl.h>
#include <vector>

namespace {

constexpr int connections = 100;
constexpr int rounds = 5;
const QString systemBundle = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");
const QString systemDirectory = QStringLiteral("/etc/ssl/certs");

struct Way {
    const char* name;
    bool bundle;
    bool directory;
    bool keepStore;
    bool resume;
};

const Way ways[] = {
    {"bundle and directory (Debian's default)", true, true, true, false},
    {"directory only", false, true, true, false},
    {"bundle only, store built each time", true, false, false, false},
    {"bundle only, store kept", true, false, true, false},
    {"bundle only, store kept, session resumed", true, false, true, true},
};

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The system's certificates and the private CA, as one bundle file and as a hashed directory.
bool copyStore(const QString& authority, const QString& bundle, const QString& directory) {
    QFile systemFile(systemBundle);
    QFile authorityFile(authority);
    QFile out(bundle);
    if (!systemFile.open(QIODevice::ReadOnly) || !authorityFile.open(QIODevice::ReadOnly) ||
        !out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray ours = authorityFile.readAll();
    out.write(systemFile.readAll() + ours);
    out.close();
    const QStringList certificates =
        QDir(systemDirectory).entryList({QStringLiteral("*.pem")}, QDir::Files);
    for (const QString& name : certificates)
        QFile::copy(QFileInfo(systemDirectory + '/' + name).canonicalFilePath(),
                    directory + '/' + name);
    QFile::copy(authority, directory + QStringLiteral("/velmora-bench-authority.pem"));
    return QProcess::execute(QStringLiteral("openssl"), {"rehash", directory}) == 0 &&
           !certificates.isEmpty();
}

// CPU per request over a new connection each time, the median of a few rounds.
double msPerConnection(const Way& way, const QString& url, const QString& bundle,
                       const QString& directory) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_CAINFO, way.bundle ? bundle.toUtf8().constData() : nullptr);
    curl_easy_setopt(easy, CURLOPT_CAPATH,
                     way.directory ? directory.toUtf8().constData() : nullptr);
    curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, way.keepStore ? 86400L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, way.resume ? 1L : 0L);
    std::vector<double> perConnection;
    int failures = 0;
    for (int round = 0; round <= rounds; ++round) {
        const double start = threadCpuMs();
        for (int i = 0; i < connections; ++i)
            failures += curl_easy_perform(easy) != CURLE_OK;
        // The first round builds what is kept and is not counted.
        if (round > 0)
            perConnection.push_back((threadCpuMs() - start) / connections);
    }
    curl_easy_cleanup(easy);
    if (failures > 0)
        std::printf("  %d requests failed\n", failures);
    std::sort(perConnection.begin(), perConnection.end());
    return perConnection[perConnection.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QTemporaryDir root;
    QTemporaryDir store;
    const PrivateAuthority authority;
    const QString bundle = store.filePath("bundle.pem");
    const QString directory = store.filePath("certs");
    if (!root.isValid() || !authority.isValid() || !QDir().mkpath(directory) ||
        !copyStore(authority.certificateFile(), bundle, directory)) {
        std::printf("cannot copy the system's certificate store and add the private CA\n");
        return 1;
    }
    QFile page(root.filePath("page.html"));
    page.open(QIODevice::WriteOnly);
    page.write("<html></html>\n");
    page.close();
    NginxServer::Options serving;
    serving.root = root.path();
    serving.serverDirectives = "access_log off;";
    const NginxServer plain(serving);
    serving.tls = authority.server();
    const NginxServer secure(serving);
    if (!plain.isRunning() || !secure.isRunning()) {
        std::printf("nginx did not start\n");
        return 1;
    }

    std::printf("CPU ms of the requesting thread per request over a new connection to loopback\n"
                "nginx (median of %d rounds of %d); TLS 1.3 and HTTP/2.\n",
                rounds, connections);
    std::printf("%-44s %8.2f\n", "plain TCP, no TLS",
                msPerConnection({}, plain.url("/page.html"), bundle, directory));
    for (const Way& way : ways)
        std::printf("%-44s %8.2f\n", way.name,
                    msPerConnection(way, secure.url("/page.html"), bundle, directory));
    curl_global_cleanup();
    return 0;
}
