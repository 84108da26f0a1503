#include "model/AccessCheck.h"

#include "model/LocalFileTime.h"
#include "platform/HttpDate.h"

#include <QFile>
#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

namespace {

constexpr long maxRedirects = 10;
constexpr char userAgent[] = "Velmora/1.0";
constexpr char redirectProtocols[] = "http,https";
constexpr auto pollInterval = std::chrono::milliseconds(1000);
// The certificate store is built once and then once a day, so a long run sees an updated
// ca-certificates.
constexpr long certificateStoreSeconds = 24 * 60 * 60;
// Idle connections kept beyond one per host met: libcurl's own allowance for one handle, for
// the hosts a redirect passes on its way.
constexpr qsizetype spareConnections = 4;
// Each kept TLS connection holds its buffers; a huge list keeps this many and reconnects to
// the rest.
constexpr qsizetype maxKeptConnections = 256;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isCheckedScheme(const QByteArray& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
}

bool isHttpScheme(const QByteArray& scheme) {
    return scheme == "http" || scheme == "https";
}

// Only the headers matter, so a GET is cut short at the first byte of the body.
size_t refuseBody(char*, size_t, size_t, void*) {
    return 0;
}

struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// "scheme://host:port", the part of an address that decides which connection serves it.
QByteArray originOf(CURLU* address) {
    QByteArray origin;
    for (const auto& [part, separator] :
         {std::pair{CURLUPART_SCHEME, "://"}, std::pair{CURLUPART_HOST, ":"},
          std::pair{CURLUPART_PORT, ""}}) {
        char* text = nullptr;
        if (curl_url_get(address, part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK)
            origin += std::unique_ptr<char, TextDeleter>(text).get();
        origin += separator;
    }
    return origin;
}

} // namespace

AccessCheck::AccessCheck() : AccessCheck(Timeouts{}) {}

AccessCheck::AccessCheck(Timeouts timeouts, const QString& certificateAuthorities) {
    initialiseCurl();
    easy = curl_easy_init();
    multi = curl_multi_init();
    url = curl_url();
    redirectTarget = curl_url();
    if (!easy)
        return;
    // Everything that is the same for every page is set here, once. Proxies are left to
    // libcurl, which takes them from http_proxy, https_proxy and no_proxy.
    curl_easy_setopt(easy, CURLOPT_CURLU, url);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(easy, CURLOPT_FILETIME, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, maxRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, redirectProtocols);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total.count()));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, refuseBody);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, keepLastModified);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &lastModified);
    // The store is kept only when it comes from one file: libcurl would otherwise build it
    // anew for every TLS connection and search the certificate directory besides. Debian
    // writes its one file from the same certificates as that directory.
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, certificateStoreSeconds);
    if (!certificateAuthorities.isEmpty()) {
        const QByteArray path = QFile::encodeName(certificateAuthorities);
        curl_easy_setopt(easy, CURLOPT_CAINFO, path.constData());
    }
}

AccessCheck::~AccessCheck() {
    // The handle goes first: a share cannot be cleaned up while a handle uses it.
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_url_cleanup(url);
    curl_url_cleanup(redirectTarget);
}

void AccessCheck::abort() {
    aborted = true;
    curl_multi_wakeup(multi);
}

qint64 AccessCheck::checkEach(const QString& urlText) {
    if (!easy || !multi || !url || !redirectTarget || !hosts.isUsable())
        return -2;
    // A NUL would end the text early in C, and a different page would be checked.
    if (urlText.contains(QChar(u'\0')))
        return -1;
    // Forget the previous page first: a relative text would otherwise be read against it.
    curl_url_set(url, CURLUPART_URL, nullptr, 0);
    // No scheme guessing: a bare host name, an unknown scheme or bad syntax is unusable. A
    // blank in the path or query is sent encoded, as a browser would send it.
    if (curl_url_set(url, CURLUPART_URL, urlText.toUtf8().constData(),
                     CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK)
        return -1;
    char* rawScheme = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK)
        return -1;
    const QByteArray scheme(std::unique_ptr<char, TextDeleter>(rawScheme).get());
    if (!isCheckedScheme(scheme))
        return -1;
    if (scheme == "file")
        return localFileTime(url);

    const bool http = isHttpScheme(scheme);
    prepareConnectionFor(url);
    Answer answer = request(Method::Head, http);
    // Servers and filters that refuse HEAD or leave its date out may still date a GET; one
    // GET that stops after the headers settles it.
    if (http && answer.code == CURLE_OK && answer.time == -1)
        answer = request(Method::Get, http);
    if (http)
        meetRedirectTarget();
    return answer.code == CURLE_OK ? answer.time : -2;
}

