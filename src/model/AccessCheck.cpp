#include "model/AccessCheck.h"

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

bool isCheckedScheme(const char* scheme) {
    const QByteArray s(scheme);
    return s == "http" || s == "https" || s == "ftp" || s == "file";
}

bool isHttpScheme(const char* scheme) {
    const QByteArray s(scheme);
    return s == "http" || s == "https";
}

// Only the headers matter, so a GET is cut short at the first byte of the body.
size_t refuseBody(char*, size_t, size_t, void*) {
    return 0;
}

// Notes whether the last response of a redirect chain carried a Last-Modified of its own.
size_t noteLastModified(char* line, size_t size, size_t count, void* dated) {
    const size_t length = size * count;
    constexpr char field[] = "last-modified:";
    constexpr size_t fieldLength = sizeof field - 1;
    if (length >= 5 && qstrncmp(line, "HTTP/", 5) == 0)
        *static_cast<bool*>(dated) = false;
    else if (length >= fieldLength && qstrnicmp(line, field, fieldLength) == 0)
        *static_cast<bool*>(dated) = true;
    return length;
}

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

} // namespace

AccessCheck::AccessCheck() : AccessCheck(Timeouts{}) {}

AccessCheck::AccessCheck(Timeouts timeouts) : timeouts(timeouts) {
    initialiseCurl();
    easy = curl_easy_init();
    multi = curl_multi_init();
}

AccessCheck::~AccessCheck() {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
}

void AccessCheck::abort() {
    aborted = true;
    curl_multi_wakeup(multi);
}

qint64 AccessCheck::checkEach(const QString& urlText) {
    if (!easy || !multi)
        return -2;
    // A NUL would end the text early in C, and a different page would be checked.
    if (urlText.contains(QChar(u'\0')))
        return -1;
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    // No scheme guessing: a bare host name, an unknown scheme or bad syntax is unusable. A
    // blank in the path or query is sent encoded, as a browser would send it.
    if (!url || curl_url_set(url.get(), CURLUPART_URL, urlText.toUtf8().constData(),
                             CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK)
        return -1;
    char* rawScheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK)
        return -1;
    const std::unique_ptr<char, TextDeleter> scheme(rawScheme);
    if (!isCheckedScheme(scheme.get()))
        return -1;

    const bool http = isHttpScheme(scheme.get());
    Response response = request(url.get(), Method::Head);
    // Some servers refuse HEAD; ask again with a GET that stops after the headers.
    if (http && response.code == CURLE_OK && (response.status == 405 || response.status == 501))
        response = request(url.get(), Method::Get);

    if (response.code != CURLE_OK)
        return -2;
    // An error page may carry a Last-Modified header of its own; it says nothing of the page.
    if (http && response.status >= 400)
        return -1;
    // libcurl keeps a redirect's date when the page it leads to sends none.
    if (response.fileTime == -1 || (http && !response.lastModifiedSent))
        return -1;
    const qint64 milliseconds = static_cast<qint64>(response.fileTime) * 1000;
    return milliseconds == 0 ? -1 : milliseconds;
}

AccessCheck::Response AccessCheck::request(CURLU* url, Method method) {
    curl_easy_reset(easy);
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
    bool dated = false;
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, noteLastModified);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &dated);
    if (method == Method::Head)
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);

    Response response;
    response.code = perform();
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.status = status;
    // A GET cut short after the headers is a complete answer for our purpose.
    if (method == Method::Get && response.code == CURLE_WRITE_ERROR && status > 0)
        response.code = CURLE_OK;
    response.lastModifiedSent = dated;
    if (response.code == CURLE_OK) {
        curl_off_t fileTime = -1;
        curl_easy_getinfo(easy, CURLINFO_FILETIME_T, &fileTime);
        response.fileTime = fileTime;
    }
    return response;
}

CURLcode AccessCheck::perform() {
    if (aborted)
        return CURLE_ABORTED_BY_CALLBACK;
    curl_multi_add_handle(multi, easy);
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
