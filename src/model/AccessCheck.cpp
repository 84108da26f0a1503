#include "model/AccessCheck.h"

#include "model/LocalFileTime.h"
#include "platform/HttpDate.h"

#include <QFile>
#include <limits>
#include <memory>
#include <mutex>

namespace {

constexpr long maxRedirects = 10;
constexpr char userAgent[] = "Velmora/1.0";
constexpr char redirectProtocols[] = "http,https";
constexpr auto pollInterval = std::chrono::milliseconds(1000);

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

} // namespace

AccessCheck::AccessCheck() : AccessCheck(Timeouts{}) {}

AccessCheck::AccessCheck(Timeouts timeouts, const QString& certificateAuthorities) {
    initialiseCurl();
    easy = curl_easy_init();
    multi = curl_multi_init();
    url = curl_url();
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
    if (!certificateAuthorities.isEmpty()) {
        const QByteArray path = QFile::encodeName(certificateAuthorities);
        curl_easy_setopt(easy, CURLOPT_CAINFO, path.constData());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
}

AccessCheck::~AccessCheck() {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_url_cleanup(url);
}

void AccessCheck::abort() {
    aborted = true;
    curl_multi_wakeup(multi);
}

qint64 AccessCheck::checkEach(const QString& urlText) {
    if (!easy || !multi || !url)
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
    Answer answer = request(Method::Head, http);
    // Servers and filters that refuse HEAD or leave its date out may still date a GET; one
    // GET that stops after the headers settles it.
    if (http && answer.code == CURLE_OK && answer.time == -1)
        answer = request(Method::Get, http);
    return answer.code == CURLE_OK ? answer.time : -2;
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