// The cache of idle connections grows with the hosts met before the connection is handed back
// to it: one connection too few, and a cycle over the hosts in turn would drop each one just
// before its next use.
void AccessCheck::prepareConnectionFor(CURLU* address) {
    curl_easy_setopt(easy, CURLOPT_SHARE, hosts.sessionsOf(originOf(address)));
    if (hosts.count() == hostsInCacheSize)
        return;
    hostsInCacheSize = hosts.count();
    const qsizetype kept = std::min(hostsInCacheSize + spareConnections, maxKeptConnections);
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kept));
}

// A page that redirects to another host keeps a connection to that host too.
void AccessCheck::meetRedirectTarget() {
    long redirects = 0;
    char* target = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects) == CURLE_OK && redirects > 0 &&
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &target) == CURLE_OK && target &&
        curl_url_set(redirectTarget, CURLUPART_URL, target, 0) == CURLUE_OK)
        hosts.meet(originOf(redirectTarget));
}

AccessCheck::Answer AccessCheck::request(Method method, bool http) {
    if (method == Method::Head)
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    lastModified = {};

    Answer answer;
    answer.code = perform();
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    // A GET cut short after the headers is a complete answer for our purpose.
    if (method == Method::Get && answer.code == CURLE_WRITE_ERROR && status > 0)
        answer.code = CURLE_OK;
    // An error page's date says nothing of the page.
    if (answer.code == CURLE_OK)
        answer.time = http ? (status < 400 ? httpTime() : -1) : fileTime();
    // 1970-01-01 00:00:00 UTC reads as "no time", and 0 is no result of ours.
    if (answer.time == 0)
        answer.time = -1;
    return answer;
}

// Keeps the first Last-Modified field of the final response: a status line starts a new
// response (the next of a redirect chain), which forgets the one before.
size_t AccessCheck::keepLastModified(char* line, size_t size, size_t count, void* target) {
    auto& field = *static_cast<LastModifiedField*>(target);
    const size_t length = size * count;
    constexpr char name[] = "last-modified:";
    constexpr size_t nameLength = sizeof name - 1;
    if (length >= 5 && qstrncmp(line, "HTTP/", 5) == 0) {
        field = {};
    } else if (!field.sent && length >= nameLength && qstrnicmp(line, name, nameLength) == 0) {
        field.sent = true;
        const size_t valueLength = length - nameLength;
        field.tooLong = valueLength > field.text.size();
        if (!field.tooLong) {
            std::copy_n(line + nameLength, valueLength, field.text.begin());
            field.length = valueLength;
        }
    }
    return length;
}

qint64 AccessCheck::httpTime() const {
    if (!lastModified.sent || lastModified.tooLong)
        return -1;
    const std::string_view text(lastModified.text.data(), lastModified.length);
    return parseHttpDate(text, std::chrono::system_clock::now()).value_or(-1);
}

// FTP times come from libcurl, in whole seconds.
qint64 AccessCheck::fileTime() const {
    curl_off_t seconds = -1;
    curl_easy_getinfo(easy, CURLINFO_FILETIME_T, &seconds);
    constexpr curl_off_t limit = std::numeric_limits<qint64>::max() / 1000;
    if (seconds == -1 || seconds > limit || seconds < -limit)
        return -1;
    return qint64(seconds) * 1000;
}

CURLcode AccessCheck::perform() {
    if (aborted)
        return CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    // The multi interface lets abort() wake a request that waits on a silent server.
    int running = 1;
    while (!aborted) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        if (CURLMsg* message = curl_multi_info_read(multi, &queued);
            message && message->msg == CURLMSG_DONE) {
            result = message->data.result;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(pollInterval.count()), nullptr);
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}
